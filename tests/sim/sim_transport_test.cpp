#include "sim/sim_transport.h"
#include "sim_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace nemora::sim {
namespace {

using usb::DeviceEvent;
using usb::InterfaceMode;
using usb::Status;
using namespace std::chrono_literals;

std::vector<DeviceConfig> Devices(const char* text)
{
    auto r = ParseSimConfig(text);
    EXPECT_TRUE(r.Ok()) << r.error;
    return r.devices;
}

std::unique_ptr<SimTransport> Make(const char* text, std::string control = {})
{
    std::string error;
    auto t = SimTransport::Create(Devices(text), std::move(control), error);
    EXPECT_TRUE(t) << error;
    return t;
}

std::vector<usb::DeviceInfo> List(usb::Transport& t)
{
    std::vector<usb::DeviceInfo> out;
    EXPECT_EQ(t.Enumerate(out), Status::Ok);
    return out;
}

std::string Kinds(const std::vector<DeviceEvent>& events)
{
    std::string s;
    for (const auto& e : events) {
        s += (e.kind == DeviceEvent::Kind::Arrival ? "+" : "-") + e.location + " ";
    }
    return s;
}

TEST(SimTransport, ListsUpdateModeFirstNeverOtherDevicesAndPathsEndInTheClassGuid)
{
    auto t = Make("mode=app,bcd=0x0300;mode=other;mode=dfu,vid=0xabcd,pid=0x00ef");
    const auto list = List(*t);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].path, "USB:1-3:VID_ABCD&PID_00EF#{3FE809AB-FB91-4CB5-A643-69670D52366E}");
    EXPECT_EQ(list[0].mode, InterfaceMode::Dfu);
    EXPECT_EQ(list[1].path, "USB:1-1:VID_0483&PID_DF11#{CB979912-5029-420A-AEB1-34FC0A7D5726}");
    EXPECT_EQ(list[1].bcdDevice, 0x0300);
    EXPECT_EQ(usb::ModeOfPath(usb::ToUpperAscii(list[1].path)), InterfaceMode::Application);
    EXPECT_EQ(usb::ModeOfPath("x#{3fe809ab-fb91-4cb5-a643-69670d52366e}"), InterfaceMode::Dfu);
    EXPECT_EQ(SimTransport::LocationOfPath(list[0].path), 3u);

    // Paths open without regard to case; strings come through the handle.
    std::unique_ptr<usb::DeviceHandle> h;
    std::string lower = list[0].path;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    ASSERT_EQ(t->Open(lower, h), Status::Ok);
    std::string text;
    EXPECT_EQ(h->GetStringDescriptor(4, text), Status::Ok);
    EXPECT_EQ(text, "@Internal Flash  /0x08000000/64*001Kg");
    EXPECT_EQ(t->Open("USB:1-9:VID_0483&PID_DF11#{3FE809AB-FB91-4CB5-A643-69670D52366E}", h), Status::NotFound);
    // Devices present at start are not arrivals.
    EXPECT_TRUE(t->WaitForEvents(0ms).empty());
}

TEST(SimTransport, LeavingDfuModeReenumeratesAtTheSameLocationInApplicationMode)
{
    auto t = Make("mode=dfu");
    const std::string dfuPath = List(*t).at(0).path;
    std::unique_ptr<usb::DeviceHandle> h;
    ASSERT_EQ(t->Open(dfuPath, h), Status::Ok);
    ASSERT_EQ(h->ClaimInterface(0), Status::Ok);
    std::vector<std::uint8_t> none;
    EXPECT_EQ(h->ControlTransfer({0x21, kDfuDnload, 2, 0, 0}, none, 5000ms).status, Status::Ok);
    std::vector<std::uint8_t> status(6);
    ASSERT_EQ(h->ControlTransfer({0xA1, kDfuGetStatus, 0, 0, 6}, status, 5000ms).length, 6u);
    EXPECT_EQ(status[4], kDfuManifest);
    // The old handle is dead; the device is back as an application at the same place.
    EXPECT_EQ(h->ControlTransfer({0xA1, kDfuGetStatus, 0, 0, 6}, status, 5000ms).status, Status::NoDevice);
    EXPECT_EQ(Kinds(t->WaitForEvents(0ms)), "-1-1 +1-1 ");
    const auto list = List(*t);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].mode, InterfaceMode::Application);
    EXPECT_EQ(list[0].path.substr(0, 8), dfuPath.substr(0, 8));
    EXPECT_EQ(t->Open(dfuPath, h), Status::NotFound);

    // DETACH brings it back.
    ASSERT_EQ(t->Open(list[0].path, h), Status::Ok);
    EXPECT_EQ(h->ControlTransfer({0x21, kDfuDetach, 1000, 0, 0}, none, 5000ms).status, Status::Ok);
    EXPECT_EQ(List(*t).at(0).path, dfuPath);
}

