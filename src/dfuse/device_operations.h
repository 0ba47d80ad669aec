#pragma once

// The device as the transfer workflows reach it: open the link (descriptors, protocol version, memory
// map, read protection), and the background operations (leave, upload, erase, download) on images
// passed and returned as values. Nothing here knows of files or handles: what a workflow hands to an
// operation is exactly what the operation sends, and what an upload read comes back as a copy.
//
// Threads: every call is made from the caller's thread; operations run on threads of their own and
// exchange nothing with the caller but copies. `onFinished`, when given, is called once from the
// operation's thread when its work has ended; it must only signal.

#include "dfuse/dfu_file.h"
#include "dfuse/dfuse_contract.h"
#include "dfuse/memory_map.h"
#include "usb/transport.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nemora::dfuse {

// What opening a device told of it.
struct DeviceLink {
    std::string devicePath;
    // iSerialNumber's text; empty when the device has none or the implementation cannot ask.
    std::string serial;
    // "%04X" of the descriptor's idVendor, idProduct and bcdDevice; empty when the device is not in DFU mode.
    std::string devVid, devPid, devBcd;
    // The descriptor values themselves, for the headers of files made from the device.
    std::uint16_t vid = 0, pid = 0, bcdDevice = 0;
    std::vector<MappingTarget> mapping;
    // The option-byte probe found the flash read-protected: uploads of it fail.
    bool readProtected = false;
};

enum class LinkOutcome {
    Ok,                 // reachable; with a memory map when the path names the DFU-mode interface
    NotOpened,          // the device cannot be opened
    NoDeviceDescriptor, // "Unable to get descriptors... Bad Firmware"
    NoDfuDescriptor,    // "Unable to get DFU descriptor... Bad Firmware"
    BadVersion,         // bcdDFUVersion outside 0x011A..0x011F: "Bad Updating protocol version. Should be 1.1A"
    NoVersion,          // bcdDFUVersion 0: refused without a word
    NoMapping,          // "Unable to find or decode device mapping... Bad Firmware"
};

struct LinkDescriptors {
    std::array<std::uint8_t, 18> device{};    // idVendor at byte 8, idProduct at 10, bcdDevice at 12
    std::array<std::uint8_t, 9> dfu{};        // bcdDFUVersion at byte 7
    std::uint32_t failedCode = STDFU_NOERROR; // the library's code of the call that failed, if one did
};

class DeviceOperations {
public:
    virtual ~DeviceOperations() = default;

    // Opens the device, reads and checks its descriptors and, in DFU mode, its memory map; when the map
    // has an option-byte target (alternate 0 or 1), probes whether the flash is read-protected; then
    // closes it. `link` is filled as far as the outcome allows.
    virtual LinkOutcome OpenLink(const std::string& devicePath, DeviceLink& link, LinkDescriptors& descriptors) = 0;

    // The device at `devicePath` as the transport listed it (ids and serial number), found without opening
    // it: its lock is named before anything is sent. Nothing when it is not listed or nothing lists devices.
    virtual std::optional<usb::DeviceInfo> ListedDevice(const std::string& devicePath) = 0;

    // Starts one operation (OPERATION_RETURN, _UPLOAD, _ERASE or _UPGRADE of dfuse_operations.h) on the
    // device at `devicePath` with `image`: the areas to read, the sectors to erase, the bytes to write, or
    // the address to leave through. Returns STDFUPRT_NOERROR with the handle, or the launch's code and
    // nothing running.
    virtual std::uint32_t StartOperation(std::uint32_t operation, const std::string& devicePath, Image image,
                                         std::function<void()> onFinished, DfuOperationHandle* phOperation) = 0;
    // A copy of the running operation's record: percent, and on failure the error, request and status.
    virtual std::uint32_t OperationStatus(DfuOperationHandle hOperation, DFUThreadContext* pContext) = 0;
    // Ends the operation at any moment, waits for its thread and returns its final record. For an upload
    // that finished, `pRead` (optional) receives the image with the bytes read. The handle is released.
    virtual std::uint32_t FinishOperation(DfuOperationHandle hOperation, DFUThreadContext* pContext, Image* pRead) = 0;
};

} // namespace nemora::dfuse
