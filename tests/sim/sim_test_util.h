#pragma once

// Drives a virtual device with raw DFU requests, the way a host would.

#include "sim/virtual_device.h"

#include <cstdint>
#include <vector>

namespace nemora::sim::test {

struct DfuStatusReply {
    usb::Status transfer = usb::Status::Ok;
    std::uint8_t status = 0xFF;
    std::uint32_t poll = 0;
    std::uint8_t state = 0xFF;
};

class DfuHost {
public:
    explicit DfuHost(VirtualDevice& device) : m_device(device) {}

    usb::TransferResult Out(std::uint8_t request, std::uint16_t value, std::vector<std::uint8_t> data = {})
    {
        const usb::SetupPacket setup{0x21, request, value, 0, static_cast<std::uint16_t>(data.size())};
        return m_device.Control(setup, data);
    }

    usb::TransferResult In(std::uint8_t request, std::uint16_t value, std::uint16_t length,
                           std::vector<std::uint8_t>* out = nullptr)
    {
        std::vector<std::uint8_t> buffer(length);
        const usb::SetupPacket setup{0xA1, request, value, 0, length};
        const auto r = m_device.Control(setup, buffer);
        if (out != nullptr) {
            buffer.resize(r.length);
            *out = buffer;
        }
        return r;
    }

    DfuStatusReply GetStatus()
    {
        std::vector<std::uint8_t> reply;
        DfuStatusReply s;
        const auto r = In(kDfuGetStatus, 0, 6, &reply);
        s.transfer = r.status;
        if (r.status == usb::Status::Ok && reply.size() == 6) {
            s.status = reply[0];
            s.poll = reply[1] | reply[2] << 8 | reply[3] << 16;
            s.state = reply[4];
        }
        return s;
    }

    // A DfuSe command (block 0) followed by the two status requests a host makes; returns the last.
    DfuStatusReply Command(std::vector<std::uint8_t> bytes)
    {
        Out(kDfuDnload, 0, std::move(bytes));
        GetStatus();
        return GetStatus();
    }

    DfuStatusReply SetAddress(std::uint32_t address)
    {
        return Command({0x21, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                        static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)});
    }

    DfuStatusReply ErasePage(std::uint32_t address)
    {
        return Command({0x41, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                        static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)});
    }

    DfuStatusReply Write(std::uint16_t block, std::vector<std::uint8_t> bytes)
    {
        Out(kDfuDnload, block, std::move(bytes));
        GetStatus();
        return GetStatus();
    }

    usb::TransferResult Abort() { return Out(kDfuAbort, 0); }

private:
    VirtualDevice& m_device;
};

} // namespace nemora::sim::test

#include <chrono>
#include <filesystem>
#include <string>

namespace nemora::sim::test {

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir()
    {
        static int counter = 0;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        m_path = std::filesystem::temp_directory_path() /
                 ("nemora-sim-test-" + std::to_string(stamp) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace nemora::sim::test