TEST(SimTransport, PlugUnplugAndFaultUnplugAreEventsIncludingDevicesThatAreNotListed)
{
    auto t = Make("fault=unplug@getstatus:1");
    std::string error;
    EXPECT_EQ(t->Plug("mode=other", error), 2u);
    EXPECT_EQ(t->Plug("mode=bogus", error), 0u);
    EXPECT_NE(error.find("'bogus' for mode"), std::string::npos);
    EXPECT_EQ(List(*t).size(), 1u);
    EXPECT_EQ(t->Flash(2)->size(), kFlashSize);
    EXPECT_TRUE(t->Unplug(2));
    EXPECT_FALSE(t->Unplug(2));
    EXPECT_FALSE(t->Flash(2));
    EXPECT_EQ(Kinds(t->WaitForEvents(0ms)), "+1-2 -1-2 ");

    std::unique_ptr<usb::DeviceHandle> h;
    ASSERT_EQ(t->Open(List(*t).at(0).path, h), Status::Ok);
    std::vector<std::uint8_t> status(6);
    EXPECT_EQ(h->ControlTransfer({0xA1, kDfuGetStatus, 0, 0, 6}, status, 5000ms).status, Status::NoDevice);
    EXPECT_EQ(Kinds(t->WaitForEvents(0ms)), "-1-1 ");
    EXPECT_TRUE(List(*t).empty());
}

TEST(SimTransport, WaitForEventsWakesOnPlugFromAnotherThreadAndOnInterrupt)
{
    auto t = Make("");
    std::thread plugger([&] {
        std::this_thread::sleep_for(20ms);
        std::string error;
        t->GetBus().Plug(DeviceConfig{}, error);
    });
    const auto events = t->WaitForEvents(10s);
    plugger.join();
    EXPECT_EQ(Kinds(events), "+1-1 ");
    std::thread interrupter([&] {
        std::this_thread::sleep_for(20ms);
        t->Interrupt();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(t->WaitForEvents(10s).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    interrupter.join();
}

TEST(SimTransport, ControlFileCommandsPlugUnplugAndReset)
{
    test::TempDir dir;
    const auto control = (dir.Path() / "control").string();
    {
        std::ofstream out(control);
        out << "plug mode=app,bcd=0x0300\n";
    }
    // A device plugged before start-up is present from the start.
    auto t = Make("mode=dfu", control);
    ASSERT_EQ(List(*t).size(), 2u);
    EXPECT_EQ(List(*t)[1].bcdDevice, 0x0300);
    {
        std::ofstream out(control, std::ios::app);
        out << "plug not a device\nunplug 1\nunplug x\nplug mode=other\nplug mode=dfu,bcd=0x0140";
    }
    // The unfinished last line waits for its newline.
    auto list = List(*t);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].bcdDevice, 0x0300);
    {
        std::ofstream out(control, std::ios::app);
        out << "\n";
    }
    EXPECT_EQ(Kinds(t->WaitForEvents(2s)), "-1-1 +1-1 +1-3 ");
    list = List(*t);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].bcdDevice, 0x0140); // the new DFU device at location 1, listed first
    // Emptying the file goes back to the devices NEMORA_SIM lists.
    std::ofstream(control, std::ios::trunc).close();
    list = List(*t);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].bcdDevice, 0x004C);
}

// Leaves DFU mode through a zero-length DNLOAD and the status request that starts the manifestation.
void Leave(usb::Transport& t, const std::string& path)
{
    std::unique_ptr<usb::DeviceHandle> h;
    ASSERT_EQ(t.Open(path, h), Status::Ok);
    std::vector<std::uint8_t> none, status(6);
    ASSERT_EQ(h->ControlTransfer({0x21, kDfuDnload, 2, 0, 0}, none, 5000ms).status, Status::Ok);
    ASSERT_EQ(h->ControlTransfer({0xA1, kDfuGetStatus, 0, 0, 6}, status, 5000ms).status, Status::Ok);
}

