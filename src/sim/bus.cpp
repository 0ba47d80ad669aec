#include "sim/bus.h"

#include <charconv>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

namespace nemora::sim {

std::size_t ParseControlLines(std::string_view chunk, std::vector<ControlCommand>& commands)
{
    std::size_t start = 0;
    while (true) {
        const auto newline = chunk.find('\n', start);
        if (newline == std::string_view::npos) {
            break; // an incomplete last line waits for its end
        }
        const std::string_view line = chunk.substr(start, newline - start);
        start = newline + 1;
        if (line.rfind("plug ", 0) == 0) {
            std::string error;
            if (auto config = ParseDeviceConfig(line.substr(5), error)) {
                commands.push_back({ControlCommand::Kind::Plug, std::move(*config), 0, Mode::Dfu});
            }
        } else if (line.rfind("unplug ", 0) == 0) {
            unsigned location = 0;
            const char* first = line.data() + 7;
            const char* last = line.data() + line.size();
            const auto [end, parseError] = std::from_chars(first, last, location);
            if (parseError == std::errc() && end == last) {
                commands.push_back({ControlCommand::Kind::Unplug, {}, location, Mode::Dfu});
            }
        } else if (line.rfind("mode ", 0) == 0) {
            unsigned location = 0;
            const char* first = line.data() + 5;
            const char* last = line.data() + line.size();
            const auto [end, parseError] = std::from_chars(first, last, location);
            const std::string_view mode(end, static_cast<std::size_t>(last - end));
            if (parseError == std::errc() && (mode == " dfu" || mode == " app")) {
                commands.push_back({ControlCommand::Kind::Mode, {}, location, mode == " dfu" ? Mode::Dfu : Mode::App});
            }
        } else if (line == "reset") {
            commands.push_back({ControlCommand::Kind::Reset, {}, 0, Mode::Dfu});
        }
    }
    return start;
}

std::unique_ptr<Bus> Bus::Create(const std::vector<DeviceConfig>& devices, Clock& clock, std::string controlPath,
                                 std::string& error)
{
    std::unique_ptr<Bus> bus(new Bus(clock, std::move(controlPath)));
    bus->m_initial = devices;
    std::lock_guard lock(bus->m_mutex);
    for (const DeviceConfig& config : devices) {
        if (bus->PlugLocked(config, false, error) == 0) {
            return nullptr;
        }
    }
    bus->PollControlLocked();
    bus->m_events.clear(); // devices present from the start are not arrivals
    return bus;
}

std::string Bus::LocationText(unsigned location)
{
    return "1-" + std::to_string(location);
}

unsigned Bus::PlugLocked(const DeviceConfig& config, bool fromControl, std::string& error)
{
    unsigned location = 1;
    while (m_devices.count(location) != 0) {
        ++location;
    }
    auto device = VirtualDevice::Create(config, m_clock, location, error);
    if (!device) {
        return 0;
    }
    device->SetDeferWire(true); // spent by With(), outside the bus's lock
    const Mode mode = device->CurrentMode();
    m_devices[location] = Slot{std::move(device), m_nextGeneration++, fromControl, mode};
    m_events.push_back({true, location});
    m_wake.notify_all();
    return location;
}

bool Bus::UnplugLocked(unsigned location)
{
    auto it = m_devices.find(location);
    if (it == m_devices.end()) {
        return false;
    }
    m_retiredFloor += it->second.device->Floor();
    m_devices.erase(it);
    m_events.push_back({false, location});
    m_wake.notify_all();
    return true;
}

unsigned Bus::Plug(const DeviceConfig& config, std::string& error)
{
    std::lock_guard lock(m_mutex);
    return PlugLocked(config, false, error);
}

bool Bus::Unplug(unsigned location)
{
    std::lock_guard lock(m_mutex);
    return UnplugLocked(location);
}

void Bus::FinishCall(unsigned location)
{
    auto it = m_devices.find(location);
    if (it == m_devices.end()) {
        return;
    }
    switch (it->second.device->TakeBusAction()) {
    case BusAction::None:
        break;
    case BusAction::Vanish:
        UnplugLocked(location);
        break;
    case BusAction::Reenumerate:
        it->second.generation = m_nextGeneration++;
        m_events.push_back({false, location});
        m_events.push_back({true, location});
        m_wake.notify_all();
        if (const Mode now = it->second.device->CurrentMode(); now != it->second.mode) {
            // Left DFU mode or detached: a device state every process shares.
            it->second.mode = now;
            AppendControl("mode " + std::to_string(location) + (now == Mode::Dfu ? " dfu" : " app"));
        }
        break;
    }
}

void Bus::RestartLocked(unsigned location, Mode mode)
{
    auto it = m_devices.find(location);
    if (it == m_devices.end() || it->second.mode == mode || it->second.device->CurrentMode() == Mode::Other) {
        return;
    }
    it->second.device->RestartIn(mode);
    it->second.mode = mode;
    it->second.generation = m_nextGeneration++;
    m_events.push_back({false, location});
    m_events.push_back({true, location});
    m_wake.notify_all();
}

void Bus::AppendControl(const std::string& line)
{
    if (m_controlPath.empty()) {
        return;
    }
    // One write of a whole line with O_APPEND: lines of several processes never interleave. A failure
    // leaves the other processes where they were, nothing more.
    const int fd = ::open(m_controlPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    const std::string text = line + '\n';
    [[maybe_unused]] const auto written = ::write(fd, text.data(), text.size());
    ::close(fd);
}

std::vector<BusEntry> Bus::Devices()
{
    std::lock_guard lock(m_mutex);
    PollControlLocked();
    return DevicesLocked();
}

std::pair<std::vector<BusEvent>, std::vector<BusEntry>> Bus::TakeEventsAndDevices()
{
    std::lock_guard lock(m_mutex);
    PollControlLocked();
    std::vector<BusEvent> events;
    events.swap(m_events);
    return {std::move(events), DevicesLocked()};
}

std::vector<BusEntry> Bus::DevicesLocked() const
{
    std::vector<BusEntry> out;
    for (const auto& [location, slot] : m_devices) {
        const DeviceConfig& c = slot.device->Config();
        out.push_back({location, slot.device->CurrentMode(), c.vid, c.pid, c.bcdFor(slot.device->CurrentMode()),
                       slot.generation, slot.device->Serial()});
    }
    return out;
}

std::vector<BusEvent> Bus::TakeEvents()
{
    std::lock_guard lock(m_mutex);
    PollControlLocked();
    std::vector<BusEvent> out;
    out.swap(m_events);
    return out;
}

bool Bus::WaitForEvents(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        PollControlLocked();
        if (!m_events.empty()) {
            return true;
        }
        if (m_interrupted) {
            m_interrupted = false;
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        auto slice = deadline - now;
        if (!m_controlPath.empty()) {
            slice = std::min<std::chrono::steady_clock::duration>(slice, std::chrono::milliseconds(50));
        }
        m_wake.wait_for(lock, slice);
    }
}

void Bus::Interrupt()
{
    std::lock_guard lock(m_mutex);
    m_interrupted = true;
    m_wake.notify_all();
}

Nanos Bus::Floor()
{
    std::lock_guard lock(m_mutex);
    Nanos total = m_retiredFloor;
    for (const auto& [location, slot] : m_devices) {
        total += slot.device->Floor();
    }
    return total;
}

void Bus::ResetLocked()
{
    // Drop what the control file plugged, and bring back the listed devices that it unplugged.
    std::vector<unsigned> plugged;
    for (const auto& [location, slot] : m_devices) {
        if (slot.fromControl) {
            plugged.push_back(location);
        }
    }
    for (const unsigned location : plugged) {
        UnplugLocked(location);
    }
    for (std::size_t i = 0; i < m_initial.size(); ++i) {
        const auto location = static_cast<unsigned>(i + 1);
        if (m_devices.count(location) == 0) {
            std::string ignored;
            auto device = VirtualDevice::Create(m_initial[i], m_clock, location, ignored);
            if (device) {
                device->SetDeferWire(true);
                const Mode mode = device->CurrentMode();
                m_devices[location] = Slot{std::move(device), m_nextGeneration++, false, mode};
                m_events.push_back({true, location});
            }
        } else {
            RestartLocked(location, m_initial[i].mode);
        }
    }
    m_wake.notify_all();
}

void Bus::PollControlLocked()
{
    if (m_controlPath.empty()) {
        return;
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(m_controlPath, ec);
    if (ec) {
        return; // no control file yet
    }
    if (size < m_controlOffset) {
        // The file was emptied: start over from the listed devices.
        m_controlOffset = 0;
        ResetLocked();
    }
    if (size == m_controlOffset) {
        return;
    }
    std::ifstream in(m_controlPath, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(m_controlOffset));
    std::string chunk(static_cast<std::size_t>(size - m_controlOffset), '\0');
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    chunk.resize(static_cast<std::size_t>(in.gcount()));
    std::vector<ControlCommand> commands;
    const std::size_t taken = ParseControlLines(chunk, commands);
    for (const ControlCommand& command : commands) {
        switch (command.kind) {
        case ControlCommand::Kind::Plug: {
            std::string error;
            PlugLocked(command.device, true, error);
            break;
        }
        case ControlCommand::Kind::Unplug:
            UnplugLocked(command.location);
            break;
        case ControlCommand::Kind::Mode:
            RestartLocked(command.location, command.mode);
            break;
        case ControlCommand::Kind::Reset:
            ResetLocked();
            break;
        }
    }
    m_controlOffset += taken;
}

} // namespace nemora::sim
