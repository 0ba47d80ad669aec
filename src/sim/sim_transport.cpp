#include "sim/sim_transport.h"

#include <charconv>
#include <cstdlib>

namespace nemora::sim {
namespace {

using usb::Status;

class SimHandle final : public usb::DeviceHandle {
public:
    SimHandle(std::shared_ptr<Bus> bus, unsigned location, std::uint64_t generation)
        : m_bus(std::move(bus)), m_location(location), m_generation(generation)
    {}

    Status GetDeviceDescriptor(std::vector<std::uint8_t>& out) override
    {
        return Call([&](VirtualDevice& d) { return d.GetDeviceDescriptor(out); });
    }
    Status GetConfigDescriptor(std::vector<std::uint8_t>& out) override
    {
        return Call([&](VirtualDevice& d) { return d.GetConfigDescriptor(out); });
    }
    Status GetStringDescriptor(std::uint8_t index, std::string& out) override
    {
        if (index == 0) {
            return Status::InvalidParam;
        }
        std::vector<std::uint8_t> buffer(255);
        const usb::SetupPacket setup{0x80, 0x06, static_cast<std::uint16_t>(0x0300 | index), 0x0409, 255};
        const auto r = ControlTransfer(setup, buffer, std::chrono::milliseconds(1000));
        if (r.status != Status::Ok) {
            return r.status == Status::Pipe ? Status::Io : r.status;
        }
        auto text = usb::NarrowStringDescriptor(std::span(buffer).first(r.length));
        if (!text) {
            return Status::Io;
        }
        out = std::move(*text);
        return Status::Ok;
    }
    Status ClaimInterface(std::uint8_t interfaceNumber) override
    {
        return Call([&](VirtualDevice&) { return interfaceNumber == 0 ? Status::Ok : Status::NotFound; });
    }
    Status ReleaseInterface(std::uint8_t interfaceNumber) override { return ClaimInterface(interfaceNumber); }
    Status SetAltSetting(std::uint8_t interfaceNumber, std::uint8_t alternate) override
    {
        return Call([&](VirtualDevice& d) { return d.SetAltSetting(interfaceNumber, alternate); });
    }
    usb::TransferResult ControlTransfer(const usb::SetupPacket& setup, std::span<std::uint8_t> data,
                                        std::chrono::milliseconds) override
    {
        usb::TransferResult result{Status::NoDevice, 0};
        m_bus->With(m_location, m_generation, [&](VirtualDevice& d) { result = d.Control(setup, data); });
        return result;
    }
    Status ResetDevice() override
    {
        return Call([&](VirtualDevice& d) { return d.Reset(); });
    }

private:
    template <class F>
    Status Call(F&& fn)
    {
        Status status = Status::NoDevice;
        m_bus->With(m_location, m_generation, [&](VirtualDevice& d) { status = fn(d); });
        return status;
    }

    std::shared_ptr<Bus> m_bus;
    unsigned m_location;
    std::uint64_t m_generation;
};

} // namespace

std::unique_ptr<SimTransport> SimTransport::Create(const std::vector<DeviceConfig>& devices, std::string controlPath,
                                                   std::string& error, Clock* clock)
{
    std::unique_ptr<SimTransport> transport(new SimTransport());
    if (clock == nullptr) {
        transport->m_ownClock = std::make_unique<SteadyClock>();
        clock = transport->m_ownClock.get();
    }
    auto bus = Bus::Create(devices, *clock, std::move(controlPath), error);
    if (!bus) {
        return nullptr;
    }
    transport->m_bus = std::move(bus);
    return transport;
}

usb::Capabilities SimTransport::GetCapabilities() const
{
    return {true, true};
}

usb::Status SimTransport::Enumerate(std::vector<usb::DeviceInfo>& out)
{
    out.clear();
    const auto devices = m_bus->Devices();
    for (const Mode wanted : {Mode::Dfu, Mode::App}) {
        for (const BusEntry& e : devices) {
            if (e.mode == wanted) {
                const auto mode = wanted == Mode::Dfu ? usb::InterfaceMode::Dfu : usb::InterfaceMode::Application;
                out.push_back({usb::MakeDevicePath(Bus::LocationText(e.location), e.vid, e.pid, mode), mode, e.vid,
                               e.pid, e.bcd, e.serial});
            }
        }
    }
    return Status::Ok;
}

usb::Status SimTransport::Open(std::string_view path, std::unique_ptr<usb::DeviceHandle>& out)
{
    const std::string wanted = usb::ToUpperAscii(path);
    for (const BusEntry& e : m_bus->Devices()) {
        if (e.mode == Mode::Other) {
            continue;
        }
        const auto mode = e.mode == Mode::Dfu ? usb::InterfaceMode::Dfu : usb::InterfaceMode::Application;
        if (usb::MakeDevicePath(Bus::LocationText(e.location), e.vid, e.pid, mode) == wanted) {
            Status status = Status::NotFound;
            m_bus->With(e.location, e.generation, [&](VirtualDevice& d) { status = d.Open(); });
            if (status == Status::Ok) {
                out = std::make_unique<SimHandle>(m_bus, e.location, e.generation);
            }
            return status;
        }
    }
    return Status::NotFound;
}

std::vector<usb::DeviceEvent> SimTransport::WaitForEvents(std::chrono::milliseconds timeout)
{
    m_bus->WaitForEvents(timeout);
    std::vector<usb::DeviceEvent> out;
    for (const BusEvent& e : m_bus->TakeEvents()) {
        out.push_back({e.arrival ? usb::DeviceEvent::Kind::Arrival : usb::DeviceEvent::Kind::Removal,
                       Bus::LocationText(e.location)});
    }
    return out;
}

void SimTransport::Interrupt()
{
    m_bus->Interrupt();
}

std::optional<std::chrono::nanoseconds> SimTransport::TimingFloor() const
{
    return m_bus->Floor();
}

unsigned SimTransport::Plug(std::string_view device, std::string& error)
{
    const auto config = ParseDeviceConfig(device, error);
    return config ? m_bus->Plug(*config, error) : 0;
}

std::optional<std::vector<std::uint8_t>> SimTransport::Flash(unsigned location)
{
    std::optional<std::vector<std::uint8_t>> out;
    m_bus->With(location, 0, [&](VirtualDevice& d) { out.emplace(d.Flash().begin(), d.Flash().end()); });
    return out;
}

unsigned SimTransport::LocationOfPath(std::string_view path)
{
    if (!path.starts_with("USB:1-")) {
        return 0;
    }
    path.remove_prefix(6);
    unsigned location = 0;
    const auto [end, ec] = std::from_chars(path.data(), path.data() + path.size(), location);
    if (ec != std::errc() || end == path.data() + path.size() || *end != ':') {
        return 0;
    }
    return location;
}

std::string DefaultControlPath()
{
    if (const char* path = std::getenv("NEMORA_SIM_CONTROL"); path != nullptr && *path != '\0') {
        return path;
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0') {
        return std::string(runtime) + "/nemora-sim.control";
    }
    const char* user = std::getenv("USER");
    return std::string("/tmp/nemora-sim-") + (user != nullptr ? user : "user") + ".control";
}

std::unique_ptr<usb::Transport> CreateTransportFromEnvironment(std::string& error)
{
    error.clear();
    const char* text = std::getenv("NEMORA_SIM");
    if (text == nullptr) {
        return nullptr;
    }
    const ConfigResult config = ParseSimConfig(text);
    if (!config.Ok()) {
        error = config.error;
        return nullptr;
    }
    return SimTransport::Create(config.devices, DefaultControlPath(), error);
}

} // namespace nemora::sim
