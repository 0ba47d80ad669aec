#include "dfuse/device_link.h"

#include "dfuse/dfuse_commands.h"
#include "usb/transport.h"

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

} // namespace

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
    if (outcome == LinkOutcome::Ok && whileOpen) {
        whileOpen(hDevice);
    }
    library.STDFU_Close(&hDevice);
    return outcome;
}

} // namespace nemora::dfuse
