// The same transport tests against the virtual devices in-process and against our libusb transport on
// the libusb stand-in (this executable runs with the stand-in first on LD_LIBRARY_PATH), the latter both
// with hotplug callbacks and with polling.

#include "usb_test_util.h"

#include "sim/sim_config.h"
#include "sim/sim_transport.h"
#include "usb/device_watcher.h"
#include "usb/libusb_transport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

namespace nemora::usb {
namespace {

using test::CollectEvents;
using namespace std::chrono_literals;

constexpr std::string_view kDfuGuid = "#{3FE809AB-FB91-4CB5-A643-69670D52366E}";
constexpr std::string_view kAppGuid = "#{CB979912-5029-420A-AEB1-34FC0A7D5726}";

// DFU requests as a host sends them.
constexpr SetupPacket kGetStatus{0xA1, 3, 0, 0, 6};
constexpr SetupPacket kDetach{0x21, 0, 1000, 0, 0};

bool StandinLoaded()
{
    return dlsym(RTLD_DEFAULT, "nemora_standin_plug") != nullptr;
}

struct InProcess {
    static constexpr int kDescriptorReadsAtArrival = 0;
    static std::unique_ptr<Transport> Make(const std::string& sim, const std::string& control, std::string& error)
    {
        const auto config = sim::ParseSimConfig(sim);
        if (!config.Ok()) {
            error = config.error;
            return nullptr;
        }
        return sim::SimTransport::Create(config.devices, control, error);
    }
};

template <bool kPolling>
struct OverStandin {
    // Like a kernel, the stand-in reads the device and configuration descriptors when a device arrives.
    static constexpr int kDescriptorReadsAtArrival = 2;
    static std::unique_ptr<Transport> Make(const std::string& sim, const std::string& control, std::string& error)
    {
        if (!StandinLoaded()) {
            error = "the system's libusb was loaded, not the stand-in: run through CTest";
            return nullptr;
        }
        // The stand-in reads both when its context starts, inside Create.
        ::setenv("NEMORA_SIM", sim.c_str(), 1);
        ::setenv("NEMORA_SIM_CONTROL", control.c_str(), 1);
        return LibusbTransport::Create(error, {kPolling, 20ms});
    }
};
using LibusbHotplug = OverStandin<false>;
using LibusbPolling = OverStandin<true>;

template <class Kind>
class TransportContract : public ::testing::Test {
protected:
    void Start(const std::string& sim)
    {
        std::string error;
        transport = Kind::Make(sim, (dir.Path() / "control").string(), error);
        ASSERT_NE(transport, nullptr) << error;
    }

    // Plug and unplug the way scripts/virtual-usb does, through the control file.
    void Control(const std::string& line)
    {
        std::ofstream((dir.Path() / "control").string(), std::ios::app) << line << '\n';
    }

    std::vector<DeviceInfo> List()
    {
        std::vector<DeviceInfo> out;
        EXPECT_EQ(transport->Enumerate(out), Status::Ok);
        return out;
    }

    std::unique_ptr<DeviceHandle> OpenFirst()
    {
        const auto devices = List();
        std::unique_ptr<DeviceHandle> handle;
        if (!devices.empty()) {
            EXPECT_EQ(transport->Open(devices[0].path, handle), Status::Ok);
        }
        return handle;
    }

    static TransferResult GetStatus(DeviceHandle& handle, std::vector<std::uint8_t>* reply = nullptr)
    {
        std::vector<std::uint8_t> buffer(6);
        const auto r = handle.ControlTransfer(kGetStatus, buffer, 1000ms);
        if (reply != nullptr) {
            *reply = buffer;
        }
        return r;
    }

