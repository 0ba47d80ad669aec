// libFuzzer target for what the protocol layer reads from a device: configuration and functional
// descriptors, string descriptors and the memory layouts in them, GETSTATUS answers, upload lengths and
// short or failed transfers. A scripted device answers every request from the fuzz input.
//
// Input: 1 byte of mode, then the script. Mode bit 0 clear drives one DfuDevice through a sequence of
// requests the script chooses, in virtual time (every bwPollTimeout is honoured without sleeping). Mode
// bit 0 set goes through the library as the console does: reading the memory map, then one background
// operation (upload, erase, download, leave or detach) of an image the script describes, and with mode
// bit 1 set the library's single device calls in between; there the
// clean-up after an operation waits in real time, so the script's poll timeouts are read as zero.
//
// Every answer starts with one byte of outcome: below 0xE0 the request succeeds, from 0xE0 on it fails
// with one of the transport's errors. Then come the answer's length (2 bytes) and its bytes. When the
// script runs out, the device is gone.

#include "dfuse/dfu_protocol.h"
#include "dfuse/dfuse_library.h"
#include "dfuse/dfuse_operations.h"
#include "dfuse/memory_layout.h"

#include "fuzz_input.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

using namespace nemora;
using namespace nemora::dfuse;
using fuzz::Check;
using usb::Status;

constexpr const char* kPath = "USB:1-1:VID_0483&PID_DF11#{3FE809AB-FB91-4CB5-A643-69670D52366E}";

// The answers, shared by every handle the transport opens. Requests may come from an operation's thread.
class Script {
public:
    Script(std::span<const std::uint8_t> bytes, bool zeroPolls)
        : m_in(bytes.data(), bytes.size()), m_zeroPolls(zeroPolls)
    {}

    // The outcome of a request: Ok, or one of the failures a transport reports.
    Status Outcome()
    {
        std::lock_guard lock(m_mutex);
        return OutcomeLocked();
    }

    // Outcome and up to `limit` bytes of answer.
    Status Answer(std::size_t limit, std::vector<std::uint8_t>& out)
    {
        std::lock_guard lock(m_mutex);
        const Status s = OutcomeLocked();
        if (s != Status::Ok)
            return s;
        const std::size_t length = m_in.Take<std::uint16_t>();
        const auto bytes = m_in.Bytes(std::min(length, limit));
        out.assign(bytes.begin(), bytes.end());
        return s;
    }

    // How many bytes an OUT transfer reports moved: usually all of them, sometimes fewer.
    std::size_t Moved(std::size_t asked)
    {
        std::lock_guard lock(m_mutex);
        if (m_in.Take<std::uint8_t>() != 0xA5)
            return asked;
        return m_in.Take<std::uint16_t>() % (asked + 1);
    }

    bool ZeroPolls() const { return m_zeroPolls; }
    template <class T>
    T Take()
    {
        std::lock_guard lock(m_mutex);
        return m_in.Take<T>();
    }
    bool Empty()
    {
        std::lock_guard lock(m_mutex);
        return m_in.Remaining() == 0;
    }

private:
    Status OutcomeLocked()
    {
        if (m_in.Remaining() == 0)
            return Status::NoDevice;
        static constexpr Status kFailures[] = {
            Status::Io,   Status::InvalidParam, Status::Access,   Status::NoDevice, Status::NotFound,
            Status::Busy, Status::Timeout,      Status::Overflow, Status::Pipe,     Status::NotSupported};
        const auto b = m_in.Take<std::uint8_t>();
        return b < 0xE0 ? Status::Ok : kFailures[(b - 0xE0) % std::size(kFailures)];
    }

    std::mutex m_mutex;
    fuzz::Input m_in;
    bool m_zeroPolls;
};

class ScriptedHandle final : public usb::DeviceHandle {
public:
    explicit ScriptedHandle(Script& script) : m_script(script) {}

    Status GetDeviceDescriptor(std::vector<std::uint8_t>& out) override { return m_script.Answer(18, out); }
    Status GetConfigDescriptor(std::vector<std::uint8_t>& out) override { return m_script.Answer(0xFFFF, out); }
    Status GetStringDescriptor(std::uint8_t index, std::string& out) override
    {
        if (index == 0)
            return Status::InvalidParam;
        std::vector<std::uint8_t> raw;
        if (const Status s = m_script.Answer(255, raw); s != Status::Ok)
            return s;
        // As a real transport does: the descriptor's UTF-16 text narrowed to ASCII.
        const auto text = usb::NarrowStringDescriptor(raw);
        if (!text)
            return Status::Io;
        Check(text->size() <= 127);
        out = *text;
        return Status::Ok;
    }
    Status ClaimInterface(std::uint8_t) override { return m_script.Outcome(); }
    Status ReleaseInterface(std::uint8_t) override { return m_script.Outcome(); }
    Status SetAltSetting(std::uint8_t, std::uint8_t) override { return m_script.Outcome(); }
    usb::TransferResult ControlTransfer(const usb::SetupPacket& setup, std::span<std::uint8_t> data,
                                        std::chrono::milliseconds) override
    {
        Check(data.size() >= setup.wLength);
        if (!setup.IsDeviceToHost()) {
            const Status s = m_script.Outcome();
            return {s, s == Status::Ok ? m_script.Moved(setup.wLength) : 0};
        }
        std::vector<std::uint8_t> reply;
        const Status s = m_script.Answer(setup.wLength, reply);
        if (s != Status::Ok)
            return {s, 0};
        if (m_script.ZeroPolls() && setup.bRequest == kDfuGetStatus && reply.size() >= 4)
            std::fill_n(reply.begin() + 1, 3, 0);
        std::copy(reply.begin(), reply.end(), data.begin());
        return {Status::Ok, reply.size()};
    }
    Status ResetDevice() override { return m_script.Outcome(); }

private:
    Script& m_script;
};

