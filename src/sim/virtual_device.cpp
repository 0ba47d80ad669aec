#include "sim/virtual_device.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nemora::sim {
namespace {

using usb::Status;
using usb::TransferResult;
using namespace std::chrono_literals;

constexpr std::array<std::uint8_t, kOptionBytesSize> kDefaultOptionBytes = {
    0xA5, 0x5A, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};

// String descriptor indices.
constexpr std::uint8_t kStrManufacturer = 1, kStrProduct = 2, kStrSerial = 3, kStrFlash = 4, kStrOptionBytes = 5,
                       kStrRuntime = 6, kStrDataFlash = 7;

// bmAttributes of the functional descriptor: can download, can upload, will detach; not
// manifestation-tolerant, like ST's ROM bootloaders.
constexpr std::uint8_t kDfuAttributes = 0x0B;

// Element by element: GCC 12 at -O3 sees phantom overflows in vector::insert of an initializer list.
void Append(std::vector<std::uint8_t>& out, std::initializer_list<std::uint8_t> bytes)
{
    for (const std::uint8_t b : bytes) {
        out.push_back(b);
    }
}

void PutLe16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

std::uint32_t ReadLe32(std::span<const std::uint8_t> b)
{
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

bool InFlash(std::uint64_t address, std::uint64_t length)
{
    return address >= kFlashBase && address + length <= std::uint64_t{kFlashBase} + kFlashSize;
}

bool InOptionBytes(std::uint64_t address, std::uint64_t length)
{
    return address >= kOptionBytesBase && address + length <= std::uint64_t{kOptionBytesBase} + kOptionBytesSize;
}

// Size of the open file, -1 when it cannot be told.
long long FileSize(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

std::uint32_t PollMilliseconds(Nanos duration)
{
    const auto ms = (duration.count() + 999999) / 1000000;
    return static_cast<std::uint32_t>(std::clamp<long long>(ms, 1, 0xFFFFFF));
}

} // namespace

TimingProfile ProfileFor(Timing timing)
{
    TimingProfile p;
    if (timing == Timing::FullSpeed) {
        // Full-speed USB: about 1 ms per control transfer plus 64-byte packets at roughly 1.2 us per byte
        // (a 2 KiB data stage adds about 2.5 ms). Flash figures are the F103 datasheet's typical values.
        p.controlTransfer = 1ms;
        p.perDataByte = 1200ns;
        p.pageErase = 20ms;
        p.massErase = 40ms; // never exactly 100 ms: dfu-util treats that as an F405 and waits 35 s
        p.halfWordProgram = 52500ns;
        p.command = 1ms;
        p.enforced = true;
    }
    return p;
}

VirtualDevice::VirtualDevice(const DeviceConfig& config, Clock& clock, unsigned location)
    : m_config(config), m_clock(clock), m_timing(ProfileFor(config.timing)), m_mode(config.mode),
      m_flashMemory(kFlashSize, 0xFF), m_flash(m_flashMemory), m_optionBytes(kDefaultOptionBytes)
{
    if (m_config.dataFlash) {
        m_dataFlash.assign(kDataFlashSize, 0xFF);
    }
    if (m_config.serial.empty()) {
        char text[32];
        std::snprintf(text, sizeof text, "NEMORASIM%03u", location);
        m_serial = text;
    } else {
        m_serial = m_config.serial;
    }
    if (m_config.protect) {
        m_optionBytes[0] = 0x00;
        m_optionBytes[1] = 0xFF;
    }
    EnterMode(m_mode);
}

std::unique_ptr<VirtualDevice> VirtualDevice::Create(const DeviceConfig& config, Clock& clock, unsigned location,
                                                     std::string& error)
{
    std::unique_ptr<VirtualDevice> device(new VirtualDevice(config, clock, location));
    if (config.flashPath.empty()) {
        return device;
    }
    const std::string& path = config.flashPath;
    // A missing file is made here and filled with erased bytes, never truncated: another program creating
    // the same file at the same moment loses nothing. O_NONBLOCK only keeps a FIFO from hanging the open.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
        if (::pwrite(fd, device->m_flashMemory.data(), kFlashSize, 0) != static_cast<ssize_t>(kFlashSize)) {
            error = "cannot create flash file '" + path + "': " + std::strerror(errno);
            ::close(fd);
            return nullptr;
        }
    } else if (errno == EEXIST) {
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            error = "cannot read and write flash file '" + path + "': " + std::strerror(errno);
            return nullptr;
        }
    } else {
        error = "cannot create flash file '" + path + "': " + std::strerror(errno);
        return nullptr;
    }
    device->m_flashFd = fd; // closed by the destructor from here on
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "flash file '" + path + "' is not a regular file";
        return nullptr;
    }
    if (st.st_size != kFlashSize) {
        error = "flash file '" + path + "' holds " + std::to_string(st.st_size) + " bytes, not " +
                std::to_string(kFlashSize);
        return nullptr;
    }
    // The device works on the file's pages themselves: what one process programs, every other process on
    // the file reads at once, and each change touches only its own bytes.
    void* map = ::mmap(nullptr, kFlashSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        error = "cannot map flash file '" + path + "': " + std::strerror(errno);
        return nullptr;
    }
    device->m_flash = {static_cast<std::uint8_t*>(map), kFlashSize};
    device->m_flashMemory = {};
    return device;
}

