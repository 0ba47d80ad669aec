#pragma once

// The DFU 1.1 class requests and ST's DfuSe commands over one opened device.
//
// DfuDevice wraps a usb::DeviceHandle. Every request records what it was (a STDFU_RQ_* code) so a
// failure can say which request failed; every GETSTATUS answer is kept. GETSTATUS itself honours the
// device's bwPollTimeout: a status request never goes out before the time the previous answer asked
// for has passed, so polling a busy device costs exactly what it asks and never spins.
//
// Waiting goes through a PollWaiter so that a stop request can cut a wait short and tests can run
// without sleeping. Not thread-safe: one thread drives a DfuDevice at a time.

#include "dfuse/dfuse_commands.h"
#include "dfuse/dfuse_contract.h"
#include "dfuse/memory_map.h"
#include "usb/transport.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace nemora::dfuse {

// DFU class requests.
inline constexpr std::uint8_t kDfuDetach = 0, kDfuDnload = 1, kDfuUpload = 2, kDfuGetStatus = 3, kDfuClrStatus = 4,
                              kDfuGetState = 5, kDfuAbort = 6;
// Timeouts of one control transfer: DFU requests (a device may hold a GETSTATUS during a long erase)
// and descriptor reads.
inline constexpr std::chrono::milliseconds kRequestTimeout{5000};
inline constexpr std::chrono::milliseconds kDescriptorTimeout{1000};
// Consecutive busy answers tolerated before a device counts as stuck (dfu-util's figure).
inline constexpr int kMaxBusyPolls = 100;

// Status codes (USB DFU 1.1).
inline constexpr std::uint8_t kStatusOk = 0x00;
inline constexpr std::uint8_t kStatusErrStalledPkt = 0x0F;

// Sleeps that a stop request can end early. Any thread may call Cancel().
class PollWaiter {
public:
    virtual ~PollWaiter() = default;
    // Waits until `deadline` (steady clock). Returns false when cancelled (at once if already cancelled).
    virtual bool WaitUntil(std::chrono::steady_clock::time_point deadline) = 0;
    virtual std::chrono::steady_clock::time_point Now() = 0;
    virtual void Cancel() = 0;
    virtual bool Cancelled() const = 0;
};

// Real time.
class SteadyWaiter final : public PollWaiter {
public:
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) override;
    std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
    void Cancel() override;
    bool Cancelled() const override { return m_cancelled.load(); }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_cancelled{false};
};

// The DFU functional descriptor (type 0x21).
struct FunctionalDescriptor {
    std::uint8_t bmAttributes = 0;
    std::uint16_t wDetachTimeOut = 0;
    std::uint16_t wTransferSize = 0;
    std::uint16_t bcdDFUVersion = 0;
    std::array<std::uint8_t, 9> raw{};
};

// What the configuration descriptor says about the DFU interface.
struct DfuInterfaceInfo {
    std::uint8_t interfaceNumber = 0;
    std::uint8_t protocol = 0;               // 1 run-time, 2 DFU mode
    std::vector<std::uint8_t> stringIndices; // iInterface per alternate setting, in alternate order
    FunctionalDescriptor functional;
    bool hasFunctional = false;
};

// Finds the first DFU interface and its functional descriptor in a configuration descriptor. Checks every
// length before reading; false when there is no DFU interface or the bytes are malformed.
bool ParseDfuConfiguration(std::span<const std::uint8_t> config, DfuInterfaceInfo& info);

// Why a protocol step failed: the operation error code, the request that failed, and the transfer
// status when the transfer itself failed.
struct ProtocolError {
    std::uint32_t errorCode = STDFUPRT_NOERROR;
    std::uint32_t request = 0;
    usb::Status transfer = usb::Status::Ok;
    bool stopped = false; // a stop request ended a wait

    explicit operator bool() const { return errorCode != STDFUPRT_NOERROR || stopped; }
};

class DfuDevice {
public:
    DfuDevice(std::unique_ptr<usb::DeviceHandle> handle, PollWaiter& waiter);

    // Waits from now on go through `waiter` (e.g. an uncancellable one for the clean-up after a stop).
    // The time still to wait before the next GETSTATUS carries over.
    void SetWaiter(PollWaiter& waiter);

    usb::DeviceHandle& Handle() { return *m_handle; }

    // Reads the configuration (interface, alternates, functional descriptor). Must succeed before the
    // requests below are used.
    ProtocolError ReadConfiguration();
    const DfuInterfaceInfo& Interface() const { return m_info; }
    std::uint16_t TransferSize() const { return m_info.functional.wTransferSize; }

    // Claims the DFU interface and selects an alternate setting.
    ProtocolError SelectAlternate(std::uint8_t alternate);
    // The memory map of one alternate setting from its interface string.
    ProtocolError ReadLayout(std::uint8_t alternate, MappingTarget& target, std::string* error = nullptr);

    // --- raw class requests ---
    ProtocolError Detach(std::uint16_t timeoutMs);
    ProtocolError Dnload(std::uint16_t block, std::span<const std::uint8_t> data);
    // Reads up to data.size() bytes; `received` is what came.
    ProtocolError Upload(std::uint16_t block, std::span<std::uint8_t> data, std::size_t& received);
    // Waits as long as the previous answer asked, then asks. The answer is kept in LastStatus().
    ProtocolError GetStatus(DFUSTATUS& status);
    ProtocolError ClrStatus();
    ProtocolError Abort();

    // --- sequences ---
    // Polls GETSTATUS until the device is no longer busy (dfuDNBUSY, or dfuDNLOAD-SYNC). Fails when it ends
    // in dfuERROR (DFUERROR), in a state other than `expected` (BADFIRMWARESTATEMACHINE) or stays busy
    // (RETRYERROR).
    // `origin` is the request whose work is awaited; a device error is reported against it.
    ProtocolError WaitWhileBusy(std::uint8_t expected, std::uint32_t origin);
    // Brings the device to dfuIDLE with status OK: CLRSTATUS out of dfuERROR, ABORT out of the idle
    // download and upload states, waiting out a busy device. A few rounds at most.
    ProtocolError RecoverToIdle();
    // DfuSe commands, each sent and then waited for until the device is back in dfuDNLOAD-IDLE.
    ProtocolError SetAddress(std::uint32_t address);
    ProtocolError ErasePage(std::uint32_t address);
    // One data block at AddressPointer + (block - 2) * wTransferSize, written and waited for.
    ProtocolError WriteBlock(std::uint16_t block, std::span<const std::uint8_t> data);

    const DFUSTATUS& LastStatus() const { return m_lastStatus; }
    std::uint32_t CurrentRequest() const { return m_request; }
    bool Gone() const { return m_gone; }
    const LinkHealth& Health() const { return m_health; }

private:
    ProtocolError Out(std::uint32_t rq, std::uint8_t request, std::uint16_t value, std::span<const std::uint8_t> data);
    ProtocolError Command(std::span<const std::uint8_t> bytes);
    ProtocolError TransferFailed(std::uint32_t rq, usb::Status status);
    // Counts one request and what its transfer met.
    void Count(usb::Status status);

    std::unique_ptr<usb::DeviceHandle> m_handle;
    PollWaiter* m_waiter;
    DfuInterfaceInfo m_info;
    DFUSTATUS m_lastStatus;
    std::uint32_t m_request = 0;
    std::chrono::steady_clock::time_point m_nextStatus; // no status request before this
    bool m_gone = false;
    LinkHealth m_health;
};

// The 24-bit bwPollTimeout of a status answer, in milliseconds.
std::uint32_t PollTimeoutMs(const DFUSTATUS& status);

} // namespace nemora::dfuse