    test::TempDir dir;
    test::ScopedEnv simGuard{"NEMORA_SIM"};
    test::ScopedEnv controlGuard{"NEMORA_SIM_CONTROL"};
    std::unique_ptr<Transport> transport;
};

using Kinds = ::testing::Types<InProcess, LibusbHotplug, LibusbPolling>;
class KindNames {
public:
    template <class T>
    static std::string GetName(int)
    {
        if (std::is_same_v<T, InProcess>) {
            return "InProcess";
        }
        return std::is_same_v<T, LibusbHotplug> ? "LibusbHotplug" : "LibusbPolling";
    }
};
TYPED_TEST_SUITE(TransportContract, Kinds, KindNames);

TYPED_TEST(TransportContract, ListsSerialNumbersAndRefusesOpeningWithAccessWhenNotPermitted)
{
    ASSERT_NO_FATAL_FAILURE(this->Start("serial=SN-ONE;mode=app,fault=access"));
    const auto devices = this->List();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].serial, "SN-ONE");
    // No permission: still listed, but its serial number cannot be asked for and opening says why.
    EXPECT_EQ(devices[1].path.substr(0, 8), "USB:1-2:");
    std::unique_ptr<DeviceHandle> handle;
    EXPECT_EQ(this->transport->Open(devices[1].path, handle), Status::Access);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(this->transport->Open(devices[0].path, handle), Status::Ok);
}

TYPED_TEST(TransportContract, ListsDfuModeFirstThenApplicationModeByLocation)
{
    ASSERT_NO_FATAL_FAILURE(
        this->Start("mode=app,vid=0x1234,pid=0xabcd,bcd=0x0140;mode=other;bcd=0x0300;mode=app,bcd=0x0150"));
    const auto devices = this->List();
    ASSERT_EQ(devices.size(), 3u); // the mouse at 1-2 is not listed
    EXPECT_EQ(devices[0].path, "USB:1-3:VID_0483&PID_DF11" + std::string(kDfuGuid));
    EXPECT_EQ(devices[0].mode, InterfaceMode::Dfu);
    EXPECT_EQ(devices[0].bcdDevice, 0x0300);
    EXPECT_EQ(devices[1].path, "USB:1-1:VID_1234&PID_ABCD" + std::string(kAppGuid));
    EXPECT_EQ(devices[1].mode, InterfaceMode::Application);
    EXPECT_EQ(devices[1].vid, 0x1234);
    EXPECT_EQ(devices[1].pid, 0xABCD);
    EXPECT_EQ(devices[1].bcdDevice, 0x0140);
    EXPECT_EQ(devices[2].path, "USB:1-4:VID_0483&PID_DF11" + std::string(kAppGuid));
    EXPECT_EQ(devices[2].bcdDevice, 0x0150);
    for (const auto& d : devices) {
        EXPECT_EQ(ModeOfPath(d.path), d.mode) << d.path;
    }
}

TYPED_TEST(TransportContract, OpensByPathWithoutRegardToCase)
{
    ASSERT_NO_FATAL_FAILURE(this->Start("bcd=0x0300;mode=app"));
    const auto devices = this->List();
    ASSERT_EQ(devices.size(), 2u);
    std::string lower = devices[0].path;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::unique_ptr<DeviceHandle> handle;
    ASSERT_EQ(this->transport->Open(lower, handle), Status::Ok);
    std::vector<std::uint8_t> descriptor;
    ASSERT_EQ(handle->GetDeviceDescriptor(descriptor), Status::Ok);
    EXPECT_EQ(descriptor[12] | descriptor[13] << 8, 0x0300); // the device at 1-1, not the one at 1-2

    // Another mode's GUID, a free location or no path at all name nothing.
    std::unique_ptr<DeviceHandle> none;
    EXPECT_EQ(this->transport->Open("USB:1-1:VID_0483&PID_DF11" + std::string(kAppGuid), none), Status::NotFound);
    EXPECT_EQ(this->transport->Open("USB:1-7:VID_0483&PID_DF11" + std::string(kDfuGuid), none), Status::NotFound);
    EXPECT_EQ(this->transport->Open("", none), Status::NotFound);
    EXPECT_EQ(none, nullptr);
}