VirtualDevice::~VirtualDevice()
{
    if (m_flashFd < 0) {
        return;
    }
    if (m_flashMemory.empty()) { // emptied once the file is mapped
        ::munmap(m_flash.data(), kFlashSize);
    }
    ::close(m_flashFd);
}

std::span<const std::uint8_t> VirtualDevice::Flash() const
{
    if (m_flashFd >= 0 && FileSize(m_flashFd) < kFlashSize) {
        return {};
    }
    return m_flash;
}

bool VirtualDevice::FlashUsable()
{
    // A mapped page past the end of a shortened file would kill the process on first touch.
    if (m_flashFd < 0) {
        return true;
    }
    const long long size = FileSize(m_flashFd);
    if (size >= kFlashSize) {
        return true;
    }
    m_flashFileError =
        "flash file '" + m_config.flashPath + "' was cut to " + std::to_string(size) + " bytes by another program";
    return false;
}

void VirtualDevice::LoadFlash(std::uint32_t offset, std::span<const std::uint8_t> bytes)
{
    if (offset >= kFlashSize || !FlashUsable()) {
        return;
    }
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), kFlashSize - offset));
    std::copy_n(bytes.begin(), n, m_flash.begin() + offset);
}

bool VirtualDevice::InDataFlash(std::uint64_t address, std::uint64_t length) const
{
    return !m_dataFlash.empty() && address >= kDataFlashBase &&
           address + length <= std::uint64_t{kDataFlashBase} + kDataFlashSize;
}

void VirtualDevice::EnterMode(Mode mode)
{
    m_mode = mode;
    m_state = mode == Mode::Dfu ? kDfuIdle : kAppIdle;
    m_status = kStatusOk;
    m_alt = 0;
    m_addressPointer = kFlashBase;
    m_pending = Pending{};
    m_busyUntil = Nanos{0};
}

Nanos VirtualDevice::TakeOwedWire()
{
    return std::exchange(m_owedWire, Nanos{0});
}

BusAction VirtualDevice::TakeBusAction()
{
    const BusAction action = m_action;
    m_action = BusAction::None;
    return action;
}

// ---------------------------------------------------------------- descriptors

usb::Status VirtualDevice::GetDeviceDescriptor(std::vector<std::uint8_t>& out)
{
    if (!m_attached) {
        return Status::NoDevice;
    }
    if (const Fault* f = CountRequest({RequestKind::Descriptor})) {
        const auto r = ApplyFault(*f, false);
        return r.status == Status::Pipe ? Status::Io : r.status;
    }
    out = {18, 0x01};
    PutLe16(out, 0x0200);
    Append(out, {0x00, 0x00, 0x00, 64});
    PutLe16(out, m_config.vid);
    PutLe16(out, m_config.pid);
    PutLe16(out, m_config.bcdFor(m_mode));
    Append(out, {kStrManufacturer, kStrProduct, kStrSerial, 1});
    return Status::Ok;
}

