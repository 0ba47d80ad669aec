#include "dfuse/device_link.h"

#include "dfuse/dfuse_commands.h"
#include "usb/transport.h"

#include <array>
#include <cstdio>

namespace nemora::dfuse {
namespace {

std::uint16_t Le16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::string Hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", unsigned{value});
    return text;
}

LinkOutcome Check(IDfuseLibrary& library, DfuDeviceHandle hDevice, const std::string& devicePath, DeviceLink& link,
                  LinkDescriptors& descriptors)
{
    if ((descriptors.failedCode = library.STDFU_GetDeviceDescriptor(hDevice, descriptors.device)) != STDFU_NOERROR) {
        return LinkOutcome::NoDeviceDescriptor;
    }
    descriptors.dfu.fill(0);
    std::uint32_t interfaceNumber = 0;
    std::uint32_t alternates = 0;
    if ((descriptors.failedCode = library.STDFU_GetDFUDescriptor(hDevice, &interfaceNumber, &alternates,
                                                                 descriptors.dfu)) != STDFU_NOERROR) {
        return LinkOutcome::NoDfuDescriptor;
    }
    const std::uint16_t version = Le16(&descriptors.dfu[7]);
    if (!IsSupportedDfuVersion(version)) {
        return version == 0 ? LinkOutcome::NoVersion : LinkOutcome::BadVersion;
    }
    link.vid = Le16(&descriptors.device[8]);
    link.pid = Le16(&descriptors.device[10]);
    link.bcdDevice = Le16(&descriptors.device[12]);
    if (usb::ModeOfPath(devicePath) != usb::InterfaceMode::Dfu) {
        return LinkOutcome::Ok; // another interface of the device (application mode): reachable, nothing to map
    }
    link.devVid = Hex4(link.vid);
    link.devPid = Hex4(link.pid);
    link.devBcd = Hex4(link.bcdDevice);
    if ((descriptors.failedCode = library.STDFUPRT_CreateMappingFromDevice(devicePath, &link.mapping)) !=
        STDFUPRT_NOERROR) {
        link.mapping.clear();
        return LinkOutcome::NoMapping;
    }
    return LinkOutcome::Ok;
}

// Bounds the status polls that wait for dfuIDLE, so a device that never gets there cannot hang the caller.
constexpr int kMaxIdleAttempts = 16;

bool WaitForIdle(IDfuseLibrary& library, DfuDeviceHandle hDevice)
{
    DFUSTATUS status;
    if (library.STDFU_Getstatus(hDevice, &status) != STDFU_NOERROR) {
        return false;
    }
    for (int i = 0; status.bState != STATE_DFU_IDLE; ++i) {
        if (i == kMaxIdleAttempts) {
            return false;
        }
        library.STDFU_Clrstatus(hDevice);
        if (library.STDFU_Getstatus(hDevice, &status) != STDFU_NOERROR) {
            return false;
        }
    }
    return true;
}

bool HasOptionBytesTarget(const std::vector<MappingTarget>& mapping)
{
    return (mapping.size() > 0 && mapping[0].szName == kOptionBytesTargetName) ||
           (mapping.size() > 1 && mapping[1].szName == kOptionBytesTargetName);
}

} // namespace

std::optional<OptionByteFamily> OptionByteFamilyFor(std::uint32_t firstSectorAddress)
{
    static constexpr OptionByteFamily kFamilies[] = {
        {1, 0x1FFFF800, 16},
        {2, 0x1FFFC000, 16},
        {3, 0x1FF80000, 32},
    };
    for (const auto& family : kFamilies) {
        if (family.address == firstSectorAddress) {
            return family;
        }
    }
    return std::nullopt;
}

bool ProbeOptionBytes(IDfuseLibrary& library, DfuDeviceHandle hDevice, const std::vector<MappingTarget>& mapping)
{
    std::optional<OptionByteFamily> family;
    if (mapping.size() > 1 && !mapping[1].sectors.empty()) {
        family = OptionByteFamilyFor(mapping[1].sectors[0].dwStartAddress);
    }
    std::array<std::uint8_t, 32> buffer{};

    bool bProtected = false;
    if (library.STDFU_SelectCurrentConfiguration(hDevice, 0, 0, 1) == STDFU_NOERROR) {
        if (!WaitForIdle(library, hDevice)) {
            return false;
        }
        const auto command = SetAddressCommand(0x08000000);
        library.STDFU_Dnload(hDevice, command.data(), static_cast<std::uint32_t>(command.size()), 0);
        if (!WaitForIdle(library, hDevice)) {
            return false;
        }
        library.STDFU_Upload(hDevice, buffer.data(), 16, 2);
        DFUSTATUS status;
        if (library.STDFU_Getstatus(hDevice, &status) != STDFU_NOERROR) {
            return false;
        }
        bProtected = status.bState == STATE_DFU_ERROR;
        if (status.bState != STATE_DFU_IDLE) {
            library.STDFU_Clrstatus(hDevice);
            if (!WaitForIdle(library, hDevice)) {
                return bProtected;
            }
        }
    }

    if (!bProtected && family && library.STDFU_SelectCurrentConfiguration(hDevice, 0, 0, 1) == STDFU_NOERROR) {
        if (!WaitForIdle(library, hDevice)) {
            return false;
        }
        const auto command = SetAddressCommand(family->address);
        library.STDFU_Dnload(hDevice, command.data(), static_cast<std::uint32_t>(command.size()), 0);
        if (!WaitForIdle(library, hDevice)) {
            return false;
        }
        library.STDFU_Upload(hDevice, buffer.data(), family->readLength, 2);
    }
    return bProtected;
}

LinkOutcome OpenDeviceLink(IDfuseLibrary& library, const std::string& devicePath, DeviceLink& link,
                           LinkDescriptors& descriptors, const std::function<void(DfuDeviceHandle)>& whileOpen)
{
    link = DeviceLink{};
    link.devicePath = devicePath;
    DfuDeviceHandle hDevice = nullptr;
    if ((descriptors.failedCode = library.STDFU_Open(devicePath, &hDevice)) != STDFU_NOERROR) {
        return LinkOutcome::NotOpened;
    }
    const LinkOutcome outcome = Check(library, hDevice, devicePath, link, descriptors);
    if (outcome == LinkOutcome::Ok && HasOptionBytesTarget(link.mapping)) {
        link.readProtected = ProbeOptionBytes(library, hDevice, link.mapping);
    }
    if (outcome == LinkOutcome::Ok && whileOpen) {
        whileOpen(hDevice);
    }
    library.STDFU_Close(&hDevice);
    return outcome;
}

} // namespace nemora::dfuse
