#pragma once

// A device coming back after it left update mode, as nemora-cli's `leave` and the console's "Disconnect"
// follow it: the same device, found by its serial number (or its port when it has none), in application
// mode, or in update mode once it has been away (a firmware that did not start brings it back so).

#include "usb/transport.h"

#include <optional>
#include <string>
#include <vector>

namespace nemora::device {

// The same device: by serial number, or by port when neither has one.
bool SameDevice(const usb::DeviceInfo& a, const usb::DeviceInfo& b);

class ReturnWatch {
public:
    explicit ReturnWatch(usb::DeviceInfo left) : m_left(std::move(left)) {}

    // The device back in this listing, if it is.
    std::optional<usb::DeviceInfo> Look(const std::vector<usb::DeviceInfo>& listed);
    const usb::DeviceInfo& Left() const { return m_left; }

private:
    usb::DeviceInfo m_left;
    bool m_away = false; // a listing without it came: update mode counts as back then
};

// "Product 01 is back in application mode, firmware 1.3".
std::string BackText(const usb::DeviceInfo& back);
// "Product 01 did not come back within 10 s: unplug it and plug it in again".
std::string NotBackText(const usb::DeviceInfo& left, long long seconds);

} // namespace nemora::device
