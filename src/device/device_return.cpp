#include "device/device_return.h"

#include "device/device_identity.h"
#include "i18n/translate.h"

namespace nemora::device {

namespace {

// The model as the console shows it.
std::string ShownModel(const CatalogueNames& names)
{
    return names.catalogued ? names.model : UnknownModelNameText();
}

} // namespace

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
    return i18n::Fill(back.mode == usb::InterfaceMode::Application
                          ? nemora::i18n::Tr("DeviceReturn", "%1 is back in application mode, firmware %2")
                          : nemora::i18n::Tr("DeviceReturn", "%1 is back in update mode, firmware %2"),
                      {ShownModel(names), names.firmware});
}

std::string NotBackText(const usb::DeviceInfo& left, long long seconds)
{
    return i18n::Fill(
        nemora::i18n::Tr("DeviceReturn", "%1 did not come back within %2 s: unplug it and plug it in again"),
        {ShownModel(NamesOf(left.vid, left.pid, left.bcdDevice)), std::to_string(seconds)});
}

} // namespace nemora::device
