#pragma once

// Opening a device for the transfer workflows: its descriptors, the DFU version window, whether the path
// names its DFU-mode interface, and its memory map. The engine window and nemora-cli open devices this way.

#include "dfuse/dfuse_contract.h"
#include "dfuse/transfer_job.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace nemora::dfuse {

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

// Opens the device, reads and checks its descriptors and, in DFU mode, its memory map into `link`, then
// closes it. `whileOpen` (optional) runs on a good link before the device is closed.
LinkOutcome OpenDeviceLink(IDfuseLibrary& library, const std::string& devicePath, DeviceLink& link,
                           LinkDescriptors& descriptors, const std::function<void(DfuDeviceHandle)>& whileOpen = {});

} // namespace nemora::dfuse