std::vector<std::uint8_t> VirtualDevice::BuildConfigDescriptor() const
{
    std::vector<std::uint8_t> out = {9, 0x02, 0, 0, 1, 1, 0, 0xC0, 50};
    auto functional = [&] {
        Append(out, {9, 0x21, kDfuAttributes, 0xFF, 0x00});
        PutLe16(out, kTransferSize);
        PutLe16(out, m_config.dfuVersion);
    };
    switch (m_mode) {
    case Mode::Dfu:
        // Two alternate settings, then the functional descriptor (ST's layout: libusb hands it out in the
        // last alternate setting's extra bytes).
        Append(out, {9, 0x04, 0, 0, 0, usb::kDfuInterfaceClass, usb::kDfuInterfaceSubClass, usb::kDfuProtocolDfuMode,
                     kStrFlash});
        Append(out, {9, 0x04, 0, 1, 0, usb::kDfuInterfaceClass, usb::kDfuInterfaceSubClass, usb::kDfuProtocolDfuMode,
                     kStrOptionBytes});
        if (m_config.dataFlash) {
            Append(out, {9, 0x04, 0, 2, 0, usb::kDfuInterfaceClass, usb::kDfuInterfaceSubClass,
                         usb::kDfuProtocolDfuMode, kStrDataFlash});
        }
        functional();
        break;
    case Mode::App:
        Append(out, {9, 0x04, 0, 0, 0, usb::kDfuInterfaceClass, usb::kDfuInterfaceSubClass, usb::kDfuProtocolRuntime,
                     kStrRuntime});
        functional();
        break;
    case Mode::Other:
        // A boot-protocol mouse: HID interface, HID descriptor, one interrupt IN endpoint.
        Append(out, {9, 0x04, 0, 0, 1, 0x03, 0x01, 0x02, 0});
        Append(out, {9, 0x21, 0x11, 0x01, 0x00, 0x01, 0x22, 52, 0});
        Append(out, {7, 0x05, 0x81, 0x03, 4, 0, 10});
        break;
    }
    out[2] = static_cast<std::uint8_t>(out.size() & 0xFF);
    out[3] = static_cast<std::uint8_t>(out.size() >> 8);
    return out;
}

usb::Status VirtualDevice::GetConfigDescriptor(std::vector<std::uint8_t>& out)
{
    if (!m_attached) {
        return Status::NoDevice;
    }
    if (const Fault* f = CountRequest({RequestKind::Descriptor})) {
        const auto r = ApplyFault(*f, false);
        return r.status == Status::Pipe ? Status::Io : r.status;
    }
    out = BuildConfigDescriptor();
    return Status::Ok;
}

