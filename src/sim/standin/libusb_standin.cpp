// A libusb-1.0 stand-in backed by the virtual DfuSe devices: built as libusb-1.0.so.0 so that unmodified
// programs (dfu-util, our own libusb transport) run against NEMORA_SIM through LD_LIBRARY_PATH.
//
// Structures and signatures come from the system's libusb.h (1.0.26), so the ABI is libusb's own. Only
// synchronous I/O is offered: control transfers, descriptors, hotplug callbacks delivered from the event
// functions. Asynchronous transfers, bulk and interrupt endpoints report LIBUSB_ERROR_NOT_SUPPORTED.
//
// Being a drop-in for a C library, this file talks C at its edge and is the one place in src/sim that
// writes to stderr: a NEMORA_SIM that cannot be used makes libusb_init fail with one line explaining why.

#include "sim/bus.h"
#include "sim/sim_config.h"
#include "sim/sim_transport.h"

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using nemora::sim::Bus;
using nemora::sim::BusEntry;
using nemora::sim::Mode;
using nemora::sim::VirtualDevice;
namespace usb = nemora::usb;

struct libusb_context {
    nemora::sim::SteadyClock clock;
    std::unique_ptr<Bus> bus;
    std::mutex mutex;
    std::map<unsigned, libusb_device*> devices; // present devices by location, one reference each
    struct Notice {
        libusb_device* device; // one reference
        libusb_hotplug_event event;
    };
    std::vector<Notice> notices;
    struct Callback {
        libusb_hotplug_callback_handle handle;
        int events;
        int vendor, product, deviceClass;
        libusb_hotplug_callback_fn fn;
        void* userData;
    };
    std::vector<Callback> callbacks;
    int nextCallback = 1;
    int refs = 1;
    std::uint8_t nextAddress = 1; // like a kernel: every arrival takes the next bus address (1 to 127)
};

struct libusb_device {
    libusb_context* ctx = nullptr;
    std::atomic<int> refs{1};
    unsigned location = 0;
    std::uint64_t generation = 0;
    std::uint8_t address = 1;
    std::vector<std::uint8_t> deviceDescriptor; // empty when the device would not give it
    std::vector<std::uint8_t> configDescriptor;
};

struct libusb_device_handle {
    libusb_device* device = nullptr;
};

