#pragma once

// The in-process transport over virtual devices: what the console and nemora-cli use when NEMORA_SIM is
// set. Besides the Transport interface it offers tests a way to plug, unplug and look inside devices.

#include "sim/bus.h"
#include "sim/clock.h"
#include "sim/sim_config.h"
#include "usb/transport.h"

#include <memory>
#include <string>
#include <vector>

namespace nemora::sim {

class SimTransport final : public usb::Transport {
public:
    // `clock` may be null: real time. The clock must outlive the transport. Handles must not outlive it.
    static std::unique_ptr<SimTransport> Create(const std::vector<DeviceConfig>& devices, std::string controlPath,
                                                std::string& error, Clock* clock = nullptr);

    usb::Capabilities GetCapabilities() const override;
    usb::Status Enumerate(std::vector<usb::DeviceInfo>& out) override;
    usb::Status Open(std::string_view path, std::unique_ptr<usb::DeviceHandle>& out) override;
    std::vector<usb::DeviceEvent> WaitForEvents(std::chrono::milliseconds timeout) override;
    void Interrupt() override;
    std::optional<std::chrono::nanoseconds> TimingFloor() const override;

    // --- for tests ---
    Bus& GetBus() { return *m_bus; }
    // Plug a device written like one NEMORA_SIM entry; returns its location, or 0 with `error`.
    unsigned Plug(std::string_view device, std::string& error);
    bool Unplug(unsigned location) { return m_bus->Unplug(location); }
    // A copy of the main flash of the device at `location`; nothing when no device is there.
    std::optional<std::vector<std::uint8_t>> Flash(unsigned location);
    // Location number of a path's device ("USB:1-3:..." gives 3), 0 when it is not one of ours.
    static unsigned LocationOfPath(std::string_view path);

private:
    SimTransport() = default;
    std::unique_ptr<SteadyClock> m_ownClock;
    std::shared_ptr<Bus> m_bus;
};

// Where plug and unplug commands for this user's virtual devices go: NEMORA_SIM_CONTROL, else
// $XDG_RUNTIME_DIR/nemora-sim.control, else /tmp/nemora-sim-$USER.control.
std::string DefaultControlPath();

// The transport NEMORA_SIM asks for. Returns nullptr with an empty `error` when NEMORA_SIM is not set,
// and nullptr with a message naming the bad value when it cannot be used.
std::unique_ptr<usb::Transport> CreateTransportFromEnvironment(std::string& error);

} // namespace nemora::sim