TYPED_TEST(TransportContract, DescriptorsDescribeTheDfuInterfaceAndItsTargets)
{
    ASSERT_NO_FATAL_FAILURE(this->Start("vid=0x0483,pid=0xdf11,bcd=0x004c,dfuver=0x0110"));
    auto handle = this->OpenFirst();
    ASSERT_NE(handle, nullptr);

    std::vector<std::uint8_t> device;
    ASSERT_EQ(handle->GetDeviceDescriptor(device), Status::Ok);
    ASSERT_EQ(device.size(), 18u);
    EXPECT_EQ(device[1], 0x01);
    EXPECT_EQ(device[8] | device[9] << 8, 0x0483);
    EXPECT_EQ(device[10] | device[11] << 8, 0xDF11);
    EXPECT_EQ(device[12] | device[13] << 8, 0x004C);

    std::vector<std::uint8_t> config;
    ASSERT_EQ(handle->GetConfigDescriptor(config), Status::Ok);
    const auto summary = test::Summarise(config);
    ASSERT_TRUE(summary.wellFormed);
    ASSERT_EQ(summary.interfaces.size(), 2u);
    for (std::uint8_t alt = 0; alt < 2; ++alt) {
        const auto& i = summary.interfaces[alt];
        EXPECT_EQ(i.number, 0);
        EXPECT_EQ(i.alternate, alt);
        EXPECT_EQ(i.cls, kDfuInterfaceClass);
        EXPECT_EQ(i.subClass, kDfuInterfaceSubClass);
        EXPECT_EQ(i.protocol, kDfuProtocolDfuMode);
    }
    ASSERT_EQ(summary.functional.size(), 1u);
    const auto& f = summary.functional[0];
    ASSERT_EQ(f.size(), 9u);
    EXPECT_EQ(f[5] | f[6] << 8, 2048);   // wTransferSize
    EXPECT_EQ(f[7] | f[8] << 8, 0x0110); // bcdDFUVersion as configured

    // The alternate settings' names are the memory map; trailing blanks inside them are kept.
    std::string text;
    ASSERT_EQ(handle->GetStringDescriptor(summary.interfaces[0].iInterface, text), Status::Ok);
    EXPECT_EQ(text, "@Internal Flash  /0x08000000/64*001Kg");
    ASSERT_EQ(handle->GetStringDescriptor(summary.interfaces[1].iInterface, text), Status::Ok);
    EXPECT_EQ(text, "@Option Bytes  /0x1FFFF800/01*016 e");
    ASSERT_EQ(handle->GetStringDescriptor(device[15], text), Status::Ok);
    EXPECT_EQ(text, "STM32  BOOTLOADER");
    EXPECT_EQ(handle->GetStringDescriptor(0, text), Status::InvalidParam);
    EXPECT_EQ(handle->GetStringDescriptor(200, text), Status::Io); // no such string: the device stalls
}

TYPED_TEST(TransportContract, DescriptorRequestsTheDeviceRefusesFailWithIo)
{
    // Every descriptor request the host makes fails; those of the arrival itself still succeed.
    ASSERT_NO_FATAL_FAILURE(
        this->Start("fault=nodesc@descriptor:" + std::to_string(TypeParam::kDescriptorReadsAtArrival + 1)));
    const auto devices = this->List();
    ASSERT_EQ(devices.size(), 1u);
    std::unique_ptr<DeviceHandle> handle;
    ASSERT_EQ(this->transport->Open(devices[0].path, handle), Status::Ok);
    std::vector<std::uint8_t> bytes;
    std::string text;
    EXPECT_EQ(handle->GetDeviceDescriptor(bytes), Status::Io);
    EXPECT_EQ(handle->GetConfigDescriptor(bytes), Status::Io);
    EXPECT_EQ(handle->GetStringDescriptor(4, text), Status::Io);
}