TEST(SimTransport, ModeChangesReachEveryBusOnTheControlFileUntilReset)
{
    // Each transport stands for a process of its own.
    test::TempDir dir;
    const auto control = (dir.Path() / "control").string();
    auto a = Make("serial=FIRST;serial=SECOND", control);
    auto b = Make("serial=FIRST;serial=SECOND", control);
    auto list = List(*a);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].serial, "FIRST");
    EXPECT_EQ(list[1].serial, "SECOND");

    Leave(*a, list[1].path);
    // A bus already running sees it at its next enumeration, as a re-enumeration; a later one from the start.
    list = List(*b);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].mode, InterfaceMode::Application);
    EXPECT_EQ(list[1].serial, "SECOND");
    EXPECT_EQ(Kinds(b->WaitForEvents(0ms)), "-1-2 +1-2 ");
    EXPECT_EQ(List(*Make("serial=FIRST;serial=SECOND", control))[1].mode, InterfaceMode::Application);

    // A detach in the second brings it back in the first.
    std::unique_ptr<usb::DeviceHandle> h;
    ASSERT_EQ(b->Open(list[1].path, h), Status::Ok);
    std::vector<std::uint8_t> none;
    EXPECT_EQ(h->ControlTransfer({0x21, kDfuDetach, 1000, 0, 0}, none, 5000ms).status, Status::Ok);
    EXPECT_EQ(List(*a)[1].mode, InterfaceMode::Dfu);

    // reset puts the listed devices back in their listed modes.
    Leave(*a, List(*a)[0].path);
    EXPECT_EQ(List(*b).back().mode, InterfaceMode::Application);
    std::ofstream(control, std::ios::app) << "reset\n";
    for (const auto& d : List(*b)) {
        EXPECT_EQ(d.mode, InterfaceMode::Dfu) << d.serial;
    }
}

TEST(SimTransport, AnAccessFaultRefusesEveryOpenFromTheNthOn)
{
    auto t = Make("fault=access@open:2");
    const std::string path = List(*t).at(0).path;
    std::unique_ptr<usb::DeviceHandle> h;
    EXPECT_EQ(t->Open(path, h), Status::Ok);
    h.reset();
    EXPECT_EQ(t->Open(path, h), Status::Access);
    EXPECT_EQ(t->Open(path, h), Status::Access);
    EXPECT_FALSE(h);
    EXPECT_EQ(List(*t).size(), 1u) << "still listed";
}

TEST(SimTransport, AnUnplugFromOutsideEndsTheNextRequest)
{
    test::TempDir dir;
    const auto control = (dir.Path() / "control").string();
    auto t = Make("mode=dfu", control);
    std::unique_ptr<usb::DeviceHandle> h;
    ASSERT_EQ(t->Open(List(*t)[0].path, h), Status::Ok);
    std::vector<std::uint8_t> status(6);
    ASSERT_EQ(h->ControlTransfer({0xA1, kDfuGetStatus, 0, 0, 6}, status, 5000ms).status, Status::Ok);
    std::ofstream(control, std::ios::app) << "unplug 1\n";
    // No enumeration or event wait in between: the request itself notices.
    EXPECT_EQ(h->ControlTransfer({0xA1, kDfuGetStatus, 0, 0, 6}, status, 5000ms).status, Status::NoDevice);
}

TEST(SimTransport, TimingFloorSumsEveryDeviceIncludingRemovedOnes)
{
    ManualClock clock;
    std::string error;
    auto t = SimTransport::Create(Devices("timing=fullspeed;timing=fullspeed"), {}, error, &clock);
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->GetCapabilities().timingFloor);
    for (const auto& info : List(*t)) {
        std::unique_ptr<usb::DeviceHandle> h;
        ASSERT_EQ(t->Open(info.path, h), Status::Ok);
        std::vector<std::uint8_t> status(6);
        h->ControlTransfer({0xA1, kDfuGetStatus, 0, 0, 6}, status, 5000ms);
    }
    const auto p = ProfileFor(Timing::FullSpeed);
    EXPECT_EQ(t->TimingFloor(), 2 * (p.controlTransfer + 6 * p.perDataByte));
    t->GetBus().Unplug(1);
    EXPECT_EQ(t->TimingFloor(), 2 * (p.controlTransfer + 6 * p.perDataByte));
}

TEST(SimTransport, EnvironmentSelectsTheTransportAndRejectsBadValues)
{
    std::string error;
    ::unsetenv("NEMORA_SIM");
    EXPECT_FALSE(CreateTransportFromEnvironment(error));
    EXPECT_TRUE(error.empty());
    ::setenv("NEMORA_SIM", "mode=dfu;vid=0xZZ", 1);
    EXPECT_FALSE(CreateTransportFromEnvironment(error));
    EXPECT_NE(error.find("'0xZZ' for vid"), std::string::npos) << error;
    ::setenv("NEMORA_SIM", "flash=/nonexistent-dir/flash.bin", 1);
    EXPECT_FALSE(CreateTransportFromEnvironment(error));
    EXPECT_NE(error.find("/nonexistent-dir/flash.bin"), std::string::npos) << error;
    ::setenv("NEMORA_SIM", "mode=dfu", 1);
    ::setenv("NEMORA_SIM_CONTROL", "/nonexistent-dir/control", 1);
    auto t = CreateTransportFromEnvironment(error);
    ASSERT_TRUE(t) << error;
    EXPECT_EQ(List(*t).size(), 1u);
}

} // namespace
} // namespace nemora::sim
