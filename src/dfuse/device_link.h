#pragma once

// Opening a device for the transfer workflows over the library contract: its descriptors, the DFU version
// window, whether the path names its DFU-mode interface, its memory map and, when the map has an
// option-byte target, the option-byte probe that tells whether the flash is read-protected. The engine
// window and nemora-cli open devices this way, so both send the same requests.

#include "dfuse/device_operations.h"
#include "dfuse/dfuse_contract.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace nemora::dfuse {

// Opens the device, reads and checks its descriptors and, in DFU mode, its memory map into `link`, probes
// the option bytes, then closes it. `whileOpen` (optional) runs on a good link before the device is closed.
LinkOutcome OpenDeviceLink(IDfuseLibrary& library, const std::string& devicePath, DeviceLink& link,
                           LinkDescriptors& descriptors, const std::function<void(DfuDeviceHandle)>& whileOpen = {});

// The option-byte families, told apart by the start of the option-byte target's first sector.
struct OptionByteFamily {
    int family = 0;               // 1, 2 or 3
    std::uint32_t address = 0;    // where the option bytes are read
    std::uint32_t readLength = 0; // 16 or 32 bytes
};
std::optional<OptionByteFamily> OptionByteFamilyFor(std::uint32_t firstSectorAddress);

// With the device open: a read of the flash's first bytes through the option-byte target tells whether it
// is read-protected (the device then ends in dfuERROR); an unprotected device of a known family has its
// option bytes read too. The bytes are not kept. True when the device counts as read-protected.
bool ProbeOptionBytes(IDfuseLibrary& library, DfuDeviceHandle hDevice, const std::vector<MappingTarget>& mapping);

} // namespace nemora::dfuse