TYPED_TEST(TransportContract, GetStatusAnswersAndAStallIsPipe)
{
    ASSERT_NO_FATAL_FAILURE(this->Start("fault=stall@getstatus:2"));
    auto handle = this->OpenFirst();
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(handle->ClaimInterface(0), Status::Ok);
    EXPECT_EQ(handle->ClaimInterface(0), Status::Ok); // twice is harmless
    ASSERT_EQ(handle->SetAltSetting(0, 1), Status::Ok);
    EXPECT_NE(handle->SetAltSetting(0, 2), Status::Ok); // there are two alternate settings

    std::vector<std::uint8_t> reply;
    auto r = this->GetStatus(*handle, &reply);
    ASSERT_EQ(r.status, Status::Ok);
    EXPECT_EQ(r.length, 6u);
    EXPECT_EQ(reply[0], 0x00); // OK
    EXPECT_EQ(reply[4], 2);    // dfuIDLE

    r = this->GetStatus(*handle);
    EXPECT_EQ(r.status, Status::Pipe);
    EXPECT_EQ(r.length, 0u);

    // The stall was the device's answer, not the end of the link: the device says what happened.
    r = this->GetStatus(*handle, &reply);
    ASSERT_EQ(r.status, Status::Ok);
    EXPECT_EQ(reply[0], 0x0F); // errSTALLEDPKT
    EXPECT_EQ(reply[4], 10);   // dfuERROR
    EXPECT_EQ(handle->ReleaseInterface(0), Status::Ok);
}

TYPED_TEST(TransportContract, UnplugGivesNoDeviceThenNotFound)
{
    ASSERT_NO_FATAL_FAILURE(this->Start("bcd=0x0300;bcd=0x0301"));
    const auto devices = this->List();
    ASSERT_EQ(devices.size(), 2u);
    std::unique_ptr<DeviceHandle> gone, stays;
    ASSERT_EQ(this->transport->Open(devices[0].path, gone), Status::Ok);
    ASSERT_EQ(this->transport->Open(devices[1].path, stays), Status::Ok);

    this->Control("unplug 1");
    const auto after = this->List();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].path, devices[1].path);

    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(this->GetStatus(*gone).status, Status::NoDevice);
    EXPECT_EQ(gone->GetDeviceDescriptor(bytes), Status::NoDevice);
    std::unique_ptr<DeviceHandle> again;
    EXPECT_EQ(this->transport->Open(devices[0].path, again), Status::NotFound);
    EXPECT_EQ(this->GetStatus(*stays).status, Status::Ok);
    EXPECT_EQ(CollectEvents(*this->transport, 1), std::vector<std::string>{"-1-1"});
}

TYPED_TEST(TransportContract, DeviceThatVanishesDuringARequest)
{
    ASSERT_NO_FATAL_FAILURE(this->Start("fault=unplug@getstatus"));
    const auto devices = this->List();
    ASSERT_EQ(devices.size(), 1u);
    std::unique_ptr<DeviceHandle> handle;
    ASSERT_EQ(this->transport->Open(devices[0].path, handle), Status::Ok);
    EXPECT_EQ(this->GetStatus(*handle).status, Status::NoDevice);
    EXPECT_EQ(this->GetStatus(*handle).status, Status::NoDevice);
    EXPECT_TRUE(this->List().empty());
    EXPECT_EQ(this->transport->Open(devices[0].path, handle), Status::NotFound);
    EXPECT_EQ(CollectEvents(*this->transport, 1), std::vector<std::string>{"-1-1"});
}

