#include "usb/libusb_transport.h"

#include <libusb.h>

#include <algorithm>
#include <array>
#include <climits>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>

namespace nemora::usb {

namespace {

constexpr std::chrono::milliseconds kDescriptorTimeout{1000};
// Longest single wait inside libusb's event handling, so that a missed wake-up costs at most this much.
constexpr std::chrono::milliseconds kEventSlice{500};
constexpr std::uint8_t kDescriptorDevice = 0x01, kDescriptorConfig = 0x02, kDescriptorString = 0x03;
constexpr std::uint16_t kDefaultLanguage = 0x0409;

// Owns one reference to a libusb device list.
class DeviceList {
public:
    explicit DeviceList(libusb_context* ctx) : m_count(libusb_get_device_list(ctx, &m_list)) {}
    ~DeviceList()
    {
        if (m_count >= 0) {
            libusb_free_device_list(m_list, 1);
        }
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    int Error() const { return m_count < 0 ? static_cast<int>(m_count) : 0; }
    std::span<libusb_device*> Devices() const
    {
        return m_count > 0 ? std::span<libusb_device*>(m_list, static_cast<std::size_t>(m_count))
                           : std::span<libusb_device*>();
    }

private:
    libusb_device** m_list = nullptr;
    ssize_t m_count;
};

// Where a device sits: bus number and the port numbers from the root hub down.
struct Location {
    std::uint8_t bus = 0;
    std::vector<std::uint8_t> ports;

    std::string Text() const
    {
        std::string out = std::to_string(bus) + "-";
        if (ports.empty()) {
            return out + "0"; // a root hub
        }
        for (std::size_t i = 0; i < ports.size(); ++i) {
            out += (i == 0 ? "" : ".") + std::to_string(ports[i]);
        }
        return out;
    }
    auto operator<=>(const Location&) const = default;
};

// Reads only what libusb already holds: safe inside a hotplug callback.
Location LocationOf(libusb_device* dev)
{
    std::array<std::uint8_t, 8> ports{}; // USB allows at most 7 tiers below the root
    const int n = libusb_get_port_numbers(dev, ports.data(), static_cast<int>(ports.size()));
    Location location;
    location.bus = libusb_get_bus_number(dev);
    if (n > 0) {
        location.ports.assign(ports.begin(), ports.begin() + n);
    }
    return location;
}

struct DfuModes {
    bool dfu = false;
    bool runtime = false;
};

// The DFU interfaces of the device's active configuration (its first one when the system does not know
// which is active), from the descriptors the system keeps: no request reaches the device.
DfuModes DfuModesOf(libusb_device* dev)
{
    DfuModes modes;
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(dev, &config) != LIBUSB_SUCCESS &&
        libusb_get_config_descriptor(dev, 0, &config) != LIBUSB_SUCCESS) {
        return modes;
    }
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& interface = config->interface[i];
        for (int a = 0; a < interface.num_altsetting; ++a) {
            const libusb_interface_descriptor& alt = interface.altsetting[a];
            if (alt.bInterfaceClass != kDfuInterfaceClass || alt.bInterfaceSubClass != kDfuInterfaceSubClass) {
                continue;
            }
            modes.dfu = modes.dfu || alt.bInterfaceProtocol == kDfuProtocolDfuMode;
            modes.runtime = modes.runtime || alt.bInterfaceProtocol == kDfuProtocolRuntime;
        }
    }
    libusb_free_config_descriptor(config);
    return modes;
}

struct Listed {
    Location location;
    DeviceInfo info;
    libusb_device* device = nullptr; // valid while the list it came from lives
};

// Every DFU interface in a device list, DFU mode first, then run-time, each group by location.
std::vector<Listed> ListDfuInterfaces(const DeviceList& list)
{
    std::vector<Listed> out;
    for (libusb_device* dev : list.Devices()) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(dev, &d) != LIBUSB_SUCCESS) {
            continue;
        }
        const DfuModes modes = DfuModesOf(dev);
        const Location location = LocationOf(dev);
        for (const auto& [present, mode] :
             {std::pair{modes.dfu, InterfaceMode::Dfu}, std::pair{modes.runtime, InterfaceMode::Application}}) {
            if (present) {
                out.push_back({location,
                               {MakeDevicePath(location.Text(), d.idVendor, d.idProduct, mode),
                                mode,
                                d.idVendor,
                                d.idProduct,
                                d.bcdDevice,
                                {}},
                               dev});
            }
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const Listed& a, const Listed& b) {
        if (a.info.mode != b.info.mode) {
            return a.info.mode == InterfaceMode::Dfu;
        }
        return a.location < b.location;
    });
    return out;
}

