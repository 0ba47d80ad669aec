// The libusb stand-in as a program sees it: loaded with dlopen, called through libusb's own signatures.

#include "sim_test_util.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The stand-in's entry points, resolved by name so the test never links the system's libusb.
struct Standin {
    void* lib = nullptr;
#define NEMORA_FN(name) decltype(&::name) name = nullptr
    NEMORA_FN(libusb_init);
    NEMORA_FN(libusb_exit);
    NEMORA_FN(libusb_get_device_list);
    NEMORA_FN(libusb_free_device_list);
    NEMORA_FN(libusb_get_device_descriptor);
    NEMORA_FN(libusb_get_config_descriptor);
    NEMORA_FN(libusb_free_config_descriptor);
    NEMORA_FN(libusb_open);
    NEMORA_FN(libusb_close);
    NEMORA_FN(libusb_control_transfer);
    NEMORA_FN(libusb_get_string_descriptor_ascii);
    NEMORA_FN(libusb_hotplug_register_callback);
    NEMORA_FN(libusb_hotplug_deregister_callback);
    NEMORA_FN(libusb_handle_events_timeout_completed);
    NEMORA_FN(libusb_interrupt_event_handler);
    NEMORA_FN(libusb_get_port_numbers);
    NEMORA_FN(libusb_has_capability);
#undef NEMORA_FN
    int (*plug)(libusb_context*, const char*) = nullptr;
    int (*unplug)(libusb_context*, unsigned) = nullptr;

    Standin()
    {
        lib = dlopen(NEMORA_STANDIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (lib == nullptr) {
            return;
        }
        auto get = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::decay_t<decltype(fn)>>(dlsym(lib, name));
        };
#define NEMORA_GET(name) get(name, #name)
        NEMORA_GET(libusb_init);
        NEMORA_GET(libusb_exit);
        NEMORA_GET(libusb_get_device_list);
        NEMORA_GET(libusb_free_device_list);
        NEMORA_GET(libusb_get_device_descriptor);
        NEMORA_GET(libusb_get_config_descriptor);
        NEMORA_GET(libusb_free_config_descriptor);
        NEMORA_GET(libusb_open);
        NEMORA_GET(libusb_close);
        NEMORA_GET(libusb_control_transfer);
        NEMORA_GET(libusb_get_string_descriptor_ascii);
        NEMORA_GET(libusb_hotplug_register_callback);
        NEMORA_GET(libusb_hotplug_deregister_callback);
        NEMORA_GET(libusb_handle_events_timeout_completed);
        NEMORA_GET(libusb_interrupt_event_handler);
        NEMORA_GET(libusb_get_port_numbers);
        NEMORA_GET(libusb_has_capability);
#undef NEMORA_GET
        get(plug, "nemora_standin_plug");
        get(unplug, "nemora_standin_unplug");
    }
    ~Standin()
    {
        if (lib != nullptr) {
            dlclose(lib);
        }
    }
};

struct Events {
    std::vector<std::string> seen; // "+N" / "-N" with the port number
    Standin* api = nullptr;
};

int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device* dev, libusb_hotplug_event event, void* user)
{
    auto* events = static_cast<Events*>(user);
    std::uint8_t ports[7];
    const int n = events->api->libusb_get_port_numbers(dev, ports, 7);
    events->seen.push_back(std::string(event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED ? "+" : "-") +
                           (n == 1 ? std::to_string(ports[0]) : "?"));
    return 0;
}

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(api.lib, nullptr) << dlerror();
        ::setenv("NEMORA_SIM_CONTROL", (dir.Path() / "control").c_str(), 1);
    }
    void Init(const char* sim)
    {
        ::setenv("NEMORA_SIM", sim, 1);
        ASSERT_EQ(api.libusb_init(&ctx), 0);
    }
    void TearDown() override
    {
        if (ctx != nullptr) {
            api.libusb_exit(ctx);
        }
    }
    void Pump()
    {
        timeval tv{0, 200000};
        api.libusb_handle_events_timeout_completed(ctx, &tv, nullptr);
    }

    Standin api;
    nemora::sim::test::TempDir dir;
    libusb_context* ctx = nullptr;
};

