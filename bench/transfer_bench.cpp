// Transfer benchmark: erase, download and verify a 48 KiB image into a virtual device that models a
// full-speed USB part (timing=fullspeed), through the same library and background operations the console
// and nemora-cli use. Prints the wall time, the device model's floor (the least time any host could have
// needed for the requests it received) and the control transfers per KiB; the last line is
// efficiency=<floor/wall>. Exit status 1 when the read-back differs.

#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_library.h"
#include "dfuse/dfuse_operations.h"
#include "dfuse/image_filter.h"
#include "sim/sim_transport.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>

namespace {

using namespace nemora;
using Clock = std::chrono::steady_clock;

// Counts the control transfers that go through a transport's handles.
class CountingHandle final : public usb::DeviceHandle {
public:
    CountingHandle(std::unique_ptr<usb::DeviceHandle> inner, std::atomic<long>& count)
        : m_inner(std::move(inner)), m_count(count)
    {}
    usb::Status GetDeviceDescriptor(std::vector<std::uint8_t>& out) override
    {
        return m_inner->GetDeviceDescriptor(out);
    }
    usb::Status GetConfigDescriptor(std::vector<std::uint8_t>& out) override
    {
        return m_inner->GetConfigDescriptor(out);
    }
    usb::Status GetStringDescriptor(std::uint8_t index, std::string& out) override
    {
        ++m_count;
        return m_inner->GetStringDescriptor(index, out);
    }
    usb::Status ClaimInterface(std::uint8_t n) override { return m_inner->ClaimInterface(n); }
    usb::Status ReleaseInterface(std::uint8_t n) override { return m_inner->ReleaseInterface(n); }
    usb::Status SetAltSetting(std::uint8_t n, std::uint8_t alt) override
    {
        ++m_count;
        return m_inner->SetAltSetting(n, alt);
    }
    usb::TransferResult ControlTransfer(const usb::SetupPacket& setup, std::span<std::uint8_t> data,
                                        std::chrono::milliseconds timeout) override
    {
        ++m_count;
        return m_inner->ControlTransfer(setup, data, timeout);
    }
    usb::Status ResetDevice() override { return m_inner->ResetDevice(); }

private:
    std::unique_ptr<usb::DeviceHandle> m_inner;
    std::atomic<long>& m_count;
};

class CountingTransport final : public usb::Transport {
public:
    explicit CountingTransport(usb::Transport& inner) : m_inner(inner) {}
    usb::Capabilities GetCapabilities() const override { return m_inner.GetCapabilities(); }
    usb::Status Enumerate(std::vector<usb::DeviceInfo>& out) override { return m_inner.Enumerate(out); }
    usb::Status Open(std::string_view path, std::unique_ptr<usb::DeviceHandle>& out) override
    {
        std::unique_ptr<usb::DeviceHandle> inner;
        const usb::Status s = m_inner.Open(path, inner);
        if (s == usb::Status::Ok) {
            out = std::make_unique<CountingHandle>(std::move(inner), m_count);
        }
        return s;
    }
    std::vector<usb::DeviceEvent> WaitForEvents(std::chrono::milliseconds timeout) override
    {
        return m_inner.WaitForEvents(timeout);
    }
    void Interrupt() override { m_inner.Interrupt(); }
    std::optional<std::chrono::nanoseconds> TimingFloor() const override { return m_inner.TimingFloor(); }
    long Count() const { return m_count.load(); }

private:
    usb::Transport& m_inner;
    std::atomic<long> m_count{0};
};

double Ms(std::chrono::nanoseconds d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

int main()
{
    constexpr std::size_t kImageSize = 48 * 1024;
    std::string error;
    const auto config = sim::ParseSimConfig("timing=fullspeed");
    auto simTransport = sim::SimTransport::Create(config.devices, "", error);
    if (!simTransport) {
        std::fprintf(stderr, "transfer_bench: %s\n", error.c_str());
        return 1;
    }
    CountingTransport transport(*simTransport);
    dfuse::DfuseLibrary library(transport);
    std::vector<usb::DeviceInfo> devices;
    transport.Enumerate(devices);
    if (devices.empty()) {
        std::fprintf(stderr, "transfer_bench: no virtual device\n");
        return 1;
    }
    std::vector<dfuse::MappingTarget> targets;
    if (library.STDFUPRT_CreateMappingFromDevice(devices[0].path, &targets) != dfuse::STDFUPRT_NOERROR) {
        std::fprintf(stderr, "transfer_bench: no memory map: %s\n", library.LastMappingError().c_str());
        return 1;
    }

    std::vector<std::uint8_t> data(kImageSize);
    std::mt19937 random(12345);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(random());
    }
    const dfuse::Image source{0, "Internal Flash  ", {dfuse::Element{0x08000000, data}}};

    const auto floorBefore = transport.TimingFloor().value_or(std::chrono::nanoseconds{0});
    const long transfersBefore = transport.Count();
    const auto start = Clock::now();
    bool ok = true;
    dfuse::Image readBack;
    for (const std::uint32_t operation : {dfuse::OPERATION_ERASE, dfuse::OPERATION_UPGRADE, dfuse::OPERATION_UPLOAD}) {
        dfuse::Image image = source;
        dfuse::FilterImage(image, targets[0], operation, false);
        const DfuImageHandle handle = library.AdoptImage(image);
        dfuse::DFUThreadContext context;
        context.Operation = operation;
        context.hImage = handle;
        context.szDevLink = devices[0].path;
        dfuse::DFUThreadContext final;
        dfuse::RunOperation(library, context, final, {}, std::chrono::milliseconds(1));
        if (final.ErrorCode != dfuse::STDFUPRT_NOERROR) {
            std::fprintf(stderr, "transfer_bench: operation %u failed with 0x%08X\n", operation, final.ErrorCode);
            ok = false;
        }
        if (operation == dfuse::OPERATION_UPLOAD) {
            readBack = library.CopyImage(handle).value_or(dfuse::Image{});
        }
        library.STDFUFILES_DestroyImage(handle);
    }
    const auto wall = Clock::now() - start;
    const auto floor = transport.TimingFloor().value_or(std::chrono::nanoseconds{0}) - floorBefore;
    const long transfers = transport.Count() - transfersBefore;
    if (ok && (readBack.elements.size() != 1 || readBack.elements[0].data != data)) {
        std::fprintf(stderr, "transfer_bench: the read-back differs from the image\n");
        ok = false;
    }

    std::printf("image: %zu bytes, erase + download + verify\n", kImageSize);
    std::printf("wall_ms=%.1f\n", Ms(wall));
    std::printf("floor_ms=%.1f\n", Ms(floor));
    std::printf("transfers=%ld\n", transfers);
    std::printf("transfers_per_kib=%.2f\n", static_cast<double>(transfers) / (kImageSize / 1024.0));
    std::printf("efficiency=%.3f\n", Ms(floor) / Ms(wall));
    return ok ? 0 : 1;
}
