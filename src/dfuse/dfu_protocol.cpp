#include "dfuse/dfu_protocol.h"

#include "dfuse/memory_layout.h"

#include <algorithm>

namespace nemora::dfuse {
namespace {

using usb::Status;

constexpr std::uint8_t kRequestOut = 0x21; // class, interface, host to device
constexpr std::uint8_t kRequestIn = 0xA1;  // class, interface, device to host
// Rounds of CLRSTATUS / ABORT before a device that will not become idle is given up.
constexpr int kRecoveryRounds = 6;
// Busy answers that ask for a wait: an honest device needs a handful per command; this many means it is
// stuck.
constexpr int kMaxTimedBusyPolls = 10000;

std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

} // namespace

bool SteadyWaiter::WaitUntil(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_until(lock, deadline, [&] { return m_cancelled.load(); });
    return !m_cancelled.load();
}

void SteadyWaiter::Cancel()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_wake.notify_all();
}

std::uint32_t PollTimeoutMs(const DFUSTATUS& status)
{
    return static_cast<std::uint32_t>(status.bwPollTimeout[0]) |
           static_cast<std::uint32_t>(status.bwPollTimeout[1]) << 8 |
           static_cast<std::uint32_t>(status.bwPollTimeout[2]) << 16;
}

bool ParseDfuConfiguration(std::span<const std::uint8_t> config, DfuInterfaceInfo& info)
{
    info = DfuInterfaceInfo{};
    struct Alt {
        std::uint8_t alternate;
        std::uint8_t string;
    };
    std::vector<Alt> alts;
    bool found = false;
    bool inDfu = false;
    std::size_t pos = 0;
    while (pos + 2 <= config.size()) {
        const std::uint8_t length = config[pos];
        const std::uint8_t type = config[pos + 1];
        if (length < 2 || pos + length > config.size()) {
            return false; // a descriptor that runs past the end, or one that would never advance
        }
        const auto d = config.subspan(pos, length);
        if (type == 0x04) {
            if (length < 9) {
                return false;
            }
            const bool dfu = d[5] == usb::kDfuInterfaceClass && d[6] == usb::kDfuInterfaceSubClass;
            inDfu = dfu && (!found || d[2] == info.interfaceNumber);
            if (inDfu) {
                if (!found) {
                    info.interfaceNumber = d[2];
                    info.protocol = d[7];
                    found = true;
                }
                alts.push_back({d[3], d[8]});
            }
        } else if (type == 0x21 && inDfu && !info.hasFunctional && length >= 7) {
            auto& f = info.functional;
            f.bmAttributes = d[2];
            f.wDetachTimeOut = Le16(d, 3);
            f.wTransferSize = Le16(d, 5);
            f.bcdDFUVersion = length >= 9 ? Le16(d, 7) : 0x0100; // the 7-byte form is DFU 1.0
            std::copy_n(d.begin(), std::min<std::size_t>(length, 9), f.raw.begin());
            info.hasFunctional = true;
        }
        pos += length;
    }
    std::stable_sort(alts.begin(), alts.end(), [](const Alt& a, const Alt& b) { return a.alternate < b.alternate; });
    for (const Alt& a : alts) {
        info.stringIndices.push_back(a.string);
    }
    return found;
}

DfuDevice::DfuDevice(std::unique_ptr<usb::DeviceHandle> handle, PollWaiter& waiter)
    : m_handle(std::move(handle)), m_waiter(&waiter)
{}

void DfuDevice::SetWaiter(PollWaiter& waiter)
{
    const auto remaining = std::max(m_nextStatus - m_waiter->Now(), std::chrono::steady_clock::duration::zero());
    m_waiter = &waiter;
    m_nextStatus = waiter.Now() + remaining;
}

ProtocolError DfuDevice::TransferFailed(std::uint32_t rq, Status status)
{
    if (status == Status::NoDevice) {
        m_gone = true;
    }
    // A stall is the device refusing the request (it is then in dfuERROR); anything else is the link.
    return {status == Status::Pipe ? STDFUPRT_DFUERROR : STDFUPRT_UNEXPECTEDERROR, rq, status};
}

ProtocolError DfuDevice::ReadConfiguration()
{
    m_request = STDFU_RQ_GET_CONFIGURATION_DESCRIPTOR;
    std::vector<std::uint8_t> config;
    const Status s = m_handle->GetConfigDescriptor(config);
    if (s != Status::Ok) {
        return TransferFailed(m_request, s);
    }
    m_request = STDFU_RQ_GET_INTERFACE_DESCRIPTOR;
    if (!ParseDfuConfiguration(config, m_info)) {
        return {STDFUPRT_BADFIRMWARESTATEMACHINE, m_request, Status::Ok};
    }
    m_request = STDFU_RQ_GET_DFU_DESCRIPTOR;
    if (!m_info.hasFunctional || m_info.functional.wTransferSize == 0) {
        return {STDFUPRT_BADFIRMWARESTATEMACHINE, m_request, Status::Ok};
    }
    return {};
}