// The serial number's text; empty when the device has none or cannot be opened (no permission: the
// listing still shows it, and opening it then says why).
std::string SerialOf(libusb_device* dev)
{
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(dev, &d) != LIBUSB_SUCCESS || d.iSerialNumber == 0) {
        return {};
    }
    libusb_device_handle* handle = nullptr;
    if (libusb_open(dev, &handle) != LIBUSB_SUCCESS) {
        return {};
    }
    unsigned char text[128];
    const int n = libusb_get_string_descriptor_ascii(handle, d.iSerialNumber, text, sizeof text);
    libusb_close(handle);
    return n > 0 ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(n)) : std::string();
}

// When a wait of `timeout` ends; negative counts as zero, and "for ever" as a year.
std::chrono::steady_clock::time_point Deadline(std::chrono::milliseconds timeout)
{
    const auto bounded =
        std::clamp<std::chrono::milliseconds>(timeout, std::chrono::milliseconds(0), std::chrono::hours(24 * 365));
    return std::chrono::steady_clock::now() + bounded;
}

unsigned TimeoutMs(std::chrono::milliseconds timeout)
{
    // libusb reads 0 as "wait for ever"; the shortest real timeout is 1 ms.
    return static_cast<unsigned>(std::clamp<long long>(timeout.count(), 1, UINT_MAX));
}

} // namespace

Status StatusFromLibusb(int code)
{
    if (code >= 0) {
        return Status::Ok;
    }
    switch (code) {
    case LIBUSB_ERROR_INVALID_PARAM:
        return Status::InvalidParam;
    case LIBUSB_ERROR_ACCESS:
        return Status::Access;
    case LIBUSB_ERROR_NO_DEVICE:
        return Status::NoDevice;
    case LIBUSB_ERROR_NOT_FOUND:
        return Status::NotFound;
    case LIBUSB_ERROR_BUSY:
        return Status::Busy;
    case LIBUSB_ERROR_TIMEOUT:
        return Status::Timeout;
    case LIBUSB_ERROR_OVERFLOW:
        return Status::Overflow;
    case LIBUSB_ERROR_PIPE:
        return Status::Pipe;
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return Status::NotSupported;
    default: // IO, INTERRUPTED, NO_MEM, OTHER
        return Status::Io;
    }
}

struct LibusbTransport::State {
    libusb_context* ctx = nullptr;
    bool hotplug = false;
    libusb_hotplug_callback_handle hotplugHandle{};
    std::chrono::milliseconds pollInterval{1000};

    std::mutex mutex; // guards what follows
    std::condition_variable wake;
    std::deque<DeviceEvent> pending;
    bool interrupted = false;
    std::chrono::steady_clock::time_point nextPoll;

    // Polling: the devices of the last list by location, one reference each. Only the waiting thread
    // touches it (under pollMutex, never under mutex, since listing calls into libusb).
    std::mutex pollMutex;
    std::map<std::string, libusb_device*> seen;

    ~State()
    {
        if (ctx == nullptr) {
            return; // libusb never started
        }
        if (hotplug) {
            libusb_hotplug_deregister_callback(ctx, hotplugHandle);
        }
        for (auto& [location, dev] : seen) {
            libusb_unref_device(dev);
        }
        libusb_exit(ctx);
    }

    // Lists the devices and returns what changed since the last list: removals, then arrivals. A device
    // that re-enumerated at the same place (a new libusb device object) is both.
    std::vector<DeviceEvent> Poll()
    {
        std::lock_guard lock(pollMutex);
        const DeviceList list(ctx);
        if (list.Error() != 0) {
            return {};
        }
        std::map<std::string, libusb_device*> now;
        for (libusb_device* dev : list.Devices()) {
            if (now.emplace(LocationOf(dev).Text(), dev).second) {
                libusb_ref_device(dev);
            }
        }
        std::vector<DeviceEvent> events;
        for (const auto& [location, dev] : seen) {
            const auto it = now.find(location);
            if (it == now.end() || it->second != dev) {
                events.push_back({DeviceEvent::Kind::Removal, location});
            }
        }
        for (const auto& [location, dev] : now) {
            const auto it = seen.find(location);
            if (it == seen.end() || it->second != dev) {
                events.push_back({DeviceEvent::Kind::Arrival, location});
            }
        }
        for (auto& [location, dev] : seen) {
            libusb_unref_device(dev);
        }
        seen.swap(now);
        return events;
    }
};

