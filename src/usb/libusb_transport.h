#pragma once

// Real USB through libusb-1.0.
//
// Lists DFU interfaces (class 0xFE, subclass 1) from the descriptors the system already holds, so a
// device the user may not open is still listed. Paths are "USB:<bus>-<port.port...>:VID_xxxx&PID_xxxx#{GUID}",
// e.g. "USB:3-1.4:VID_0483&PID_DF11#{3FE809AB-FB91-4CB5-A643-69670D52366E}"; events carry the same
// "<bus>-<ports>" location.
//
// Events come from libusb's hotplug callbacks where the platform has them (the callback only queues the
// event; WaitForEvents() runs libusb's event handling), otherwise from comparing the device list about
// once a second while a thread waits in WaitForEvents(). Serial numbers are read when a device is first
// listed; one that cannot be opened is listed with none.

#include "usb/transport.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace nemora::usb {

struct LibusbOptions {
    bool forcePolling = false;                    // ignore libusb's hotplug support and compare device lists instead
    std::chrono::milliseconds pollInterval{1000}; // between two device lists when polling
};

class LibusbTransport final : public Transport {
public:
    // Starts a libusb context. nullptr with a message in `error` when libusb cannot start.
    static std::unique_ptr<LibusbTransport> Create(std::string& error, LibusbOptions options = {});
    ~LibusbTransport() override;

    Capabilities GetCapabilities() const override;
    Status Enumerate(std::vector<DeviceInfo>& out) override;
    Status Open(std::string_view path, std::unique_ptr<DeviceHandle>& out) override;
    std::vector<DeviceEvent> WaitForEvents(std::chrono::milliseconds timeout) override;
    void Interrupt() override;

    struct State; // shared with open handles, which keep the libusb context alive

private:
    explicit LibusbTransport(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    std::vector<DeviceEvent> WaitForHotplug(std::chrono::milliseconds timeout);
    std::vector<DeviceEvent> WaitByPolling(std::chrono::milliseconds timeout);

    std::shared_ptr<State> m_state;
    // Serial numbers asked once per device: by location and bus address (a new address after every
    // re-enumeration), so listing does not talk to a device again while it works.
    std::mutex m_serialMutex;
    std::map<std::string, std::string> m_serials;
};

// libusb's error code as a transport status (LIBUSB_ERROR_PIPE -> Pipe, ...; anything unknown -> Io).
Status StatusFromLibusb(int code);

} // namespace nemora::usb