class ScriptedTransport final : public usb::Transport {
public:
    explicit ScriptedTransport(Script& script) : m_script(script) {}

    usb::Capabilities GetCapabilities() const override { return {}; }
    Status Enumerate(std::vector<usb::DeviceInfo>& out) override
    {
        out = {{kPath, usb::InterfaceMode::Dfu, 0x0483, 0xDF11, 0x004C}};
        return Status::Ok;
    }
    Status Open(std::string_view path, std::unique_ptr<usb::DeviceHandle>& out) override
    {
        if (usb::ToUpperAscii(path) != kPath)
            return Status::NotFound;
        if (const Status s = m_script.Outcome(); s != Status::Ok)
            return s;
        out = std::make_unique<ScriptedHandle>(m_script);
        return Status::Ok;
    }
    std::vector<usb::DeviceEvent> WaitForEvents(std::chrono::milliseconds) override { return {}; }
    void Interrupt() override {}

private:
    Script& m_script;
};

// Virtual time: a wait ends at once, with the clock moved on to its deadline.
class VirtualWaiter final : public PollWaiter {
public:
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) override
    {
        if (m_cancelled)
            return false;
        m_now = std::max(m_now, deadline);
        return true;
    }
    std::chrono::steady_clock::time_point Now() override { return m_now; }
    void Cancel() override { m_cancelled = true; }
    bool Cancelled() const override { return m_cancelled; }

private:
    std::chrono::steady_clock::time_point m_now{};
    std::atomic<bool> m_cancelled{false}; // a stop comes from another thread
};

void CheckTarget(const MappingTarget& target)
{
    Check(target.sectors.size() <= kMaxLayoutSectors);
    for (const MappingSector& sector : target.sectors)
        Check(sector.dwSectorSize != 0 && sector.End() <= 0x100000000ull && sector.bSectorType <= 7);
}

void CheckError(const ProtocolError& e, const DfuDevice& device)
{
    if (e.transfer == Status::NoDevice)
        Check(device.Gone());
    if (e.transfer != Status::Ok)
        Check(e.errorCode != STDFUPRT_NOERROR);
}

// One device, requests chosen by the script.
void Requests(Script& script)
{
    VirtualWaiter waiter;
    DfuDevice device(std::make_unique<ScriptedHandle>(script), waiter);
    const ProtocolError configured = device.ReadConfiguration();
    CheckError(configured, device);
    if (!configured) {
        Check(device.Interface().hasFunctional && device.TransferSize() != 0);
        Check(device.Interface().functional.raw[1] == 0x21);
    }
    for (int step = 0; step < 64 && !script.Empty(); ++step) {
        ProtocolError e;
        switch (script.Take<std::uint8_t>() % 12) {
        case 0: {
            DFUSTATUS status;
            e = device.GetStatus(status);
            if (!e) {
                Check(status.bState == device.LastStatus().bState && status.bStatus == device.LastStatus().bStatus);
                Check(PollTimeoutMs(status) < (1u << 24));
            }
            break;
        }
        case 1: {
            const auto alternates = device.Interface().stringIndices.size();
            const auto alternate = static_cast<std::uint8_t>(script.Take<std::uint8_t>() % (alternates + 1));
            MappingTarget target;
            std::string why;
            e = device.ReadLayout(alternate, target, &why);
            if (e) {
                Check(target.sectors.empty());
                if (e.transfer == Status::Ok)
                    Check(!why.empty());
            } else {
                Check(target.bAlternate == alternate);
                CheckTarget(target);
            }
            break;
        }
        case 2: {
            // An upload of up to wTransferSize bytes into a buffer of exactly that size.
            const std::size_t size = script.Take<std::uint16_t>() % (std::size_t{device.TransferSize()} + 1);
            std::vector<std::uint8_t> buffer(size, 0xCC);
            std::size_t received = 99999;
            e = device.Upload(script.Take<std::uint16_t>(), buffer, received);
            Check(e ? received == 0 : received <= size);
            break;
        }
        case 3:
            e = device.WaitWhileBusy(script.Take<std::uint8_t>(), STDFU_RQ_DOWNLOAD);
            break;
        case 4:
            e = device.RecoverToIdle();
            break;
        case 5:
            e = device.SetAddress(script.Take<std::uint32_t>());
            break;
        case 6:
            e = device.ErasePage(script.Take<std::uint32_t>());
            break;
        case 7: {
            std::vector<std::uint8_t> block(script.Take<std::uint16_t>() % 2049, 0x5A);
            e = device.WriteBlock(script.Take<std::uint16_t>(), block);
            break;
        }
        case 8:
            e = device.ClrStatus();
            break;
        case 9:
            e = device.Abort();
            break;
        case 10:
            e = device.SelectAlternate(script.Take<std::uint8_t>());
            break;
        case 11:
            e = device.Detach(script.Take<std::uint16_t>());
            break;
        }
        CheckError(e, device);
    }
}