std::vector<std::uint8_t> VirtualDevice::StringDescriptor(std::uint8_t index) const
{
    std::string_view text;
    switch (index) {
    case 0:
        return {4, 0x03, 0x09, 0x04};
    case kStrManufacturer:
        text = "STMicroelectronics";
        break;
    case kStrProduct:
        text = m_mode == Mode::Dfu ? "STM32  BOOTLOADER" : m_mode == Mode::App ? "Nemora Device" : "USB Mouse";
        break;
    case kStrSerial:
        text = m_serial;
        break;
    case kStrFlash:
        text = kFlashLayout;
        break;
    case kStrOptionBytes:
        text = kOptionBytesLayout;
        break;
    case kStrDataFlash:
        if (!m_config.dataFlash) {
            return {};
        }
        text = kDataFlashLayout;
        break;
    case kStrRuntime:
        text = "DFU Runtime";
        break;
    default:
        return {};
    }
    std::vector<std::uint8_t> out = {static_cast<std::uint8_t>(2 + 2 * text.size()), 0x03};
    for (const char c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

// ---------------------------------------------------------------- faults and helpers

const Fault* VirtualDevice::CountRequest(std::initializer_list<RequestKind> kinds)
{
    const Fault* hit = nullptr;
    for (const RequestKind kind : kinds) {
        const unsigned count = ++m_counts[static_cast<std::size_t>(kind)];
        for (const Fault& fault : m_config.faults) {
            if (hit || fault.request != kind) {
                continue;
            }
            const bool sticky = fault.kind == FaultKind::NoDesc || fault.kind == FaultKind::Access;
            const bool due = sticky ? count >= fault.nth : count == fault.nth;
            if (due) {
                hit = &fault;
            }
        }
    }
    return hit;
}

Status VirtualDevice::Open()
{
    if (const Fault* f = CountRequest({RequestKind::Open})) {
        return ApplyFault(*f, false).status;
    }
    return Status::Ok;
}

TransferResult VirtualDevice::ApplyFault(const Fault& fault, bool dfuRequest)
{
    switch (fault.kind) {
    case FaultKind::Access:
        return {Status::Access, 0};
    case FaultKind::Unplug:
        m_attached = false;
        m_action = BusAction::Vanish;
        return {Status::NoDevice, 0};
    case FaultKind::Stall:
    case FaultKind::NoDesc:
        return dfuRequest ? Stall() : TransferResult{Status::Pipe, 0};
    case FaultKind::Status:
        m_pending = Pending{};
        if (m_mode == Mode::Dfu) {
            m_state = kDfuError;
            m_status = fault.status;
        }
        return {Status::Ok, 0};
    }
    return Stall();
}

TransferResult VirtualDevice::Stall()
{
    // A DFU-mode device that stalls a request goes to dfuERROR; an error already there is kept so the
    // host still learns the first cause.
    if (m_mode == Mode::Dfu && m_state != kDfuError) {
        m_state = kDfuError;
        m_status = kErrStalledPkt;
        m_pending = Pending{};
    }
    return {Status::Pipe, 0};
}

TransferResult VirtualDevice::Reply(std::span<std::uint8_t> data, std::size_t wLength,
                                    std::span<const std::uint8_t> bytes)
{
    const std::size_t n = std::min(wLength, bytes.size());
    std::copy_n(bytes.begin(), n, data.begin());
    return {Status::Ok, n};
}

void VirtualDevice::AdvanceTime()
{
    if (m_state == kDfuDnBusy && (!m_timing.enforced || m_clock.Now() >= m_busyUntil)) {
        m_state = kDfuDnloadSync;
    }
}

// ---------------------------------------------------------------- control transfers

TransferResult VirtualDevice::Control(const usb::SetupPacket& setup, std::span<std::uint8_t> data)
{
    if (!m_attached) {
        return {Status::NoDevice, 0};
    }
    if (data.size() < setup.wLength) {
        return {Status::InvalidParam, 0};
    }
    // Wire time: every transfer costs its setup and status stages plus its data stage.
    const Nanos wire = m_timing.controlTransfer + m_timing.perDataByte * setup.wLength;
    m_floor += wire;
    if (m_timing.enforced && m_deferWire) {
        m_owedWire += wire; // spent by the bus once it lets go, so that other devices' transfers overlap
    } else if (m_timing.enforced) {
        m_clock.Sleep(wire);
    }
    AdvanceTime();

    const std::uint8_t type = setup.bmRequestType & 0x60;
    const std::uint8_t recipient = setup.bmRequestType & 0x1F;
    if (type == 0x00) {
        return Standard(setup, data);
    }
    if (type == 0x20 && recipient == 0x01 && setup.wIndex == 0) {
        if (m_mode == Mode::Dfu) {
            return DfuRequest(setup, data);
        }
        if (m_mode == Mode::App) {
            return RuntimeRequest(setup, data);
        }
    }
    return Stall();
}

TransferResult VirtualDevice::Standard(const usb::SetupPacket& setup, std::span<std::uint8_t> data)
{
    const bool in = setup.IsDeviceToHost();
    switch (setup.bRequest) {
    case 0x06: // GET_DESCRIPTOR
        if (in) {
            return Descriptor(setup, data);
        }
        break;
    case 0x00: // GET_STATUS
        if (in) {
            const std::uint8_t zero[2] = {0, 0};
            return Reply(data, setup.wLength, zero);
        }
        break;
    case 0x08: // GET_CONFIGURATION
        if (in) {
            const std::uint8_t one[1] = {1};
            return Reply(data, setup.wLength, one);
        }
        break;
    case 0x09: // SET_CONFIGURATION
        if (!in && setup.wValue <= 1) {
            return {Status::Ok, 0};
        }
        break;
    case 0x0B: // SET_INTERFACE
        if (!in && setup.wValue <= 0xFF && setup.wIndex <= 0xFF) {
            const auto s =
                SetAltSetting(static_cast<std::uint8_t>(setup.wIndex), static_cast<std::uint8_t>(setup.wValue));
            return s == Status::Ok ? TransferResult{Status::Ok, 0} : TransferResult{Status::Pipe, 0};
        }
        break;
    default:
        break;
    }
    return {Status::Pipe, 0}; // a standard request the device does not know: stall, no DFU state change
}

TransferResult VirtualDevice::Descriptor(const usb::SetupPacket& setup, std::span<std::uint8_t> data)
{
    if (const Fault* f = CountRequest({RequestKind::Descriptor})) {
        const auto r = ApplyFault(*f, false);
        return r.status == Status::Ok ? TransferResult{Status::Pipe, 0} : r;
    }
    const std::uint8_t type = static_cast<std::uint8_t>(setup.wValue >> 8);
    const std::uint8_t index = static_cast<std::uint8_t>(setup.wValue & 0xFF);
    std::vector<std::uint8_t> bytes;
    switch (type) {
    case 0x01:
        --m_counts[static_cast<std::size_t>(RequestKind::Descriptor)]; // counted once, above
        if (GetDeviceDescriptor(bytes) != Status::Ok) {
            return {Status::Pipe, 0};
        }
        break;
    case 0x02:
        if (index != 0) {
            return {Status::Pipe, 0};
        }
        bytes = BuildConfigDescriptor();
        break;
    case 0x03:
        bytes = StringDescriptor(index);
        if (index != 0 && setup.wIndex != 0x0409) {
            bytes.clear();
        }
        break;
    case 0x21:
        if (m_mode != Mode::Other) {
            const auto config = BuildConfigDescriptor();
            bytes.assign(config.end() - 9, config.end());
        }
        break;
    default:
        break;
    }
    if (bytes.empty()) {
        return {Status::Pipe, 0};
    }
    return Reply(data, setup.wLength, bytes);
}

usb::Status VirtualDevice::SetAltSetting(std::uint8_t interfaceNumber, std::uint8_t alternate)
{
    if (!m_attached) {
        return Status::NoDevice;
    }
    const std::uint8_t alternates = m_mode != Mode::Dfu ? 1 : m_config.dataFlash ? 3 : 2;
    if (interfaceNumber != 0 || alternate >= alternates) {
        return Status::NotFound;
    }
    m_alt = alternate;
    return Status::Ok;
}

usb::Status VirtualDevice::Reset()
{
    if (!m_attached) {
        return Status::NoDevice;
    }
    // A reset restarts the part in the mode it was in (the boot pins keep a bootloader a bootloader).
    EnterMode(m_mode);
    m_action = BusAction::Reenumerate;
    return Status::Ok;
}

TransferResult VirtualDevice::RuntimeRequest(const usb::SetupPacket& setup, std::span<std::uint8_t> data)
{
    switch (setup.bRequest) {
    case kDfuDetach:
        if (const Fault* f = CountRequest({RequestKind::Detach})) {
            return ApplyFault(*f);
        }
        if (setup.IsDeviceToHost()) {
            break;
        }
        // bitWillDetach: the device drops off the bus by itself and comes back in DFU mode.
        EnterMode(Mode::Dfu);
        m_action = BusAction::Reenumerate;
        return {Status::Ok, 0};
    case kDfuGetStatus: {
        if (const Fault* f = CountRequest({RequestKind::GetStatus})) {
            if (f->kind != FaultKind::Status) {
                return ApplyFault(*f);
            }
        }
        if (!setup.IsDeviceToHost()) {
            break;
        }
        const std::uint8_t reply[6] = {kStatusOk, 0, 0, 0, kAppIdle, 0};
        return Reply(data, setup.wLength, reply);
    }
    case kDfuGetState: {
        if (const Fault* f = CountRequest({RequestKind::GetState})) {
            if (f->kind != FaultKind::Status) {
                return ApplyFault(*f);
            }
        }
        if (!setup.IsDeviceToHost()) {
            break;
        }
        const std::uint8_t reply[1] = {kAppIdle};
        return Reply(data, setup.wLength, reply);
    }
    default:
        break;
    }
    return Stall();
}

TransferResult VirtualDevice::DfuRequest(const usb::SetupPacket& setup, std::span<std::uint8_t> data)
{
    const bool in = setup.IsDeviceToHost();
    switch (setup.bRequest) {
    case kDfuDnload:
        return in ? Stall() : Dnload(setup, data);
    case kDfuUpload:
        return in ? Upload(setup, data) : Stall();
    case kDfuGetStatus:
        if (const Fault* f = CountRequest({RequestKind::GetStatus})) {
            ApplyFault(*f);
            if (f->kind != FaultKind::Status) {
                return f->kind == FaultKind::Unplug ? TransferResult{Status::NoDevice, 0}
                                                    : TransferResult{Status::Pipe, 0};
            }
        }
        return in ? GetStatus(data, setup.wLength) : Stall();
    case kDfuClrStatus:
        if (const Fault* f = CountRequest({RequestKind::ClrStatus})) {
            return ApplyFault(*f);
        }
        if (in || m_state != kDfuError) {
            return Stall();
        }
        m_state = kDfuIdle;
        m_status = kStatusOk;
        return {Status::Ok, 0};
    case kDfuGetState: {
        if (const Fault* f = CountRequest({RequestKind::GetState})) {
            const auto r = ApplyFault(*f);
            if (f->kind != FaultKind::Status) {
                return r;
            }
        }
        if (!in || setup.wLength < 1) {
            return Stall();
        }
        const std::uint8_t state[1] = {m_state};
        return Reply(data, setup.wLength, state);
    }
    case kDfuAbort:
        if (const Fault* f = CountRequest({RequestKind::Abort})) {
            return ApplyFault(*f);
        }
        if (in) {
            return Stall();
        }
        switch (m_state) {
        case kDfuIdle:
        case kDfuDnloadSync:
        case kDfuDnloadIdle:
        case kDfuManifestSync:
        case kDfuUploadIdle:
            m_state = kDfuIdle;
            m_status = kStatusOk;
            m_pending = Pending{};
            return {Status::Ok, 0};
        default:
            return Stall();
        }
    case kDfuDetach:
        if (const Fault* f = CountRequest({RequestKind::Detach})) {
            return ApplyFault(*f);
        }
        return Stall(); // DETACH belongs to run-time mode
    default:
        return Stall();
    }
}

TransferResult VirtualDevice::Dnload(const usb::SetupPacket& setup, std::span<std::uint8_t> data)
{
    const std::size_t length = setup.wLength;
    const std::uint16_t block = setup.wValue;
    RequestKind detail = RequestKind::Write;
    if (length == 0) {
        detail = RequestKind::Leave;
    } else if (block == 0) {
        if (data[0] == 0x21) {
            detail = RequestKind::SetAddress;
        } else if (data[0] == 0x41) {
            detail = length == 1 ? RequestKind::MassErase : RequestKind::Erase;
        } else if (data[0] == 0x92) {
            detail = RequestKind::Unprotect;
        } else {
            detail = RequestKind::Dnload; // unknown command: counted once
        }
    }
    const Fault* fault = detail == RequestKind::Dnload ? CountRequest({RequestKind::Dnload})
                                                       : CountRequest({RequestKind::Dnload, detail});
    if (fault) {
        const auto r = ApplyFault(*fault);
        return fault->kind == FaultKind::Status ? TransferResult{Status::Ok, length} : r;
    }
    if (m_state != kDfuIdle && m_state != kDfuDnloadIdle) {
        return Stall();
    }
    if (length == 0) {
        m_state = kDfuManifestSync;
        m_pending = Pending{};
        return {Status::Ok, 0};
    }
    if (length > kTransferSize || block == 1) {
        return Stall();
    }
    Pending pending;
    if (block == 0) {
        const std::uint8_t command = data[0];
        if ((command == 0x21 || command == 0x41) && length == 5) {
            pending.op = command == 0x21 ? Op::SetAddress : Op::Erase;
            pending.address = ReadLe32(data.subspan(1, 4));
        } else if (command == 0x41 && length == 1) {
            pending.op = Op::MassErase;
        } else if (command == 0x92 && length == 1) {
            pending.op = Op::Unprotect;
        } else {
            return Stall();
        }
    } else {
        pending.op = Op::Write;
        const std::uint64_t address = std::uint64_t{m_addressPointer} + std::uint64_t{block - 2u} * kTransferSize;
        if (address > 0xFFFFFFFFu) {
            return Stall();
        }
        pending.address = static_cast<std::uint32_t>(address);
        pending.data.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
    }
    m_pending = std::move(pending);
    m_state = kDfuDnloadSync;
    return {Status::Ok, length};
}

Nanos VirtualDevice::Execute(Pending& p)
{
    p.result = kStatusOk;
    switch (p.op) {
    case Op::None:
        return Nanos{0};
    case Op::SetAddress:
        if (InFlash(p.address, 1) || InOptionBytes(p.address, 1) || InDataFlash(p.address, 1)) {
            m_addressPointer = p.address;
        } else {
            p.result = kErrTarget;
        }
        return m_timing.command;
    case Op::Erase: {
        if (ReadProtected()) {
            p.result = kErrVendor;
            return m_timing.command;
        }
        if (InDataFlash(p.address, 1)) {
            const std::uint32_t page = (p.address - kDataFlashBase) / kPageSize * kPageSize;
            std::fill_n(m_dataFlash.begin() + page, kPageSize, 0xFF);
            return m_timing.pageErase;
        }
        if (!InFlash(p.address, 1)) {
            p.result = kErrTarget;
            return m_timing.command;
        }
        if (!FlashUsable()) {
            p.result = kErrWrite;
            return m_timing.command;
        }
        const std::uint32_t page = (p.address - kFlashBase) / kPageSize * kPageSize;
        std::fill_n(m_flash.begin() + page, kPageSize, 0xFF);
        return m_timing.pageErase;
    }
    case Op::MassErase:
        if (ReadProtected()) {
            p.result = kErrVendor;
            return m_timing.command;
        }
        if (!FlashUsable()) {
            p.result = kErrWrite;
            return m_timing.command;
        }
        std::fill(m_flash.begin(), m_flash.end(), 0xFF);
        return m_timing.massErase;
    case Op::Unprotect:
        // Clears read protection, wipes the flash and resets the part.
        if (!FlashUsable()) {
            p.result = kErrWrite;
            return m_timing.command;
        }
        std::fill(m_flash.begin(), m_flash.end(), 0xFF);
        m_optionBytes = kDefaultOptionBytes;
        p.resetsDevice = true;
        return m_timing.massErase;
    case Op::Write: {
        if (ReadProtected()) {
            p.result = kErrVendor;
            return m_timing.command;
        }
        const std::size_t length = p.data.size();
        if (InOptionBytes(p.address, length)) {
            std::copy(p.data.begin(), p.data.end(), m_optionBytes.begin() + (p.address - kOptionBytesBase));
            p.resetsDevice = true; // new options take effect through a reset
            return m_timing.halfWordProgram * static_cast<long long>((length + 1) / 2);
        }
        const bool data = InDataFlash(p.address, length);
        if (!data && !InFlash(p.address, length)) {
            p.result = kErrTarget;
            return m_timing.command;
        }
        if (!data && !FlashUsable()) {
            p.result = kErrWrite;
            return m_timing.command;
        }
        // Half-word programming: a half-word can only be programmed while it reads 0xFFFF. Writing
        // 0xFFFF programs nothing. The part stops at the first failing half-word.
        const std::span<std::uint8_t> memory = data ? std::span<std::uint8_t>(m_dataFlash) : m_flash;
        const std::uint32_t memorySize = data ? kDataFlashSize : kFlashSize;
        const std::uint32_t begin = p.address - (data ? kDataFlashBase : kFlashBase);
        const std::uint32_t first = begin & ~1u;
        const std::uint32_t end = begin + static_cast<std::uint32_t>(length);
        long long programmed = 0;
        for (std::uint32_t hw = first; hw < end; hw += 2) {
            std::uint8_t lo = memory[hw];
            std::uint8_t hi = hw + 1 < memorySize ? memory[hw + 1] : 0xFF;
            const std::uint8_t newLo = hw >= begin ? p.data[hw - begin] : 0xFF;
            const std::uint8_t newHi = hw + 1 < end ? p.data[hw + 1 - begin] : 0xFF;
            if (newLo == 0xFF && newHi == 0xFF) {
                continue;
            }
            ++programmed;
            if (lo != 0xFF || hi != 0xFF) {
                p.result = kErrProg;
                break;
            }
            lo = newLo;
            hi = newHi;
            memory[hw] = lo;
            memory[hw + 1] = hi;
        }
        return m_timing.halfWordProgram * programmed;
    }
    }
    return Nanos{0};
}

TransferResult VirtualDevice::GetStatus(std::span<std::uint8_t> data, std::size_t wLength)
{
    std::uint32_t poll = 0;
    std::uint8_t replyState = m_state;
    if (m_state == kDfuDnloadSync && m_pending.op != Op::None && !m_pending.started) {
        // The first status request after a download starts the work and answers "busy" with its duration.
        m_pending.started = true;
        const Nanos busy = Execute(m_pending);
        m_floor += busy;
        m_busyUntil = m_clock.Now() + busy;
        poll = PollMilliseconds(busy);
        m_state = kDfuDnBusy;
        replyState = kDfuDnBusy;
        if (m_pending.resetsDevice && m_pending.result == kStatusOk) {
            // Option bytes and read-unprotect restart the part: no further answer.
            EnterMode(Mode::Dfu);
            m_action = BusAction::Reenumerate;
        }
    } else if (m_state == kDfuDnBusy) {
        poll = PollMilliseconds(m_busyUntil - m_clock.Now());
    } else if (m_state == kDfuDnloadSync) {
        if (m_pending.result == kStatusOk) {
            m_state = kDfuDnloadIdle;
        } else {
            m_state = kDfuError;
            m_status = m_pending.result;
        }
        m_pending = Pending{};
        replyState = m_state;
    } else if (m_state == kDfuManifestSync) {
        // Leave: report dfuMANIFEST, then drop off the bus and start the application.
        const std::uint8_t reply[6] = {kStatusOk, 0, 0, 0, kDfuManifest, 0};
        const auto r = Reply(data, wLength, reply);
        EnterMode(Mode::App);
        m_action = m_config.comesBack ? BusAction::Reenumerate : BusAction::Vanish;
        return r;
    }
    const std::uint8_t reply[6] = {m_state == kDfuError ? m_status : std::uint8_t{kStatusOk},
                                   static_cast<std::uint8_t>(poll & 0xFF),
                                   static_cast<std::uint8_t>((poll >> 8) & 0xFF),
                                   static_cast<std::uint8_t>((poll >> 16) & 0xFF),
                                   replyState,
                                   0};
    return Reply(data, wLength, reply);
}

TransferResult VirtualDevice::Upload(const usb::SetupPacket& setup, std::span<std::uint8_t> data)
{
    const std::size_t length = setup.wLength;
    const std::uint16_t block = setup.wValue;
    const Fault* fault =
        block >= 2 ? CountRequest({RequestKind::Upload, RequestKind::Read}) : CountRequest({RequestKind::Upload});
    if (fault) {
        return ApplyFault(*fault);
    }
    if ((m_state != kDfuIdle && m_state != kDfuUploadIdle) || length == 0 || length > kTransferSize || block == 1) {
        return Stall();
    }
    if (block == 0) {
        const std::uint8_t commands[4] = {0x00, 0x21, 0x41, 0x92};
        const auto r = Reply(data, length, commands);
        m_state = r.length < length ? kDfuIdle : kDfuUploadIdle;
        return r;
    }
    if (ReadProtected()) {
        Stall();
        m_status = kErrVendor;
        return {Status::Pipe, 0};
    }
    const std::uint64_t address = std::uint64_t{m_addressPointer} + std::uint64_t{block - 2u} * kTransferSize;
    std::span<const std::uint8_t> region;
    std::uint64_t base = 0;
    if (InFlash(address, 1)) {
        if (!FlashUsable()) {
            Stall();
            m_status = kErrUnknown;
            return {Status::Pipe, 0};
        }
        region = m_flash;
        base = kFlashBase;
    } else if (InOptionBytes(address, 1)) {
        region = m_optionBytes;
        base = kOptionBytesBase;
    } else if (InDataFlash(address, 1)) {
        region = m_dataFlash;
        base = kDataFlashBase;
    } else {
        Stall();
        m_status = kErrAddress;
        return {Status::Pipe, 0};
    }
    const auto r = Reply(data, length, region.subspan(static_cast<std::size_t>(address - base)));
    m_state = r.length < length ? kDfuIdle : kDfuUploadIdle;
    return r;
}

} // namespace nemora::sim