namespace {

std::mutex g_defaultMutex;
libusb_context* g_defaultContext = nullptr;

libusb_context* Ctx(libusb_context* ctx)
{
    if (ctx != nullptr) {
        return ctx;
    }
    std::lock_guard lock(g_defaultMutex);
    return g_defaultContext;
}

int ToLibusb(usb::Status status)
{
    switch (status) {
    case usb::Status::Ok:
        return LIBUSB_SUCCESS;
    case usb::Status::Io:
        return LIBUSB_ERROR_IO;
    case usb::Status::InvalidParam:
        return LIBUSB_ERROR_INVALID_PARAM;
    case usb::Status::Access:
        return LIBUSB_ERROR_ACCESS;
    case usb::Status::NoDevice:
        return LIBUSB_ERROR_NO_DEVICE;
    case usb::Status::NotFound:
        return LIBUSB_ERROR_NOT_FOUND;
    case usb::Status::Busy:
        return LIBUSB_ERROR_BUSY;
    case usb::Status::Timeout:
        return LIBUSB_ERROR_TIMEOUT;
    case usb::Status::Overflow:
        return LIBUSB_ERROR_OVERFLOW;
    case usb::Status::Pipe:
        return LIBUSB_ERROR_PIPE;
    case usb::Status::NotSupported:
        return LIBUSB_ERROR_NOT_SUPPORTED;
    }
    return LIBUSB_ERROR_OTHER;
}

libusb_device* NewDevice(libusb_context* ctx, const BusEntry& entry)
{
    auto* dev = new libusb_device;
    dev->ctx = ctx;
    dev->location = entry.location;
    dev->generation = entry.generation;
    dev->address = ctx->nextAddress;
    ctx->nextAddress = static_cast<std::uint8_t>(ctx->nextAddress % 127 + 1);
    // Like the kernel, read the descriptors once at enumeration.
    ctx->bus->With(entry.location, entry.generation, [&](VirtualDevice& d) {
        if (d.GetDeviceDescriptor(dev->deviceDescriptor) != usb::Status::Ok) {
            dev->deviceDescriptor.clear();
        }
        if (d.GetConfigDescriptor(dev->configDescriptor) != usb::Status::Ok) {
            dev->configDescriptor.clear();
        }
    });
    return dev;
}

void Unref(libusb_device* dev)
{
    if (dev != nullptr && --dev->refs == 0) {
        delete dev;
    }
}

// Brings the device table up to date with the bus and queues hotplug notices. Caller holds ctx->mutex.
void SyncLocked(libusb_context* ctx)
{
    // One look at the bus: a device plugged between taking the events and listing would be listed without
    // its arrival, and so never announced.
    const auto [events, entries] = ctx->bus->TakeEventsAndDevices();
    auto entryAt = [&](unsigned location) -> const BusEntry* {
        for (const BusEntry& e : entries) {
            if (e.location == location) {
                return &e;
            }
        }
        return nullptr;
    };
    for (const auto& event : events) {
        const auto it = ctx->devices.find(event.location);
        if (!event.arrival) {
            if (it != ctx->devices.end()) {
                ctx->notices.push_back({it->second, LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT});
                ctx->devices.erase(it);
            }
        } else if (it == ctx->devices.end()) {
            if (const BusEntry* e = entryAt(event.location)) {
                libusb_device* dev = NewDevice(ctx, *e);
                ctx->devices[e->location] = dev;
                ++dev->refs;
                ctx->notices.push_back({dev, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED});
            }
        }
    }
    // Whatever the events did not explain (start-up, a change between two reads): reconcile quietly.
    for (auto it = ctx->devices.begin(); it != ctx->devices.end();) {
        const BusEntry* e = entryAt(it->first);
        if (e == nullptr || e->generation != it->second->generation) {
            Unref(it->second);
            it = ctx->devices.erase(it);
        } else {
            ++it;
        }
    }
    for (const BusEntry& e : entries) {
        if (ctx->devices.count(e.location) == 0) {
            ctx->devices[e.location] = NewDevice(ctx, e);
        }
    }
}

bool Matches(const libusb_context::Callback& cb, libusb_device* dev, libusb_hotplug_event event)
{
    if ((cb.events & event) == 0) {
        return false;
    }
    const auto& d = dev->deviceDescriptor;
    if (d.size() < 18) {
        return cb.vendor == LIBUSB_HOTPLUG_MATCH_ANY && cb.product == LIBUSB_HOTPLUG_MATCH_ANY &&
               cb.deviceClass == LIBUSB_HOTPLUG_MATCH_ANY;
    }
    return (cb.vendor == LIBUSB_HOTPLUG_MATCH_ANY || cb.vendor == (d[8] | d[9] << 8)) &&
           (cb.product == LIBUSB_HOTPLUG_MATCH_ANY || cb.product == (d[10] | d[11] << 8)) &&
           (cb.deviceClass == LIBUSB_HOTPLUG_MATCH_ANY || cb.deviceClass == d[4]);
}

// Calls the matching hotplug callbacks for every queued notice, without holding the lock. Returns the
// number of notices handled.
int DeliverNotices(libusb_context* ctx)
{
    std::vector<libusb_context::Notice> notices;
    std::vector<libusb_context::Callback> callbacks;
    {
        std::lock_guard lock(ctx->mutex);
        SyncLocked(ctx);
        notices.swap(ctx->notices);
        callbacks = ctx->callbacks;
    }
    for (const auto& notice : notices) {
        for (const auto& cb : callbacks) {
            if (Matches(cb, notice.device, notice.event) && cb.fn(ctx, notice.device, notice.event, cb.userData) != 0) {
                libusb_hotplug_deregister_callback(ctx, cb.handle);
            }
        }
        Unref(notice.device);
    }
    return static_cast<int>(notices.size());
}

// libusb_config_descriptor trees handed out, with the storage behind their pointers.
struct ConfigTree {
    libusb_config_descriptor config{};
    std::vector<libusb_interface> interfaces;
    std::vector<std::vector<libusb_interface_descriptor>> alternates;
    std::vector<std::vector<libusb_endpoint_descriptor>> endpoints; // per alternate, flattened order
    std::vector<std::vector<unsigned char>> extras;
};
std::mutex g_treesMutex;
std::map<const libusb_config_descriptor*, std::unique_ptr<ConfigTree>> g_trees;

int BuildConfigTree(const std::vector<std::uint8_t>& raw, libusb_config_descriptor** out)
{
    if (raw.size() < 9 || raw[1] != LIBUSB_DT_CONFIG) {
        return LIBUSB_ERROR_IO;
    }
    auto tree = std::make_unique<ConfigTree>();
    // First pass: split into interface alternates, each with its endpoints and extra bytes.
    struct Alt {
        libusb_interface_descriptor desc{};
        std::vector<libusb_endpoint_descriptor> eps;
        std::vector<std::vector<unsigned char>> epExtra;
        std::vector<unsigned char> extra;
    };
    std::vector<unsigned char> configExtra;
    std::vector<Alt> alts;
    std::size_t pos = raw[0];
    const std::size_t total = std::min<std::size_t>(raw.size(), raw[2] | raw[3] << 8);
    while (pos + 2 <= total) {
        const std::size_t len = raw[pos];
        if (len < 2 || pos + len > total) {
            break;
        }
        const std::uint8_t type = raw[pos + 1];
        const auto* p = raw.data() + pos;
        if (type == LIBUSB_DT_INTERFACE && len >= 9) {
            Alt a;
            a.desc.bLength = p[0];
            a.desc.bDescriptorType = p[1];
            a.desc.bInterfaceNumber = p[2];
            a.desc.bAlternateSetting = p[3];
            a.desc.bNumEndpoints = p[4];
            a.desc.bInterfaceClass = p[5];
            a.desc.bInterfaceSubClass = p[6];
            a.desc.bInterfaceProtocol = p[7];
            a.desc.iInterface = p[8];
            alts.push_back(std::move(a));
        } else if (type == LIBUSB_DT_ENDPOINT && len >= 7 && !alts.empty()) {
            libusb_endpoint_descriptor e{};
            e.bLength = p[0];
            e.bDescriptorType = p[1];
            e.bEndpointAddress = p[2];
            e.bmAttributes = p[3];
            e.wMaxPacketSize = static_cast<std::uint16_t>(p[4] | p[5] << 8);
            e.bInterval = p[6];
            alts.back().eps.push_back(e);
            alts.back().epExtra.emplace_back();
        } else if (alts.empty()) {
            configExtra.insert(configExtra.end(), p, p + len);
        } else if (!alts.back().eps.empty()) {
            alts.back().epExtra.back().insert(alts.back().epExtra.back().end(), p, p + len);
        } else {
            alts.back().extra.insert(alts.back().extra.end(), p, p + len);
        }
        pos += len;
    }
    // Second pass: lay the storage out, then point into it.
    std::vector<std::uint8_t> interfaceNumbers;
    for (const Alt& a : alts) {
        if (std::find(interfaceNumbers.begin(), interfaceNumbers.end(), a.desc.bInterfaceNumber) ==
            interfaceNumbers.end()) {
            interfaceNumbers.push_back(a.desc.bInterfaceNumber);
        }
    }
    tree->extras.push_back(configExtra);
    tree->alternates.resize(interfaceNumbers.size());
    for (std::size_t i = 0; i < interfaceNumbers.size(); ++i) {
        for (Alt& a : alts) {
            if (a.desc.bInterfaceNumber != interfaceNumbers[i]) {
                continue;
            }
            tree->extras.push_back(a.extra);
            for (auto& x : a.epExtra) {
                tree->extras.push_back(x);
            }
            tree->endpoints.push_back(a.eps);
            tree->alternates[i].push_back(a.desc);
        }
    }
    // Pointers (vectors are final now).
    std::size_t extraIndex = 1;
    std::size_t endpointIndex = 0;
    tree->interfaces.resize(interfaceNumbers.size());
    for (std::size_t i = 0; i < interfaceNumbers.size(); ++i) {
        for (auto& desc : tree->alternates[i]) {
            auto& extra = tree->extras[extraIndex++];
            desc.extra = extra.empty() ? nullptr : extra.data();
            desc.extra_length = static_cast<int>(extra.size());
            auto& eps = tree->endpoints[endpointIndex++];
            for (auto& e : eps) {
                auto& x = tree->extras[extraIndex++];
                e.extra = x.empty() ? nullptr : x.data();
                e.extra_length = static_cast<int>(x.size());
            }
            desc.bNumEndpoints = static_cast<std::uint8_t>(eps.size());
            desc.endpoint = eps.empty() ? nullptr : eps.data();
        }
        tree->interfaces[i].altsetting = tree->alternates[i].data();
        tree->interfaces[i].num_altsetting = static_cast<int>(tree->alternates[i].size());
    }
    auto& c = tree->config;
    c.bLength = raw[0];
    c.bDescriptorType = raw[1];
    c.wTotalLength = static_cast<std::uint16_t>(raw[2] | raw[3] << 8);
    c.bNumInterfaces = static_cast<std::uint8_t>(interfaceNumbers.size());
    c.bConfigurationValue = raw[5];
    c.iConfiguration = raw[6];
    c.bmAttributes = raw[7];
    c.MaxPower = raw[8];
    c.interface = tree->interfaces.empty() ? nullptr : tree->interfaces.data();
    c.extra = tree->extras[0].empty() ? nullptr : tree->extras[0].data();
    c.extra_length = static_cast<int>(tree->extras[0].size());
    *out = &tree->config;
    std::lock_guard lock(g_treesMutex);
    g_trees[&tree->config] = std::move(tree);
    return LIBUSB_SUCCESS;
}

int CallDevice(libusb_device_handle* h, auto&& fn)
{
    if (h == nullptr || h->device == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    libusb_device* dev = h->device;
    int result = LIBUSB_ERROR_NO_DEVICE;
    dev->ctx->bus->With(dev->location, dev->generation, [&](VirtualDevice& d) { result = fn(d); });
    return result;
}

int WaitAndDeliver(libusb_context* ctx, std::chrono::milliseconds timeout)
{
    if (DeliverNotices(ctx) > 0) {
        return LIBUSB_SUCCESS;
    }
    ctx->bus->WaitForEvents(timeout);
    DeliverNotices(ctx);
    return LIBUSB_SUCCESS;
}

std::chrono::milliseconds FromTimeval(const timeval* tv)
{
    if (tv == nullptr) {
        return std::chrono::milliseconds(60000);
    }
    return std::chrono::milliseconds(static_cast<long long>(tv->tv_sec) * 1000 + tv->tv_usec / 1000);
}

} // namespace

extern "C" {

int LIBUSB_CALL libusb_init(libusb_context** out)
{
    if (out == nullptr) {
        std::lock_guard lock(g_defaultMutex);
        if (g_defaultContext != nullptr) {
            ++g_defaultContext->refs;
            return LIBUSB_SUCCESS;
        }
    }
    const char* text = std::getenv("NEMORA_SIM");
    const auto config = nemora::sim::ParseSimConfig(text != nullptr ? text : "");
    if (!config.Ok()) {
        std::fprintf(stderr, "libusb stand-in: %s\n", config.error.c_str());
        return LIBUSB_ERROR_OTHER;
    }
    auto ctx = std::make_unique<libusb_context>();
    std::string error;
    ctx->bus = Bus::Create(config.devices, ctx->clock, nemora::sim::DefaultControlPath(), error);
    if (!ctx->bus) {
        std::fprintf(stderr, "libusb stand-in: %s\n", error.c_str());
        return LIBUSB_ERROR_OTHER;
    }
    {
        std::lock_guard lock(ctx->mutex);
        SyncLocked(ctx.get());
        ctx->notices.clear();
    }
    if (out == nullptr) {
        std::lock_guard lock(g_defaultMutex);
        g_defaultContext = ctx.release();
    } else {
        *out = ctx.release();
    }
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_exit(libusb_context* ctx)
{
    if (ctx == nullptr) {
        std::lock_guard lock(g_defaultMutex);
        if (g_defaultContext == nullptr || --g_defaultContext->refs > 0) {
            return;
        }
        ctx = g_defaultContext;
        g_defaultContext = nullptr;
    }
    for (auto& [location, dev] : ctx->devices) {
        Unref(dev);
    }
    for (auto& notice : ctx->notices) {
        Unref(notice.device);
    }
    delete ctx;
}

int LIBUSB_CALL libusb_set_option(libusb_context*, enum libusb_option, ...)
{
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_set_debug(libusb_context*, int) {}

void LIBUSB_CALL libusb_set_log_cb(libusb_context*, libusb_log_cb, int) {}

const struct libusb_version* LIBUSB_CALL libusb_get_version(void)
{
    static const libusb_version version = {1, 0, 26, 0, "", "nemora virtual USB"};
    return &version;
}

int LIBUSB_CALL libusb_has_capability(uint32_t capability)
{
    return capability == LIBUSB_CAP_HAS_CAPABILITY || capability == LIBUSB_CAP_HAS_HOTPLUG ? 1 : 0;
}

const char* LIBUSB_CALL libusb_error_name(int code)
{
    switch (code) {
    case LIBUSB_SUCCESS:
        return "LIBUSB_SUCCESS";
    case LIBUSB_ERROR_IO:
        return "LIBUSB_ERROR_IO";
    case LIBUSB_ERROR_INVALID_PARAM:
        return "LIBUSB_ERROR_INVALID_PARAM";
    case LIBUSB_ERROR_ACCESS:
        return "LIBUSB_ERROR_ACCESS";
    case LIBUSB_ERROR_NO_DEVICE:
        return "LIBUSB_ERROR_NO_DEVICE";
    case LIBUSB_ERROR_NOT_FOUND:
        return "LIBUSB_ERROR_NOT_FOUND";
    case LIBUSB_ERROR_BUSY:
        return "LIBUSB_ERROR_BUSY";
    case LIBUSB_ERROR_TIMEOUT:
        return "LIBUSB_ERROR_TIMEOUT";
    case LIBUSB_ERROR_OVERFLOW:
        return "LIBUSB_ERROR_OVERFLOW";
    case LIBUSB_ERROR_PIPE:
        return "LIBUSB_ERROR_PIPE";
    case LIBUSB_ERROR_INTERRUPTED:
        return "LIBUSB_ERROR_INTERRUPTED";
    case LIBUSB_ERROR_NO_MEM:
        return "LIBUSB_ERROR_NO_MEM";
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return "LIBUSB_ERROR_NOT_SUPPORTED";
    case LIBUSB_ERROR_OTHER:
        return "LIBUSB_ERROR_OTHER";
    default:
        return "**UNKNOWN**";
    }
}

const char* LIBUSB_CALL libusb_strerror(int code)
{
    return libusb_error_name(code);
}

int LIBUSB_CALL libusb_setlocale(const char*)
{
    return LIBUSB_SUCCESS;
}

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context* ctx, libusb_device*** list)
{
    ctx = Ctx(ctx);
    if (ctx == nullptr || list == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    std::lock_guard lock(ctx->mutex);
    SyncLocked(ctx);
    auto** out = static_cast<libusb_device**>(std::calloc(ctx->devices.size() + 1, sizeof(libusb_device*)));
    if (out == nullptr) {
        return LIBUSB_ERROR_NO_MEM;
    }
    std::size_t i = 0;
    for (auto& [location, dev] : ctx->devices) {
        ++dev->refs;
        out[i++] = dev;
    }
    *list = out;
    return static_cast<ssize_t>(i);
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int unrefDevices)
{
    if (list == nullptr) {
        return;
    }
    if (unrefDevices != 0) {
        for (libusb_device** p = list; *p != nullptr; ++p) {
            Unref(*p);
        }
    }
    std::free(list);
}

libusb_device* LIBUSB_CALL libusb_ref_device(libusb_device* dev)
{
    ++dev->refs;
    return dev;
}

void LIBUSB_CALL libusb_unref_device(libusb_device* dev)
{
    Unref(dev);
}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* dev, struct libusb_device_descriptor* desc)
{
    const auto& d = dev->deviceDescriptor;
    if (d.size() < 18 || desc == nullptr) {
        return LIBUSB_ERROR_IO;
    }
    desc->bLength = d[0];
    desc->bDescriptorType = d[1];
    desc->bcdUSB = static_cast<std::uint16_t>(d[2] | d[3] << 8);
    desc->bDeviceClass = d[4];
    desc->bDeviceSubClass = d[5];
    desc->bDeviceProtocol = d[6];
    desc->bMaxPacketSize0 = d[7];
    desc->idVendor = static_cast<std::uint16_t>(d[8] | d[9] << 8);
    desc->idProduct = static_cast<std::uint16_t>(d[10] | d[11] << 8);
    desc->bcdDevice = static_cast<std::uint16_t>(d[12] | d[13] << 8);
    desc->iManufacturer = d[14];
    desc->iProduct = d[15];
    desc->iSerialNumber = d[16];
    desc->bNumConfigurations = d[17];
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_get_config_descriptor(libusb_device* dev, uint8_t index,
                                             struct libusb_config_descriptor** config)
{
    if (index != 0) {
        return LIBUSB_ERROR_NOT_FOUND;
    }
    return BuildConfigTree(dev->configDescriptor, config);
}

int LIBUSB_CALL libusb_get_active_config_descriptor(libusb_device* dev, struct libusb_config_descriptor** config)
{
    return BuildConfigTree(dev->configDescriptor, config);
}

int LIBUSB_CALL libusb_get_config_descriptor_by_value(libusb_device* dev, uint8_t value,
                                                      struct libusb_config_descriptor** config)
{
    if (dev->configDescriptor.size() < 9 || dev->configDescriptor[5] != value) {
        return LIBUSB_ERROR_NOT_FOUND;
    }
    return BuildConfigTree(dev->configDescriptor, config);
}

void LIBUSB_CALL libusb_free_config_descriptor(struct libusb_config_descriptor* config)
{
    if (config == nullptr) {
        return;
    }
    std::lock_guard lock(g_treesMutex);
    g_trees.erase(config);
}

uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device*)
{
    return 1;
}

uint8_t LIBUSB_CALL libusb_get_port_number(libusb_device* dev)
{
    return static_cast<std::uint8_t>(dev->location);
}

int LIBUSB_CALL libusb_get_port_numbers(libusb_device* dev, uint8_t* ports, int length)
{
    if (ports == nullptr || length < 1) {
        return LIBUSB_ERROR_OVERFLOW;
    }
    ports[0] = static_cast<std::uint8_t>(dev->location);
    return 1;
}

int LIBUSB_CALL libusb_get_port_path(libusb_context*, libusb_device* dev, uint8_t* path, uint8_t length)
{
    return libusb_get_port_numbers(dev, path, length);
}

libusb_device* LIBUSB_CALL libusb_get_parent(libusb_device*)
{
    return nullptr;
}

uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* dev)
{
    return dev->address;
}

int LIBUSB_CALL libusb_get_device_speed(libusb_device*)
{
    return LIBUSB_SPEED_FULL;
}

int LIBUSB_CALL libusb_get_max_packet_size(libusb_device*, unsigned char endpoint)
{
    return (endpoint & 0x7F) == 0 ? 64 : LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_open(libusb_device* dev, libusb_device_handle** handle)
{
    if (dev == nullptr || handle == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    usb::Status opened = usb::Status::Ok;
    const bool present =
        dev->ctx->bus->With(dev->location, dev->generation, [&](VirtualDevice& d) { opened = d.Open(); });
    if (!present) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    if (opened != usb::Status::Ok) {
        return ToLibusb(opened); // fault=access: LIBUSB_ERROR_ACCESS, as without permission on the device node
    }
    auto* h = new libusb_device_handle;
    h->device = libusb_ref_device(dev);
    *handle = h;
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_close(libusb_device_handle* h)
{
    if (h != nullptr) {
        Unref(h->device);
        delete h;
    }
}

libusb_device* LIBUSB_CALL libusb_get_device(libusb_device_handle* h)
{
    return h->device;
}

libusb_device_handle* LIBUSB_CALL libusb_open_device_with_vid_pid(libusb_context* ctx, uint16_t vid, uint16_t pid)
{
    libusb_device** list = nullptr;
    if (libusb_get_device_list(ctx, &list) < 0) {
        return nullptr;
    }
    libusb_device_handle* found = nullptr;
    for (libusb_device** p = list; *p != nullptr && found == nullptr; ++p) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(*p, &d) == 0 && d.idVendor == vid && d.idProduct == pid) {
            libusb_open(*p, &found);
        }
    }
    libusb_free_device_list(list, 1);
    return found;
}

int LIBUSB_CALL libusb_get_configuration(libusb_device_handle* h, int* config)
{
    return CallDevice(h, [&](VirtualDevice&) {
        *config = 1;
        return LIBUSB_SUCCESS;
    });
}

int LIBUSB_CALL libusb_set_configuration(libusb_device_handle* h, int config)
{
    return CallDevice(h, [&](VirtualDevice&) {
        return config == 1 || config == -1 || config == 0 ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
    });
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* h, int number)
{
    return CallDevice(h, [&](VirtualDevice&) { return number == 0 ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND; });
}

int LIBUSB_CALL libusb_release_interface(libusb_device_handle* h, int number)
{
    return libusb_claim_interface(h, number);
}

int LIBUSB_CALL libusb_set_interface_alt_setting(libusb_device_handle* h, int number, int alternate)
{
    if (number < 0 || number > 255 || alternate < 0 || alternate > 255) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    return CallDevice(h, [&](VirtualDevice& d) {
        return ToLibusb(d.SetAltSetting(static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(alternate)));
    });
}

int LIBUSB_CALL libusb_clear_halt(libusb_device_handle* h, unsigned char)
{
    return CallDevice(h, [](VirtualDevice&) { return LIBUSB_SUCCESS; });
}

int LIBUSB_CALL libusb_reset_device(libusb_device_handle* h)
{
    const int r = CallDevice(h, [](VirtualDevice& d) { return ToLibusb(d.Reset()); });
    // The device re-enumerated: as with real libusb, the old handle is no longer valid.
    return r == LIBUSB_SUCCESS ? LIBUSB_ERROR_NOT_FOUND : r;
}

int LIBUSB_CALL libusb_kernel_driver_active(libusb_device_handle* h, int)
{
    return CallDevice(h, [](VirtualDevice&) { return 0; });
}

int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle* h, int)
{
    return CallDevice(h, [](VirtualDevice&) { return LIBUSB_ERROR_NOT_FOUND; });
}

int LIBUSB_CALL libusb_attach_kernel_driver(libusb_device_handle* h, int)
{
    return CallDevice(h, [](VirtualDevice&) { return LIBUSB_ERROR_NOT_FOUND; });
}

int LIBUSB_CALL libusb_set_auto_detach_kernel_driver(libusb_device_handle*, int)
{
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* h, uint8_t requestType, uint8_t request, uint16_t value,
                                        uint16_t index, unsigned char* data, uint16_t length, unsigned int)
{
    if (length > 0 && data == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    unsigned char none = 0;
    const std::span<std::uint8_t> buffer(length > 0 ? data : &none, length);
    return CallDevice(h, [&](VirtualDevice& d) {
        const auto r = d.Control({requestType, request, value, index, length}, buffer);
        return r.status == usb::Status::Ok ? static_cast<int>(r.length) : ToLibusb(r.status);
    });
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle*, unsigned char, unsigned char*, int, int*, unsigned int)
{
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

int LIBUSB_CALL libusb_interrupt_transfer(libusb_device_handle*, unsigned char, unsigned char*, int, int*, unsigned int)
{
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

int LIBUSB_CALL libusb_get_string_descriptor_ascii(libusb_device_handle* h, uint8_t index, unsigned char* data,
                                                   int length)
{
    if (index == 0 || data == nullptr || length <= 0) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    unsigned char buffer[255];
    int r = libusb_control_transfer(h, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR, LIBUSB_DT_STRING << 8, 0,
                                    buffer, sizeof buffer, 1000);
    if (r < 0) {
        return r;
    }
    if (r < 4) {
        return LIBUSB_ERROR_IO;
    }
    const auto langid = static_cast<std::uint16_t>(buffer[2] | buffer[3] << 8);
    r = libusb_control_transfer(h, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                static_cast<std::uint16_t>(LIBUSB_DT_STRING << 8 | index), langid, buffer,
                                sizeof buffer, 1000);
    if (r < 0) {
        return r;
    }
    if (r < 2 || buffer[1] != LIBUSB_DT_STRING || buffer[0] > r) {
        return LIBUSB_ERROR_IO;
    }
    const std::string text =
        nemora::usb::NarrowStringDescriptor(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(r)))
            .value_or(std::string());
    const int out = std::min(static_cast<int>(text.size()), length - 1);
    std::copy_n(text.begin(), out, data);
    data[out] = 0;
    return out;
}

struct libusb_transfer* LIBUSB_CALL libusb_alloc_transfer(int isoPackets)
{
    const std::size_t size = sizeof(libusb_transfer) +
                             sizeof(libusb_iso_packet_descriptor) * static_cast<std::size_t>(std::max(isoPackets, 0));
    return static_cast<libusb_transfer*>(std::calloc(1, size));
}

void LIBUSB_CALL libusb_free_transfer(struct libusb_transfer* transfer)
{
    std::free(transfer);
}

int LIBUSB_CALL libusb_submit_transfer(struct libusb_transfer*)
{
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

int LIBUSB_CALL libusb_cancel_transfer(struct libusb_transfer*)
{
    return LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_hotplug_register_callback(libusb_context* ctx, int events, int flags, int vendor, int product,
                                                 int deviceClass, libusb_hotplug_callback_fn fn, void* userData,
                                                 libusb_hotplug_callback_handle* handle)
{
    ctx = Ctx(ctx);
    if (ctx == nullptr || fn == nullptr || events == 0 ||
        (events & ~(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT)) != 0) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    libusb_context::Callback cb{0, events, vendor, product, deviceClass, fn, userData};
    std::vector<libusb_device*> present;
    {
        std::lock_guard lock(ctx->mutex);
        cb.handle = ctx->nextCallback++;
        ctx->callbacks.push_back(cb);
        if ((flags & LIBUSB_HOTPLUG_ENUMERATE) != 0) {
            SyncLocked(ctx);
            for (auto& [location, dev] : ctx->devices) {
                present.push_back(libusb_ref_device(dev));
            }
        }
    }
    if (handle != nullptr) {
        *handle = cb.handle;
    }
    bool deregister = false;
    for (libusb_device* dev : present) {
        if (!deregister && Matches(cb, dev, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED)) {
            deregister = fn(ctx, dev, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, userData) != 0;
        }
        Unref(dev);
    }
    if (deregister) {
        libusb_hotplug_deregister_callback(ctx, cb.handle);
    }
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_hotplug_deregister_callback(libusb_context* ctx, libusb_hotplug_callback_handle handle)
{
    ctx = Ctx(ctx);
    if (ctx == nullptr) {
        return;
    }
    std::lock_guard lock(ctx->mutex);
    std::erase_if(ctx->callbacks, [&](const auto& cb) { return cb.handle == handle; });
}

int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context* ctx, struct timeval* tv, int* completed)
{
    ctx = Ctx(ctx);
    if (ctx == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    if (completed != nullptr && *completed != 0) {
        return LIBUSB_SUCCESS;
    }
    return WaitAndDeliver(ctx, FromTimeval(tv));
}

int LIBUSB_CALL libusb_handle_events_timeout(libusb_context* ctx, struct timeval* tv)
{
    return libusb_handle_events_timeout_completed(ctx, tv, nullptr);
}

int LIBUSB_CALL libusb_handle_events(libusb_context* ctx)
{
    return libusb_handle_events_timeout_completed(ctx, nullptr, nullptr);
}

int LIBUSB_CALL libusb_handle_events_completed(libusb_context* ctx, int* completed)
{
    return libusb_handle_events_timeout_completed(ctx, nullptr, completed);
}

int LIBUSB_CALL libusb_handle_events_locked(libusb_context* ctx, struct timeval* tv)
{
    return libusb_handle_events_timeout_completed(ctx, tv, nullptr);
}

void LIBUSB_CALL libusb_interrupt_event_handler(libusb_context* ctx)
{
    ctx = Ctx(ctx);
    if (ctx != nullptr) {
        ctx->bus->Interrupt();
    }
}

int LIBUSB_CALL libusb_get_next_timeout(libusb_context*, struct timeval*)
{
    return 0;
}

int LIBUSB_CALL libusb_try_lock_events(libusb_context*)
{
    return 0;
}
void LIBUSB_CALL libusb_lock_events(libusb_context*) {}
void LIBUSB_CALL libusb_unlock_events(libusb_context*) {}
int LIBUSB_CALL libusb_event_handling_ok(libusb_context*)
{
    return 1;
}
int LIBUSB_CALL libusb_event_handler_active(libusb_context*)
{
    return 0;
}
void LIBUSB_CALL libusb_lock_event_waiters(libusb_context*) {}
void LIBUSB_CALL libusb_unlock_event_waiters(libusb_context*) {}
int LIBUSB_CALL libusb_wait_for_event(libusb_context* ctx, struct timeval* tv)
{
    ctx = Ctx(ctx);
    if (ctx != nullptr) {
        ctx->bus->WaitForEvents(FromTimeval(tv));
    }
    return 0;
}

int LIBUSB_CALL libusb_wrap_sys_device(libusb_context*, intptr_t, libusb_device_handle**)
{
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

// --- test API: for programs that load the stand-in and want to drive it directly ---

// Plugs a device described like one NEMORA_SIM entry; returns its location, or a negative libusb error.
int nemora_standin_plug(libusb_context* ctx, const char* config)
{
    ctx = Ctx(ctx);
    if (ctx == nullptr || config == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    std::string error;
    const auto device = nemora::sim::ParseDeviceConfig(config, error);
    if (!device) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    const unsigned location = ctx->bus->Plug(*device, error);
    return location == 0 ? LIBUSB_ERROR_OTHER : static_cast<int>(location);
}

// Unplugs the device at `location`; 0, or LIBUSB_ERROR_NOT_FOUND.
int nemora_standin_unplug(libusb_context* ctx, unsigned location)
{
    ctx = Ctx(ctx);
    if (ctx == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    return ctx->bus->Unplug(location) ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
}

// The timing floor of every device so far, in nanoseconds.
long long nemora_standin_floor_ns(libusb_context* ctx)
{
    ctx = Ctx(ctx);
    return ctx == nullptr ? 0 : static_cast<long long>(ctx->bus->Floor().count());
}

} // extern "C"