ProtocolError DfuDevice::SelectAlternate(std::uint8_t alternate)
{
    m_request = STDFU_RQ_SELECT_ALTERNATE;
    Status s = m_handle->ClaimInterface(m_info.interfaceNumber);
    if (s == Status::Ok) {
        s = m_handle->SetAltSetting(m_info.interfaceNumber, alternate);
    }
    return s == Status::Ok ? ProtocolError{} : TransferFailed(m_request, s);
}

ProtocolError DfuDevice::ReadLayout(std::uint8_t alternate, MappingTarget& target, std::string* error)
{
    m_request = STDFU_RQ_GET_STRING_DESCRIPTOR;
    if (alternate >= m_info.stringIndices.size() || m_info.stringIndices[alternate] == 0) {
        if (error != nullptr) {
            *error = "alternate setting " + std::to_string(alternate) + " has no interface string";
        }
        return {STDFUPRT_BADPARAMETER, m_request, Status::Ok};
    }
    std::string text;
    const Status s = m_handle->GetStringDescriptor(m_info.stringIndices[alternate], text);
    if (s != Status::Ok) {
        return TransferFailed(m_request, s);
    }
    const LayoutResult parsed = ParseMemoryLayout(text, alternate, target);
    if (!parsed.ok) {
        if (error != nullptr) {
            *error = "alternate setting " + std::to_string(alternate) + ": '" + text + "': " + parsed.error;
        }
        return {STDFUPRT_BADFIRMWARESTATEMACHINE, m_request, Status::Ok};
    }
    return {};
}

ProtocolError DfuDevice::Out(std::uint32_t rq, std::uint8_t request, std::uint16_t value,
                             std::span<const std::uint8_t> data)
{
    m_request = rq;
    if (data.size() > 0xFFFF) {
        return {STDFUPRT_BADPARAMETER, rq, Status::Ok};
    }
    std::vector<std::uint8_t> buffer(data.begin(), data.end());
    const usb::SetupPacket setup{kRequestOut, request, value, m_info.interfaceNumber,
                                 static_cast<std::uint16_t>(data.size())};
    const auto r = m_handle->ControlTransfer(setup, buffer, kRequestTimeout);
    Count(r.status);
    if (r.status != Status::Ok) {
        return TransferFailed(rq, r.status);
    }
    if (r.length != data.size()) {
        return {STDFUPRT_UNEXPECTEDERROR, rq, Status::Io};
    }
    return {};
}

void DfuDevice::Count(usb::Status status)
{
    ++m_health.requests;
    if (status == Status::Pipe)
        ++m_health.stalls;
    else if (status == Status::Timeout)
        ++m_health.timeouts;
}

ProtocolError DfuDevice::Detach(std::uint16_t timeoutMs)
{
    return Out(STDFU_RQ_DETACH, kDfuDetach, timeoutMs, {});
}

ProtocolError DfuDevice::Dnload(std::uint16_t block, std::span<const std::uint8_t> data)
{
    return Out(STDFU_RQ_DOWNLOAD, kDfuDnload, block, data);
}

ProtocolError DfuDevice::Upload(std::uint16_t block, std::span<std::uint8_t> data, std::size_t& received)
{
    m_request = STDFU_RQ_UPLOAD;
    received = 0;
    if (data.size() > 0xFFFF) {
        return {STDFUPRT_BADPARAMETER, m_request, Status::Ok};
    }
    const usb::SetupPacket setup{kRequestIn, kDfuUpload, block, m_info.interfaceNumber,
                                 static_cast<std::uint16_t>(data.size())};
    const auto r = m_handle->ControlTransfer(setup, data, kRequestTimeout);
    Count(r.status);
    if (r.status != Status::Ok) {
        return TransferFailed(m_request, r.status);
    }
    received = std::min(r.length, data.size());
    return {};
}

ProtocolError DfuDevice::GetStatus(DFUSTATUS& status)
{
    m_request = STDFU_RQ_GET_STATUS;
    if (m_waiter->Now() < m_nextStatus && !m_waiter->WaitUntil(m_nextStatus)) {
        return {STDFUPRT_NOERROR, m_request, Status::Ok, true};
    }
    std::array<std::uint8_t, 6> reply{};
    const usb::SetupPacket setup{kRequestIn, kDfuGetStatus, 0, m_info.interfaceNumber, 6};
    const auto r = m_handle->ControlTransfer(setup, reply, kRequestTimeout);
    Count(r.status);
    if (r.status != Status::Ok) {
        return TransferFailed(m_request, r.status);
    }
    if (r.length != reply.size()) {
        return {STDFUPRT_UNEXPECTEDERROR, m_request, Status::Io};
    }
    if (reply[0] != 0)
        ++m_health.statusErrors;
    status.bStatus = reply[0];
    status.bwPollTimeout = {reply[1], reply[2], reply[3]};
    status.bState = reply[4];
    status.iString = reply[5];
    m_lastStatus = status;
    // The next status request waits from the moment this answer came, exactly as long as it asks.
    m_nextStatus = m_waiter->Now() + std::chrono::milliseconds(PollTimeoutMs(status));
    return {};
}