namespace {

// Runs inside libusb's event handling: queue the event and return, no I/O.
int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device* dev, libusb_hotplug_event event, void* user)
{
    auto* state = static_cast<LibusbTransport::State*>(user);
    DeviceEvent e{event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED ? DeviceEvent::Kind::Arrival
                                                               : DeviceEvent::Kind::Removal,
                  LocationOf(dev).Text()};
    {
        std::lock_guard lock(state->mutex);
        state->pending.push_back(std::move(e));
    }
    state->wake.notify_all();
    return 0; // stay registered
}

class LibusbHandle final : public DeviceHandle {
public:
    LibusbHandle(std::shared_ptr<LibusbTransport::State> state, libusb_device_handle* handle)
        : m_state(std::move(state)), m_handle(handle)
    {
        // Where a kernel driver holds the interface, let libusb detach it on claim and re-attach it on
        // release; unsupported on some systems, which is fine.
        libusb_set_auto_detach_kernel_driver(m_handle, 1);
    }

    ~LibusbHandle() override
    {
        for (const std::uint8_t number : m_claimed) {
            libusb_release_interface(m_handle, number);
        }
        libusb_close(m_handle);
    }

    LibusbHandle(const LibusbHandle&) = delete;
    LibusbHandle& operator=(const LibusbHandle&) = delete;

    Status GetDeviceDescriptor(std::vector<std::uint8_t>& out) override
    {
        std::vector<std::uint8_t> buffer(18);
        const Status status = ReadDescriptor(kDescriptorDevice, 0, 0, buffer);
        if (status != Status::Ok) {
            return status;
        }
        if (buffer.size() < 18 || buffer[0] < 18) {
            return Status::Io;
        }
        out = std::move(buffer);
        return Status::Ok;
    }

    Status GetConfigDescriptor(std::vector<std::uint8_t>& out) override
    {
        // The active configuration's index: DFU devices have one configuration, so usually 0.
        std::uint8_t index = 0;
        libusb_device_descriptor d{};
        int active = 0;
        if (libusb_get_device_descriptor(libusb_get_device(m_handle), &d) == LIBUSB_SUCCESS &&
            d.bNumConfigurations > 1 && libusb_get_configuration(m_handle, &active) == LIBUSB_SUCCESS) {
            for (std::uint8_t i = 0; i < d.bNumConfigurations; ++i) {
                std::vector<std::uint8_t> header(9);
                if (ReadDescriptor(kDescriptorConfig, i, 0, header) == Status::Ok && header.size() >= 6 &&
                    header[5] == active) {
                    index = i;
                    break;
                }
            }
        }
        std::vector<std::uint8_t> header(9);
        Status status = ReadDescriptor(kDescriptorConfig, index, 0, header);
        if (status != Status::Ok) {
            return status;
        }
        if (header.size() < 9 || header[1] != kDescriptorConfig) {
            return Status::Io;
        }
        const std::size_t total = header[2] | header[3] << 8;
        if (total < 9) {
            return Status::Io;
        }
        std::vector<std::uint8_t> whole(total);
        status = ReadDescriptor(kDescriptorConfig, index, 0, whole);
        if (status != Status::Ok) {
            return status;
        }
        if (whole.size() != total) {
            return Status::Io; // the device sent less than wTotalLength says
        }
        out = std::move(whole);
        return Status::Ok;
    }

    Status GetStringDescriptor(std::uint8_t index, std::string& out) override
    {
        if (index == 0) {
            return Status::InvalidParam;
        }
        std::uint16_t language = 0;
        const Status languageStatus = Language(language);
        if (languageStatus != Status::Ok) {
            return languageStatus;
        }
        std::vector<std::uint8_t> buffer(255);
        const Status status = ReadDescriptor(kDescriptorString, index, language, buffer);
        if (status != Status::Ok) {
            return status;
        }
        auto text = NarrowStringDescriptor(buffer);
        if (!text) {
            return Status::Io;
        }
        out = std::move(*text);
        return Status::Ok;
    }

    Status ClaimInterface(std::uint8_t interfaceNumber) override
    {
        const Status status = StatusFromLibusb(libusb_claim_interface(m_handle, interfaceNumber));
        if (status == Status::Ok) {
            std::lock_guard lock(m_mutex);
            m_claimed.insert(interfaceNumber);
        }
        return status;
    }