TYPED_TEST(TransportContract, DetachAndResetReenumerateAtTheSameLocation)
{
    ASSERT_NO_FATAL_FAILURE(this->Start("mode=app"));
    auto handle = this->OpenFirst();
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(handle->ClaimInterface(0), Status::Ok);
    ASSERT_EQ(handle->ControlTransfer(kDetach, {}, 1000ms).status, Status::Ok);
    EXPECT_EQ(this->GetStatus(*handle).status, Status::NoDevice); // the old handle is dead
    EXPECT_EQ(CollectEvents(*this->transport, 2), (std::vector<std::string>{"-1-1", "+1-1"}));
    auto devices = this->List();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].path, "USB:1-1:VID_0483&PID_DF11" + std::string(kDfuGuid));

    ASSERT_EQ(this->transport->Open(devices[0].path, handle), Status::Ok);
    const Status reset = handle->ResetDevice();
    EXPECT_TRUE(reset == Status::Ok || reset == Status::NotFound) << StatusName(reset);
    EXPECT_EQ(this->GetStatus(*handle).status, Status::NoDevice);
    EXPECT_EQ(CollectEvents(*this->transport, 2), (std::vector<std::string>{"-1-1", "+1-1"}));
    EXPECT_EQ(this->List().size(), 1u);
}

TYPED_TEST(TransportContract, ArrivalAndRemovalOfAnyDeviceAreEvents)
{
    ASSERT_NO_FATAL_FAILURE(this->Start(""));
    EXPECT_TRUE(this->transport->WaitForEvents(0ms).empty());

    this->Control("plug mode=other"); // a mouse: an event, though never listed
    EXPECT_EQ(CollectEvents(*this->transport, 1), std::vector<std::string>{"+1-1"});
    EXPECT_TRUE(this->List().empty());

    this->Control("plug mode=app,bcd=0x0140");
    EXPECT_EQ(CollectEvents(*this->transport, 1), std::vector<std::string>{"+1-2"});
    const auto devices = this->List();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].path, "USB:1-2:VID_0483&PID_DF11" + std::string(kAppGuid));

    this->Control("unplug 1");
    EXPECT_EQ(CollectEvents(*this->transport, 1), std::vector<std::string>{"-1-1"});
    this->Control("unplug 2");
    EXPECT_EQ(CollectEvents(*this->transport, 1), std::vector<std::string>{"-1-2"});
    EXPECT_TRUE(this->transport->WaitForEvents(0ms).empty());
}

TYPED_TEST(TransportContract, InterruptWakesAWaiter)
{
    ASSERT_NO_FATAL_FAILURE(this->Start(""));
    std::atomic<bool> returned{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread waiter([&] {
        this->transport->WaitForEvents(60s);
        returned = true;
    });
    std::this_thread::sleep_for(100ms);
    this->transport->Interrupt();
    waiter.join();
    EXPECT_TRUE(returned);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s); // not the full minute
}

TYPED_TEST(TransportContract, WatcherCallsBackOnItsOwnThreadAndStops)
{
    ASSERT_NO_FATAL_FAILURE(this->Start(""));
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> seen;
    bool onCallerThread = false;
    const auto caller = std::this_thread::get_id();
    {
        DeviceWatcher watcher(*this->transport, [&](const DeviceEvent& e) {
            std::lock_guard lock(mutex);
            seen.push_back(test::EventText(e));
            onCallerThread = onCallerThread || std::this_thread::get_id() == caller;
            changed.notify_all();
        });
        // One at a time: a poller would not see a device that came and went between two lists.
        for (const char* line : {"plug mode=other", "plug mode=dfu", "unplug 1"}) {
            std::unique_lock lock(mutex);
            const std::size_t before = seen.size();
            lock.unlock();
            this->Control(line);
            lock.lock();
            changed.wait_for(lock, 10s, [&] { return seen.size() > before; });
        }
    }
    const auto start = std::chrono::steady_clock::now();
    {
        DeviceWatcher idle(*this->transport, [](const DeviceEvent&) {});
    } // stopped before its first wait ends
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    std::lock_guard lock(mutex);
    EXPECT_FALSE(onCallerThread);
    EXPECT_EQ(seen, (std::vector<std::string>{"+1-1", "+1-2", "-1-1"}));
}

} // namespace
} // namespace nemora::usb
