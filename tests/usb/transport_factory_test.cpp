// CreateTransport's choice, and what only the libusb transport has to say, over the libusb stand-in.

#include "usb_test_util.h"

#include "transport/transport_factory.h"
#include "usb/libusb_transport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace nemora::usb {
namespace {

using namespace std::chrono_literals;

class OverStandin : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Fail, never skip: these tests mean nothing against the system's libusb.
        ASSERT_NE(dlsym(RTLD_DEFAULT, "nemora_standin_plug"), nullptr)
            << "the system's libusb was loaded, not the stand-in: run these tests through CTest";
    }

    test::TempDir dir;
    test::ScopedEnv control{"NEMORA_SIM_CONTROL", (dir.Path() / "control").string()};
    test::ScopedEnv sim{"NEMORA_SIM"};
};

TEST_F(OverStandin, MalformedSimulationIsAnErrorNotRealUsb)
{
    ::setenv("NEMORA_SIM", "bcd=0x0300;vid=0xZZ", 1);
    std::string error = "stale";
    EXPECT_EQ(CreateTransport(&error), nullptr);
    EXPECT_NE(error.find("NEMORA_SIM device 2"), std::string::npos) << error;
    EXPECT_NE(error.find("'0xZZ'"), std::string::npos) << error;
    EXPECT_NE(error.find("vid"), std::string::npos) << error;
    EXPECT_EQ(CreateTransport(nullptr), nullptr); // no place for the message: still refused

    ::setenv("NEMORA_SIM", "flash=/nonexistent-folder/flash.bin", 1);
    EXPECT_EQ(CreateTransport(&error), nullptr);
    EXPECT_FALSE(error.empty());
}

TEST_F(OverStandin, SimulationWhenSetEvenEmptyLibusbOtherwise)
{
    std::string error = "stale";
    std::vector<DeviceInfo> devices;

    ::setenv("NEMORA_SIM", "mode=app", 1);
    auto virtualDevices = CreateTransport(&error);
    ASSERT_NE(virtualDevices, nullptr) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(virtualDevices->GetCapabilities().timingFloor); // the virtual devices keep a floor
    ASSERT_EQ(virtualDevices->Enumerate(devices), Status::Ok);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].mode, InterfaceMode::Application);

    ::setenv("NEMORA_SIM", "", 1);
    auto none = CreateTransport(&error);
    ASSERT_NE(none, nullptr) << error;
    EXPECT_TRUE(none->GetCapabilities().timingFloor);
    ASSERT_EQ(none->Enumerate(devices), Status::Ok);
    EXPECT_TRUE(devices.empty());

    ::unsetenv("NEMORA_SIM");
    error = "stale";
    auto usb = CreateTransport(&error); // libusb, which here is the stand-in
    ASSERT_NE(usb, nullptr) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(usb->GetCapabilities().timingFloor);
    EXPECT_FALSE(usb->TimingFloor());
    EXPECT_TRUE(usb->GetCapabilities().hotplugEvents);
    EXPECT_FALSE(LibusbTransport::Create(error, {true, 20ms})->GetCapabilities().hotplugEvents); // polling
}

TEST_F(OverStandin, LibusbThatCannotStartIsReported)
{
    ::setenv("NEMORA_SIM", "mode=nonsense", 1); // makes the stand-in's libusb_init fail
    std::string error;
    EXPECT_EQ(LibusbTransport::Create(error), nullptr);
    EXPECT_NE(error.find("LIBUSB_ERROR_OTHER"), std::string::npos) << error;
}

TEST_F(OverStandin, ControlTransferRefusesABufferShorterThanWLength)
{
    ::setenv("NEMORA_SIM", "bcd=0x0300", 1);
    std::string error;
    auto transport = LibusbTransport::Create(error);
    ASSERT_NE(transport, nullptr) << error;
    std::vector<DeviceInfo> devices;
    ASSERT_EQ(transport->Enumerate(devices), Status::Ok);
    ASSERT_EQ(devices.size(), 1u);
    std::unique_ptr<DeviceHandle> handle;
    ASSERT_EQ(transport->Open(devices[0].path, handle), Status::Ok);
    std::vector<std::uint8_t> small(4, 0xEE);
    const auto r = handle->ControlTransfer({0xA1, 3, 0, 0, 6}, small, 1000ms);
    EXPECT_EQ(r.status, Status::InvalidParam);
    EXPECT_EQ(small, std::vector<std::uint8_t>(4, 0xEE)); // nothing written past or into it
}

} // namespace
} // namespace nemora::usb
