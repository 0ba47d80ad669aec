#pragma once

// The virtual USB bus: the devices present, where they sit, and the arrivals and removals between
// enumerations. Shared by the in-process transport and the libusb stand-in. Thread-safe: one mutex
// serialises every device call.
//
// Plugging from another process goes through a control file (see ControlFile below): each line is a
// command, appended with O_APPEND; every bus replays the file from its start, so a device plugged before
// a program started is there too.

#include "sim/clock.h"
#include "sim/sim_config.h"
#include "sim/virtual_device.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nemora::sim {

struct BusEvent {
    bool arrival = true;
    unsigned location = 0;
};

struct BusEntry {
    unsigned location = 0;
    Mode mode = Mode::Dfu;
    std::uint16_t vid = 0, pid = 0, bcd = 0;
    std::uint64_t generation = 0; // changes whenever the device (re-)enumerates
    std::string serial;
};

// One line of the control file, parsed.
struct ControlCommand {
    enum class Kind { Plug, Unplug, Mode, Reset };
    Kind kind = Kind::Reset;
    DeviceConfig device;   // Plug
    unsigned location = 0; // Unplug, Mode
    Mode mode = Mode::Dfu; // Mode: Dfu or App
};

// Parses the complete lines of a piece of the control file into `commands`, in order, skipping malformed
// ones. Returns the bytes taken: an incomplete last line is left for when its end has been written.
std::size_t ParseControlLines(std::string_view chunk, std::vector<ControlCommand>& commands);

// Control-file commands, one per line:
//   plug DEVICE      DEVICE as one NEMORA_SIM device ("mode=app,bcd=0x0300")
//   unplug N         the device at location N
//   mode N MODE      the device at location N restarted in MODE (dfu or app); a bus writes this itself when
//                    one of its devices leaves DFU mode or detaches, so that every other process (and every
//                    later one) sees the device in the mode it is now in
//   reset            back to the devices NEMORA_SIM lists, in their listed modes (`scripts/virtual-usb reset`)
// Malformed lines are skipped.
class Bus {
public:
    // Fails (nullptr, `error` set) when a device cannot be created, e.g. its flash file is unusable.
    // `controlPath` may be empty: no control file.
    static std::unique_ptr<Bus> Create(const std::vector<DeviceConfig>& devices, Clock& clock, std::string controlPath,
                                       std::string& error);

    // Present devices by location (after reading new control-file commands).
    std::vector<BusEntry> Devices();

    // Plug a device at the lowest free location; returns the location, or 0 with `error`.
    unsigned Plug(const DeviceConfig& config, std::string& error);
    // Unplug; false when nothing is at that location.
    bool Unplug(unsigned location);

    // Runs fn(VirtualDevice&) under the lock if the device at `location` is present with `generation`
    // (any generation when it is 0), then carries out what the device asked for (vanish, re-enumerate).
    // Returns false when there is no such device.
    template <class F>
    bool With(unsigned location, std::uint64_t generation, F&& fn)
    {
        std::unique_lock lock(m_mutex);
        // A device unplugged from another process goes away at its next request, even mid-transfer
        // (a size check of the control file; it is read only when it grew).
        PollControlLocked();
        auto it = m_devices.find(location);
        if (it == m_devices.end() || (generation != 0 && it->second.generation != generation)) {
            return false;
        }
        fn(*it->second.device);
        const Nanos wire = it->second.device->TakeOwedWire();
        FinishCall(location);
        // Each device sits on a port of its own: its wire time does not hold up the others.
        lock.unlock();
        if (wire > Nanos{0})
            m_clock.Sleep(wire);
        return true;
    }

    // Arrivals and removals since the last call, in order.
    std::vector<BusEvent> TakeEvents();
    // Both at one moment: the events taken explain the devices listed, and a device plugged meanwhile is in
    // neither (it comes with the next call), so no arrival is lost between the two.
    std::pair<std::vector<BusEvent>, std::vector<BusEntry>> TakeEventsAndDevices();
    // Waits until an event is pending, Interrupt() is called or the timeout passes (real time; the control
    // file is read every 50 ms meanwhile). True when events are pending.
    bool WaitForEvents(std::chrono::milliseconds timeout);
    void Interrupt();

    // Sum of the floors of every device that was ever on this bus.
    Nanos Floor();

    // "1-N": the location as it appears in device paths.
    static std::string LocationText(unsigned location);

private:
    struct Slot {
        std::unique_ptr<VirtualDevice> device;
        std::uint64_t generation = 0;
        bool fromControl = false;
        Mode mode = Mode::Dfu; // the mode the device last enumerated in
    };

    Bus(Clock& clock, std::string controlPath) : m_clock(clock), m_controlPath(std::move(controlPath)) {}
    unsigned PlugLocked(const DeviceConfig& config, bool fromControl, std::string& error);
    bool UnplugLocked(unsigned location);
    void FinishCall(unsigned location);
    void PollControlLocked();
    // Present devices by location. Caller holds m_mutex.
    std::vector<BusEntry> DevicesLocked() const;
    void ResetLocked();
    void RestartLocked(unsigned location, Mode mode);
    void AppendControl(const std::string& line);

    Clock& m_clock;
    std::string m_controlPath;
    std::uintmax_t m_controlOffset = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_interrupted = false;
    std::map<unsigned, Slot> m_devices;
    std::vector<DeviceConfig> m_initial;
    std::vector<BusEvent> m_events;
    std::uint64_t m_nextGeneration = 1;
    Nanos m_retiredFloor{0};
};

} // namespace nemora::sim