TEST_F(StandinTest, DescriptorsAsLibusbHandsThemOut)
{
    Init("serial=XYZ");
    libusb_device** list = nullptr;
    ASSERT_EQ(api.libusb_get_device_list(ctx, &list), 1);
    libusb_device_descriptor dd{};
    ASSERT_EQ(api.libusb_get_device_descriptor(list[0], &dd), 0);
    EXPECT_EQ(dd.idVendor, 0x0483);
    EXPECT_EQ(dd.bcdDevice, 0x004C);
    libusb_config_descriptor* cfg = nullptr;
    ASSERT_EQ(api.libusb_get_config_descriptor(list[0], 0, &cfg), 0);
    ASSERT_EQ(cfg->bNumInterfaces, 1);
    ASSERT_EQ(cfg->interface[0].num_altsetting, 2);
    const auto& alt1 = cfg->interface[0].altsetting[1];
    EXPECT_EQ(alt1.bAlternateSetting, 1);
    EXPECT_EQ(alt1.bInterfaceProtocol, 2);
    // The functional descriptor sits after the last alternate setting.
    EXPECT_EQ(cfg->interface[0].altsetting[0].extra_length, 0);
    ASSERT_EQ(alt1.extra_length, 9);
    EXPECT_EQ(alt1.extra[1], 0x21);
    EXPECT_EQ(alt1.extra[5] | alt1.extra[6] << 8, 2048);
    EXPECT_EQ(alt1.extra[7] | alt1.extra[8] << 8, 0x011A);

    libusb_device_handle* h = nullptr;
    ASSERT_EQ(api.libusb_open(list[0], &h), 0);
    unsigned char text[256];
    ASSERT_GT(api.libusb_get_string_descriptor_ascii(h, alt1.iInterface, text, sizeof text), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "@Option Bytes  /0x1FFFF800/01*016 e");
    ASSERT_GT(api.libusb_get_string_descriptor_ascii(h, dd.iSerialNumber, text, sizeof text), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "XYZ");
    // A DFU request the device refuses is a STALL: LIBUSB_ERROR_PIPE.
    unsigned char buf[16];
    EXPECT_EQ(api.libusb_control_transfer(h, 0xA1, 2, 1, 0, buf, 16, 1000), LIBUSB_ERROR_PIPE);
    api.libusb_close(h);
    api.libusb_free_config_descriptor(cfg);
    api.libusb_free_device_list(list, 1);
}

TEST_F(StandinTest, HotplugReportsPlugLeaveAndControlFileUnplug)
{
    Init("mode=dfu");
    EXPECT_EQ(api.libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG), 1);
    Events events;
    events.api = &api;
    libusb_hotplug_callback_handle handle = 0;
    ASSERT_EQ(api.libusb_hotplug_register_callback(
                  ctx, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT, LIBUSB_HOTPLUG_ENUMERATE,
                  LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, OnHotplug, &events,
                  &handle),
              0);
    EXPECT_EQ(events.seen, (std::vector<std::string>{"+1"}));

    // A mouse: never a DFU device, but an event all the same.
    EXPECT_EQ(api.plug(ctx, "mode=other"), 2);
    Pump();
    EXPECT_EQ(events.seen.back(), "+2");

    // Leave DFU mode: the device drops off and comes back at the same port.
    libusb_device** list = nullptr;
    ASSERT_EQ(api.libusb_get_device_list(ctx, &list), 2);
    libusb_device_handle* h = nullptr;
    ASSERT_EQ(api.libusb_open(list[0], &h), 0);
    api.libusb_free_device_list(list, 1);
    EXPECT_EQ(api.libusb_control_transfer(h, 0x21, 1, 2, 0, nullptr, 0, 1000), 0);
    unsigned char status[6];
    EXPECT_EQ(api.libusb_control_transfer(h, 0xA1, 3, 0, 0, status, 6, 1000), 6);
    EXPECT_EQ(status[4], 7); // dfuMANIFEST
    EXPECT_EQ(api.libusb_control_transfer(h, 0xA1, 3, 0, 0, status, 6, 1000), LIBUSB_ERROR_NO_DEVICE);
    api.libusb_close(h);
    Pump();
    ASSERT_GE(events.seen.size(), 4u);
    EXPECT_EQ(events.seen[2], "-1");
    EXPECT_EQ(events.seen[3], "+1");

    // Unplug from another process: a line in the control file.
    std::ofstream(dir.Path() / "control", std::ios::app) << "unplug 2\n";
    Pump();
    EXPECT_EQ(events.seen.back(), "-2");
    api.libusb_hotplug_deregister_callback(ctx, handle);
    EXPECT_EQ(api.unplug(ctx, 1), 0);
    Pump();
    EXPECT_EQ(events.seen.size(), 5u); // deregistered: nothing more
}

TEST_F(StandinTest, BadNemoraSimFailsInit)
{
    ::setenv("NEMORA_SIM", "timing=warp", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(api.libusb_init(&ctx), LIBUSB_ERROR_OTHER);
    ctx = nullptr;
    EXPECT_NE(testing::internal::GetCapturedStderr().find("'warp' for timing"), std::string::npos);
}

} // namespace
