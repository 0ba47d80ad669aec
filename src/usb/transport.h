#pragma once

// The USB transport: the one interface through which everything above src/usb reaches a device.
//
// Two implementations exist: real USB through libusb, and the virtual DfuSe devices of src/sim. The
// program picks one at start-up and never asks which one it has; where they differ, Capabilities says so.
//
// Threading: a Transport and the DeviceHandles it opens may be used from several threads at once. Each
// call is complete when it returns; no call invokes user code. Events are never pushed: a caller that
// wants them blocks in WaitForEvents() on a thread of its own (or polls it with a zero timeout).

#include "usb/dfu_interface.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nemora::usb {

// Outcome of a transport call. The values mirror libusb's error classes so both implementations map
// one to one; Pipe is a STALL of the request by the device.
enum class Status {
    Ok,
    Io,           // transfer failed on the wire
    InvalidParam, // the caller passed something meaningless (unknown path form, buffer too small)
    Access,       // no permission to open the device
    NoDevice,     // the device is gone (unplugged, or re-enumerated since it was opened)
    NotFound,     // no such device or interface
    Busy,         // the interface is claimed elsewhere
    Timeout,      // the transfer did not complete within its timeout
    Overflow,     // the device sent more than asked for
    Pipe,         // the device stalled the request
    NotSupported, // the transport cannot do this
};

// Short upper-case name for messages ("NO_DEVICE", "PIPE", ...).
const char* StatusName(Status status);

// Which DFU interface a path names.
enum class InterfaceMode {
    Dfu,         // DFU mode (class 0xFE, subclass 1, protocol 2): the device can be updated
    Application, // DFU run-time interface (protocol 1): the device runs its firmware
};

// One listed device interface.
struct DeviceInfo {
    std::string path; // opaque, upper case, ends with the interface-class GUID
    InterfaceMode mode = InterfaceMode::Dfu;
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::uint16_t bcdDevice = 0;
    std::string serial; // iSerialNumber's text; empty when the device has none or cannot be opened to ask
};

// Arrival or removal of any USB device, listed or not (a mouse counts too).
struct DeviceEvent {
    enum class Kind { Arrival, Removal };
    Kind kind = Kind::Arrival;
    std::string location; // where the device sits, e.g. "1-3"; the same text as in its path
};

// A control request's setup stage. bmRequestType bit 7 gives the direction of the data stage.
struct SetupPacket {
    std::uint8_t bmRequestType = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;

    bool IsDeviceToHost() const { return (bmRequestType & 0x80) != 0; }
};

struct TransferResult {
    Status status = Status::Ok;
    std::size_t length = 0; // bytes moved in the data stage; 0 unless status is Ok
};

// Differences between transports that callers may care about.
struct Capabilities {
    bool hotplugEvents = false; // WaitForEvents() reports arrivals and removals as they happen; when false
                                // the transport polls, so events may come up to a second late
    bool timingFloor = false;   // TimingFloor() returns a value
};

// An opened device. Destroying the handle closes it (and releases claimed interfaces). Once the device
// is unplugged or re-enumerates (after leaving DFU mode, after a detach), every call returns NoDevice;
// open the new path instead.
class DeviceHandle {
public:
    virtual ~DeviceHandle() = default;

    // The 18-byte device descriptor, as the device reports it. Fails with Io when the device will not give
    // descriptors.
    virtual Status GetDeviceDescriptor(std::vector<std::uint8_t>& out) = 0;

    // The whole active configuration (configuration, interface, class-specific and endpoint descriptors;
    // wTotalLength bytes). The DFU functional descriptor (type 0x21) is among them.
    virtual Status GetConfigDescriptor(std::vector<std::uint8_t>& out) = 0;

    // String descriptor `index` in the device's first language, narrowed to ASCII ('?' for anything
    // else). Index 0 is refused with InvalidParam.
    virtual Status GetStringDescriptor(std::uint8_t index, std::string& out) = 0;

    // Claim or release an interface before class requests to it. Claiming twice is harmless.
    virtual Status ClaimInterface(std::uint8_t interfaceNumber) = 0;
    virtual Status ReleaseInterface(std::uint8_t interfaceNumber) = 0;

    // SET_INTERFACE: select an alternate setting of a claimed interface (a DfuSe target).
    virtual Status SetAltSetting(std::uint8_t interfaceNumber, std::uint8_t alternate) = 0;

    // One control transfer on endpoint 0. `data` is the data stage: its size must be at least
    // setup.wLength; for device-to-host requests the reply is written to its front. Returns the bytes
    // moved (an OUT transfer reports setup.wLength), Pipe when the device stalls, Timeout when no answer
    // came within `timeout`, NoDevice when the device is gone.
    virtual TransferResult ControlTransfer(const SetupPacket& setup, std::span<std::uint8_t> data,
                                           std::chrono::milliseconds timeout) = 0;

    // USB port reset. A device waiting for a reset (appDETACH, dfuMANIFEST-WAIT-RESET) re-enumerates;
    // afterwards this handle returns NoDevice. NotFound from here also means the device re-enumerated.
    virtual Status ResetDevice() = 0;
};

class Transport {
public:
    virtual ~Transport() = default;

    virtual Capabilities GetCapabilities() const = 0;

    // Every present DFU interface: DFU-mode interfaces first, then run-time (application) interfaces, each
    // group in a stable order (by location). Devices without a DFU interface are not listed. Never blocks
    // on a device for long: a device that cannot be asked is left out.
    virtual Status Enumerate(std::vector<DeviceInfo>& out) = 0;

    // Open the device a path from Enumerate() names. The path is compared without regard to case.
    // NotFound when no present device has that path (it may have left or changed mode).
    virtual Status Open(std::string_view path, std::unique_ptr<DeviceHandle>& out) = 0;

    // Wait up to `timeout` for arrivals and removals and return them in order (possibly none). A zero
    // timeout only collects what is already pending. Only one thread should wait at a time.
    virtual std::vector<DeviceEvent> WaitForEvents(std::chrono::milliseconds timeout) = 0;

    // Make a WaitForEvents() that is blocked in another thread return soon. Safe from any thread.
    virtual void Interrupt() = 0;

    // For transports whose devices model their own timing: the least time any host could have needed for
    // the requests all devices received so far (the busy times they imposed plus the wire time). Benchmarks
    // compare it with the wall time. Others return nothing.
    virtual std::optional<std::chrono::nanoseconds> TimingFloor() const { return std::nullopt; }
};

// "USB:<location>:VID_xxxx&PID_xxxx#<GUID of the mode>", upper case.
std::string MakeDevicePath(std::string_view location, std::uint16_t vid, std::uint16_t pid, InterfaceMode mode);
// Where a path says its device sits ("1-3.2"); empty when the path does not say.
std::string LocationOfPath(std::string_view path);

// The mode a path names, from its last 38 characters compared without regard to case; nothing when they
// are neither GUID.
std::optional<InterfaceMode> ModeOfPath(std::string_view path);

// ASCII upper case.
std::string ToUpperAscii(std::string_view text);

// The text of a string descriptor (bLength, type 3, UTF-16LE code units) narrowed to ASCII: '?' for every
// code unit outside it. Reads no further than bLength or the bytes given, whichever ends first; nothing
// when the bytes are not a string descriptor.
std::optional<std::string> NarrowStringDescriptor(std::span<const std::uint8_t> descriptor);

} // namespace nemora::usb