    Status ReleaseInterface(std::uint8_t interfaceNumber) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_claimed.erase(interfaceNumber);
        }
        return StatusFromLibusb(libusb_release_interface(m_handle, interfaceNumber));
    }

    Status SetAltSetting(std::uint8_t interfaceNumber, std::uint8_t alternate) override
    {
        return StatusFromLibusb(libusb_set_interface_alt_setting(m_handle, interfaceNumber, alternate));
    }

    TransferResult ControlTransfer(const SetupPacket& setup, std::span<std::uint8_t> data,
                                   std::chrono::milliseconds timeout) override
    {
        if (data.size() < setup.wLength) {
            return {Status::InvalidParam, 0};
        }
        std::uint8_t none = 0;
        const int r =
            libusb_control_transfer(m_handle, setup.bmRequestType, setup.bRequest, setup.wValue, setup.wIndex,
                                    setup.wLength > 0 ? data.data() : &none, setup.wLength, TimeoutMs(timeout));
        if (r < 0) {
            return {StatusFromLibusb(r), 0};
        }
        return {Status::Ok, static_cast<std::size_t>(r)};
    }

    Status ResetDevice() override { return StatusFromLibusb(libusb_reset_device(m_handle)); }

private:
    // GET_DESCRIPTOR into `buffer` (its size is wLength), trimmed to what came back. A stall means the
    // device will not give that descriptor: Io.
    Status ReadDescriptor(std::uint8_t type, std::uint8_t index, std::uint16_t language,
                          std::vector<std::uint8_t>& buffer)
    {
        const SetupPacket setup{LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                static_cast<std::uint16_t>(type << 8 | index), language,
                                static_cast<std::uint16_t>(buffer.size())};
        const TransferResult r = ControlTransfer(setup, buffer, kDescriptorTimeout);
        if (r.status != Status::Ok) {
            return r.status == Status::Pipe ? Status::Io : r.status;
        }
        buffer.resize(r.length);
        if (r.length < 2 || buffer[1] != type) {
            return Status::Io;
        }
        return Status::Ok;
    }

    // The device's first language, asked once; US English when the device has no language table.
    Status Language(std::uint16_t& out)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_language) {
                out = *m_language;
                return Status::Ok;
            }
        }
        std::vector<std::uint8_t> table(255);
        const Status status = ReadDescriptor(kDescriptorString, 0, 0, table);
        if (status != Status::Ok && status != Status::Io) {
            return status; // gone, timed out: not the device's answer
        }
        out = status == Status::Ok && table.size() >= 4 && table[0] >= 4
                  ? static_cast<std::uint16_t>(table[2] | table[3] << 8)
                  : kDefaultLanguage;
        std::lock_guard lock(m_mutex);
        m_language = out;
        return Status::Ok;
    }

    std::shared_ptr<LibusbTransport::State> m_state; // keeps the libusb context alive
    libusb_device_handle* m_handle;
    std::mutex m_mutex;
    std::set<std::uint8_t> m_claimed;
    std::optional<std::uint16_t> m_language;
};

} // namespace

std::unique_ptr<LibusbTransport> LibusbTransport::Create(std::string& error, LibusbOptions options)
{
    error.clear();
    auto state = std::make_shared<State>();
    const int r = libusb_init(&state->ctx);
    if (r != LIBUSB_SUCCESS) {
        state->ctx = nullptr;
        error = std::string("libusb cannot start: ") + libusb_error_name(r);
        return nullptr;
    }
    state->pollInterval = std::max(options.pollInterval, std::chrono::milliseconds(1));
    if (!options.forcePolling && libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0) {
        const int registered = libusb_hotplug_register_callback(
            state->ctx, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT, 0,
            LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, OnHotplug, state.get(),
            &state->hotplugHandle);
        state->hotplug = registered == LIBUSB_SUCCESS;
    }
    if (!state->hotplug) {
        state->Poll(); // what is present now is not an arrival
        state->nextPoll = std::chrono::steady_clock::now() + state->pollInterval;
    }
    return std::unique_ptr<LibusbTransport>(new LibusbTransport(std::move(state)));
}

LibusbTransport::~LibusbTransport() = default;

Capabilities LibusbTransport::GetCapabilities() const
{
    return {m_state->hotplug, false};
}

