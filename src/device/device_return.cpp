#include "device/device_return.h"

#include "device/device_identity.h"

namespace nemora::device {

bool SameDevice(const usb::DeviceInfo& a, const usb::DeviceInfo& b)
{
    if (a.serial.empty() && b.serial.empty())
        return !usb::LocationOfPath(a.path).empty() && usb::LocationOfPath(a.path) == usb::LocationOfPath(b.path);
    return a.serial == b.serial;
}

std::optional<usb::DeviceInfo> ReturnWatch::Look(const std::vector<usb::DeviceInfo>& listed)
{
    bool present = false;
    for (const usb::DeviceInfo& d : listed) {
        if (!SameDevice(d, m_left))
            continue;
        present = true;
        if (d.mode == usb::InterfaceMode::Application || m_away)
            return d;
    }
    m_away = m_away || !present;
    return std::nullopt;
}

std::string BackText(const usb::DeviceInfo& back)
{
    const CatalogueNames names = NamesOf(back.vid, back.pid, back.bcdDevice);
    return names.model + " is back in " +
           (back.mode == usb::InterfaceMode::Application ? "application mode" : "update mode") + ", firmware " +
           names.firmware;
}

std::string NotBackText(const usb::DeviceInfo& left, long long seconds)
{
    return NamesOf(left.vid, left.pid, left.bcdDevice).model + " did not come back within " + std::to_string(seconds) +
           " s: unplug it and plug it in again";
}

} // namespace nemora::device