// The device calls of the library, as the command line uses them: descriptors, status, alternate, upload.
void DeviceCalls(DfuseLibrary& library, Script& script)
{
    DfuDeviceHandle device = nullptr;
    if (library.STDFU_Open(kPath, &device) != STDFU_NOERROR)
        return;
    std::array<std::uint8_t, 18> descriptor{};
    if (library.STDFU_GetDeviceDescriptor(device, descriptor) == STDFU_NOERROR)
        Check(descriptor[1] == 0x01);
    std::uint32_t interfaceNumber = 0, alternates = 0;
    std::array<std::uint8_t, 9> functional{};
    if (library.STDFU_GetDFUDescriptor(device, &interfaceNumber, &alternates, functional) == STDFU_NOERROR)
        Check(interfaceNumber <= 0xFF && functional[1] == 0x21);
    library.STDFU_SelectCurrentConfiguration(device, 0, 0, script.Take<std::uint8_t>());
    DFUSTATUS status;
    library.STDFU_Getstatus(device, &status);
    std::vector<std::uint8_t> buffer(script.Take<std::uint16_t>() % 4097);
    library.STDFU_Upload(device, buffer.data(), static_cast<std::uint32_t>(buffer.size()), 2);
    library.STDFU_Clrstatus(device);
    Check(library.STDFU_Close(&device) == STDFU_NOERROR);
}

// The library as the console uses it: the memory map, then one background operation.
void Operation(Script& script, std::uint8_t mode)
{
    ScriptedTransport transport(script);
    DfuseLibrary library(transport, [] { return std::make_unique<VirtualWaiter>(); });

    std::vector<MappingTarget> targets;
    const std::uint32_t mapped = library.STDFUPRT_CreateMappingFromDevice(kPath, &targets);
    if (mapped == STDFUPRT_NOERROR) {
        Check(library.LastMappingError().empty());
        std::for_each(targets.begin(), targets.end(), CheckTarget);
    } else {
        Check(targets.empty() && !library.LastMappingError().empty());
    }

    if ((mode & 2) != 0)
        DeviceCalls(library, script);

    // The image: an alternate and up to four elements at addresses and of lengths the script gives.
    Image image;
    image.alternate = script.Take<std::uint8_t>() % 4;
    image.name = "user_para";
    const int elements = script.Take<std::uint8_t>() % 5;
    for (int i = 0; i < elements; ++i) {
        const std::uint32_t address = script.Take<std::uint32_t>();
        image.elements.push_back({address, std::vector<std::uint8_t>(script.Take<std::uint16_t>() % 8193, 0xA5)});
    }
    static constexpr std::uint32_t kOperations[] = {OPERATION_UPLOAD, OPERATION_ERASE, OPERATION_UPGRADE,
                                                    OPERATION_RETURN, OPERATION_DETACH};
    DFUThreadContext context;
    context.Operation = kOperations[script.Take<std::uint8_t>() % std::size(kOperations)];
    context.szDevLink = kPath;
    context.hImage = library.AdoptImage(image);
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    context.onFinished = [&] {
        std::lock_guard lock(mutex);
        finished = true;
        ended.notify_all();
    };
    DfuOperationHandle operation = nullptr;
    if (library.STDFUPRT_LaunchOperation(context, &operation) != STDFUPRT_NOERROR)
        return;
    {
        std::unique_lock lock(mutex);
        ended.wait(lock, [&] { return finished; });
    }
    DFUThreadContext last;
    Check(library.STDFUPRT_StopOperation(operation, &last) == STDFUPRT_NOERROR);
    Check(last.Percent == 100 ? last.ErrorCode == STDFUPRT_NOERROR : last.ErrorCode != STDFUPRT_NOERROR);
    if (last.Percent == 100 && context.Operation == OPERATION_UPLOAD) {
        // A finished upload holds every byte it was asked for: nothing cut short, nothing added.
        const auto read = library.CopyImage(context.hImage);
        Check(read && read->DataSize() == image.DataSize());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const auto mode = in.Take<std::uint8_t>();
    Script script(in.Rest(), (mode & 1) != 0);
    if ((mode & 1) == 0)
        Requests(script);
    else
        Operation(script, mode);

    // Device paths come from the command line too.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto m = usb::ModeOfPath(text))
        Check(text.size() >= 38);
    return 0;
}