Status LibusbTransport::Enumerate(std::vector<DeviceInfo>& out)
{
    out.clear();
    const DeviceList list(m_state->ctx);
    if (list.Error() != 0) {
        return StatusFromLibusb(list.Error());
    }
    std::lock_guard lock(m_serialMutex);
    std::map<std::string, std::string> present; // what is still attached, for the next listing
    for (Listed& listed : ListDfuInterfaces(list)) {
        const std::string key =
            listed.location.Text() + "@" + std::to_string(unsigned{libusb_get_device_address(listed.device)});
        auto found = present.find(key);
        if (found == present.end()) {
            const auto known = m_serials.find(key);
            found = present.emplace(key, known != m_serials.end() ? known->second : SerialOf(listed.device)).first;
        }
        listed.info.serial = found->second;
        out.push_back(std::move(listed.info));
    }
    m_serials = std::move(present);
    return Status::Ok;
}

Status LibusbTransport::Open(std::string_view path, std::unique_ptr<DeviceHandle>& out)
{
    const std::string wanted = ToUpperAscii(path);
    const DeviceList list(m_state->ctx);
    if (list.Error() != 0) {
        return StatusFromLibusb(list.Error());
    }
    for (const Listed& listed : ListDfuInterfaces(list)) {
        if (listed.info.path != wanted) {
            continue;
        }
        libusb_device_handle* handle = nullptr;
        const int r = libusb_open(listed.device, &handle);
        if (r != LIBUSB_SUCCESS) {
            return StatusFromLibusb(r);
        }
        out = std::make_unique<LibusbHandle>(m_state, handle);
        return Status::Ok;
    }
    return Status::NotFound;
}

std::vector<DeviceEvent> LibusbTransport::WaitForEvents(std::chrono::milliseconds timeout)
{
    return m_state->hotplug ? WaitForHotplug(timeout) : WaitByPolling(timeout);
}

namespace {

// Takes the pending events, or the interruption; true when the wait is over.
bool TakePending(LibusbTransport::State& state, std::vector<DeviceEvent>& out)
{
    std::lock_guard lock(state.mutex);
    if (!state.pending.empty()) {
        out.assign(std::make_move_iterator(state.pending.begin()), std::make_move_iterator(state.pending.end()));
        state.pending.clear();
        return true;
    }
    if (state.interrupted) {
        state.interrupted = false;
        return true;
    }
    return false;
}

} // namespace

std::vector<DeviceEvent> LibusbTransport::WaitForHotplug(std::chrono::milliseconds timeout)
{
    State& state = *m_state;
    const auto deadline = Deadline(timeout);
    std::vector<DeviceEvent> out;
    while (!TakePending(state, out)) {
        // libusb delivers hotplug callbacks from here; Interrupt() wakes it early.
        const auto remaining = std::chrono::duration_cast<std::chrono::microseconds>(
            std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero()));
        const auto slice = std::min<std::chrono::microseconds>(remaining, kEventSlice);
        timeval tv{static_cast<time_t>(slice.count() / 1000000), static_cast<suseconds_t>(slice.count() % 1000000)};
        const int r = libusb_handle_events_timeout_completed(state.ctx, &tv, nullptr);
        if (TakePending(state, out) || std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        if (r != LIBUSB_SUCCESS && r != LIBUSB_ERROR_INTERRUPTED) {
            // Event handling failed outright: wait the slice out rather than spin.
            std::unique_lock lock(state.mutex);
            state.wake.wait_for(lock, slice, [&] { return !state.pending.empty() || state.interrupted; });
        }
    }
    return out;
}

std::vector<DeviceEvent> LibusbTransport::WaitByPolling(std::chrono::milliseconds timeout)
{
    State& state = *m_state;
    const auto deadline = Deadline(timeout);
    std::vector<DeviceEvent> out;
    while (!TakePending(state, out)) {
        bool due = false;
        {
            std::lock_guard lock(state.mutex);
            due = std::chrono::steady_clock::now() >= state.nextPoll;
        }
        if (due) {
            auto events = state.Poll();
            std::lock_guard lock(state.mutex);
            state.nextPoll = std::chrono::steady_clock::now() + state.pollInterval;
            for (auto& e : events) {
                state.pending.push_back(std::move(e));
            }
            if (!state.pending.empty()) {
                continue; // taken at the top
            }
        }
        std::unique_lock lock(state.mutex);
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        state.wake.wait_until(lock, std::min(deadline, state.nextPoll),
                              [&] { return !state.pending.empty() || state.interrupted; });
    }
    return out;
}

void LibusbTransport::Interrupt()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->interrupted = true;
    }
    m_state->wake.notify_all();
    if (m_state->hotplug) {
        libusb_interrupt_event_handler(m_state->ctx);
    }
}

} // namespace nemora::usb