ProtocolError DfuDevice::ClrStatus()
{
    return Out(STDFU_RQ_CLR_STATUS, kDfuClrStatus, 0, {});
}

ProtocolError DfuDevice::Abort()
{
    return Out(STDFU_RQ_ABORT, kDfuAbort, 0, {});
}

ProtocolError DfuDevice::WaitWhileBusy(std::uint8_t expected, std::uint32_t origin)
{
    int idleBusy = 0;
    int timedBusy = 0;
    for (;;) {
        DFUSTATUS status;
        if (const auto e = GetStatus(status)) {
            return e;
        }
        if (status.bState == STATE_DFU_ERROR) {
            return {STDFUPRT_DFUERROR, origin, Status::Ok};
        }
        if (status.bState == STATE_DFU_DOWNLOAD_BUSY || status.bState == STATE_DFU_DOWNLOAD_SYNC) {
            if (PollTimeoutMs(status) == 0 ? ++idleBusy > kMaxBusyPolls : ++timedBusy > kMaxTimedBusyPolls) {
                return {STDFUPRT_RETRYERROR, STDFU_RQ_GET_STATUS, Status::Ok};
            }
            continue;
        }
        if (status.bStatus != kStatusOk) {
            return {STDFUPRT_DFUERROR, origin, Status::Ok};
        }
        if (status.bState != expected) {
            return {STDFUPRT_BADFIRMWARESTATEMACHINE, STDFU_RQ_GET_STATUS, Status::Ok};
        }
        return {};
    }
}

ProtocolError DfuDevice::RecoverToIdle()
{
    for (int round = 0; round < kRecoveryRounds; ++round) {
        DFUSTATUS status;
        if (const auto e = GetStatus(status)) {
            return e;
        }
        ProtocolError e;
        switch (status.bState) {
        case STATE_DFU_IDLE:
            if (status.bStatus == kStatusOk) {
                return {};
            }
            ++m_health.recoveries;
            e = ClrStatus();
            break;
        case STATE_DFU_ERROR:
            ++m_health.recoveries;
            e = ClrStatus();
            break;
        case STATE_DFU_DOWNLOAD_SYNC:
        case STATE_DFU_DOWNLOAD_IDLE:
        case STATE_DFU_UPLOAD_IDLE:
        case STATE_DFU_MANIFEST_SYNC:
            e = Abort();
            break;
        case STATE_DFU_DOWNLOAD_BUSY:
            // Wait out the work in progress (exactly as long as the device asks); a stuck device is bounded.
            if (const auto busy = WaitWhileBusy(STATE_DFU_DOWNLOAD_IDLE, STDFU_RQ_GET_STATUS);
                busy && busy.errorCode != STDFUPRT_DFUERROR) {
                return busy;
            }
            break;
        default:
            // Run-time or manifestation states: this is not a device in DFU mode that can be brought back.
            return {STDFUPRT_BADFIRMWARESTATEMACHINE, STDFU_RQ_GET_STATUS, Status::Ok};
        }
        if (e) {
            return e;
        }
    }
    return {STDFUPRT_BADFIRMWARESTATEMACHINE, STDFU_RQ_GET_STATUS, Status::Ok};
}

ProtocolError DfuDevice::Command(std::span<const std::uint8_t> bytes)
{
    if (const auto e = Dnload(0, bytes)) {
        return e;
    }
    return WaitWhileBusy(STATE_DFU_DOWNLOAD_IDLE, STDFU_RQ_DOWNLOAD);
}

ProtocolError DfuDevice::SetAddress(std::uint32_t address)
{
    return Command(SetAddressCommand(address));
}

ProtocolError DfuDevice::ErasePage(std::uint32_t address)
{
    return Command(AddressCommand(kDfuseErase, address));
}

ProtocolError DfuDevice::WriteBlock(std::uint16_t block, std::span<const std::uint8_t> data)
{
    if (block < 2 || data.empty()) {
        return {STDFUPRT_BADPARAMETER, STDFU_RQ_DOWNLOAD, Status::Ok};
    }
    if (const auto e = Dnload(block, data)) {
        return e;
    }
    return WaitWhileBusy(STATE_DFU_DOWNLOAD_IDLE, STDFU_RQ_DOWNLOAD);
}

} // namespace nemora::dfuse
