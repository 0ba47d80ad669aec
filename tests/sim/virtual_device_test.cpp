#include "sim/virtual_device.h"
#include "sim_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/wait.h>
#include <unistd.h>

namespace nemora::sim {
namespace {

using test::DfuHost;
using usb::Status;
using namespace std::chrono_literals;

struct Fixture {
    explicit Fixture(DeviceConfig config = {})
    {
        std::string error;
        device = VirtualDevice::Create(config, clock, 1, error);
        EXPECT_TRUE(device) << error;
    }
    ManualClock clock;
    std::unique_ptr<VirtualDevice> device;
    DfuHost Host() { return DfuHost(*device); }
};

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    }
    return v;
}

std::string AsciiString(const std::vector<std::uint8_t>& d)
{
    std::string s;
    for (std::size_t i = 2; i + 1 < d.size(); i += 2) {
        s.push_back(static_cast<char>(d[i]));
    }
    return s;
}

TEST(VirtualDeviceDescriptors, DfuModeDescribesTwoTargetsAndDfuSeFunctionalDescriptor)
{
    DeviceConfig config;
    config.bcd = 0x1234;
    config.dfuVersion = 0x011B;
    Fixture f(config);
    std::vector<std::uint8_t> dev;
    ASSERT_EQ(f.device->GetDeviceDescriptor(dev), Status::Ok);
    ASSERT_EQ(dev.size(), 18u);
    EXPECT_EQ(dev[8] | dev[9] << 8, 0x0483);
    EXPECT_EQ(dev[10] | dev[11] << 8, 0xDF11);
    EXPECT_EQ(dev[12] | dev[13] << 8, 0x1234);

    std::vector<std::uint8_t> cfg;
    ASSERT_EQ(f.device->GetConfigDescriptor(cfg), Status::Ok);
    ASSERT_EQ(cfg.size(), 36u);
    EXPECT_EQ(cfg[2] | cfg[3] << 8, 36);
    // alt 0 and alt 1: class FE/01/02
    EXPECT_EQ(cfg[9 + 3], 0);
    EXPECT_EQ(cfg[18 + 3], 1);
    EXPECT_EQ(cfg[9 + 7], 0x02);
    // functional descriptor last: wTransferSize 2048, bcdDFUVersion from the settings
    EXPECT_EQ(cfg[28], 0x21);
    EXPECT_EQ(cfg[32] | cfg[33] << 8, 2048);
    EXPECT_EQ(cfg[34] | cfg[35] << 8, 0x011B);
    EXPECT_EQ(AsciiString(f.device->StringDescriptor(cfg[9 + 8])), "@Internal Flash  /0x08000000/64*001Kg");
    EXPECT_EQ(AsciiString(f.device->StringDescriptor(cfg[18 + 8])), "@Option Bytes  /0x1FFFF800/01*016 e");
    EXPECT_EQ(AsciiString(f.device->StringDescriptor(dev[16])), "NEMORASIM001");
}

TEST(VirtualDeviceDescriptors, AppAndOtherModes)
{
    DeviceConfig app;
    app.mode = Mode::App;
    Fixture a(app);
    std::vector<std::uint8_t> cfg;
    ASSERT_EQ(a.device->GetConfigDescriptor(cfg), Status::Ok);
    EXPECT_EQ(cfg[9 + 7], 0x01); // run-time protocol
    EXPECT_EQ(cfg.size(), 27u);

    DeviceConfig other;
    other.mode = Mode::Other;
    Fixture o(other);
    ASSERT_EQ(o.device->GetConfigDescriptor(cfg), Status::Ok);
    EXPECT_EQ(cfg[9 + 5], 0x03); // HID, no DFU interface
    EXPECT_EQ(DfuHost(*o.device).GetStatus().transfer, Status::Pipe);
}

TEST(VirtualDeviceStates, CommandsGoThroughBusyAndBackToIdle)
{
    Fixture f;
    auto host = f.Host();
    EXPECT_EQ(host.Out(kDfuDnload, 0, {0x21, 0x00, 0x04, 0x00, 0x08}).length, 5u);
    auto s = host.GetStatus();
    EXPECT_EQ(s.state, kDfuDnBusy);
    EXPECT_GT(s.poll, 0u); // hosts need a non-zero poll while busy
    s = host.GetStatus();
    EXPECT_EQ(s.state, kDfuDnloadIdle);
    EXPECT_EQ(s.status, kStatusOk);
    EXPECT_EQ(f.device->AddressPointer(), 0x08000400u);

    // UPLOAD is not allowed from dfuDNLOAD-IDLE: stall, dfuERROR, errSTALLEDPKT; CLRSTATUS recovers.
    EXPECT_EQ(host.In(kDfuUpload, 2, 16).status, Status::Pipe);
    s = host.GetStatus();
    EXPECT_EQ(s.state, kDfuError);
    EXPECT_EQ(s.status, kErrStalledPkt);
    EXPECT_EQ(host.Out(kDfuClrStatus, 0).status, Status::Ok);
    EXPECT_EQ(host.GetStatus().state, kDfuIdle);
    // CLRSTATUS outside dfuERROR is itself an error
    EXPECT_EQ(host.Out(kDfuClrStatus, 0).status, Status::Pipe);
    EXPECT_EQ(host.Out(kDfuClrStatus, 0).status, Status::Ok);

    // ABORT from dfuDNLOAD-IDLE and from dfuUPLOAD-IDLE
    host.SetAddress(0x08000000);
    EXPECT_EQ(host.Abort().status, Status::Ok);
    EXPECT_EQ(host.In(kDfuUpload, 2, 2048).length, 2048u);
    std::vector<std::uint8_t> state;
    host.In(kDfuGetState, 0, 1, &state);
    EXPECT_EQ(state.at(0), kDfuUploadIdle);
    EXPECT_EQ(host.Abort().status, Status::Ok);
    host.In(kDfuGetState, 0, 1, &state);
    EXPECT_EQ(state.at(0), kDfuIdle);
}

TEST(VirtualDeviceStates, BadCommandsAndBlocksStall)
{
    Fixture f;
    auto host = f.Host();
    EXPECT_EQ(host.Out(kDfuDnload, 0, {0x55}).status, Status::Pipe); // unknown command
    EXPECT_EQ(host.GetStatus().status, kErrStalledPkt);
    host.Out(kDfuClrStatus, 0);
    EXPECT_EQ(host.Out(kDfuDnload, 1, {1, 2}).status, Status::Pipe); // block 1 is not used
    host.Out(kDfuClrStatus, 0);
    EXPECT_EQ(host.Out(kDfuDnload, 2, std::vector<std::uint8_t>(2049, 0)).status, Status::Pipe);
    host.Out(kDfuClrStatus, 0);
    // An address outside every target: errTARGET on the second status request
    const auto s = host.SetAddress(0x20000000);
    EXPECT_EQ(s.state, kDfuError);
    EXPECT_EQ(s.status, kErrTarget);
}

TEST(VirtualDeviceMemory, BlocksAreAddressedFromThePointerInTransferSizeSteps)
{
    Fixture f;
    auto host = f.Host();
    host.SetAddress(0x08001000);
    const auto a = Pattern(2048, 1);
    const auto b = Pattern(100, 9);
    EXPECT_EQ(host.Write(2, a).state, kDfuDnloadIdle);
    EXPECT_EQ(host.Write(3, b).state, kDfuDnloadIdle);
    const auto flash = f.device->Flash();
    EXPECT_TRUE(std::equal(a.begin(), a.end(), flash.begin() + 0x1000));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), flash.begin() + 0x1800));

    // Upload with a short last block: block 3 still starts at pointer + 2048, not pointer + wLength.
    host.Abort();
    std::vector<std::uint8_t> got;
    EXPECT_EQ(host.In(kDfuUpload, 3, 100, &got).length, 100u);
    EXPECT_EQ(got, b);
    // Reading stops at the end of flash: a short frame, and the device is idle again.
    host.Abort();
    host.SetAddress(0x0800FF00);
    host.Abort();
    EXPECT_EQ(host.In(kDfuUpload, 2, 2048, &got).length, 256u);
    EXPECT_EQ(host.GetStatus().state, kDfuIdle);
    // The Get command lists the supported commands.
    EXPECT_EQ(host.In(kDfuUpload, 0, 16, &got).length, 4u);
    EXPECT_EQ(got, (std::vector<std::uint8_t>{0x00, 0x21, 0x41, 0x92}));
}

TEST(VirtualDeviceMemory, ProgrammingNeedsErasedFlash)
{
    Fixture f;
    auto host = f.Host();
    host.SetAddress(0x08000400);
    const auto data = Pattern(64, 3);
    EXPECT_EQ(host.Write(2, data).status, kStatusOk);
    // The same half-words again without an erase: errPROG.
    auto s = host.Write(2, Pattern(64, 4));
    EXPECT_EQ(s.state, kDfuError);
    EXPECT_EQ(s.status, kErrProg);
    host.Out(kDfuClrStatus, 0);
    // Erasing by an address in the middle of the page clears exactly that 1 KiB page.
    f.device->LoadFlash(0x3FF, std::vector<std::uint8_t>{0x11});
    f.device->LoadFlash(0x800, std::vector<std::uint8_t>{0x22});
    EXPECT_EQ(host.ErasePage(0x08000512).status, kStatusOk);
    EXPECT_EQ(f.device->Flash()[0x3FF], 0x11);
    EXPECT_EQ(f.device->Flash()[0x800], 0x22);
    for (std::uint32_t i = 0x400; i < 0x800; ++i) {
        ASSERT_EQ(f.device->Flash()[i], 0xFF) << i;
    }
    host.SetAddress(0x08000400);
    EXPECT_EQ(host.Write(2, Pattern(64, 4)).status, kStatusOk);
    // Mass erase clears everything.
    EXPECT_EQ(host.Command({0x41}).status, kStatusOk);
    EXPECT_EQ(std::count(f.device->Flash().begin(), f.device->Flash().end(), 0xFF), kFlashSize);
    // The option bytes are not erasable.
    EXPECT_EQ(host.ErasePage(kOptionBytesBase).status, kErrTarget);
}

TEST(VirtualDeviceProtection, ReadProtectionBlocksUploadEraseAndWriteUntilUnprotect)
{
    DeviceConfig config;
    config.protect = true;
    Fixture f(config);
    f.device->LoadFlash(0, std::vector<std::uint8_t>{1, 2, 3, 4});
    auto host = f.Host();
    // The option-bytes probe: select alt 1, set the pointer to flash, upload 16 bytes, look at the state.
    ASSERT_EQ(f.device->SetAltSetting(0, 1), Status::Ok);
    EXPECT_EQ(host.SetAddress(0x08000000).state, kDfuDnloadIdle);
    host.Abort();
    EXPECT_EQ(host.In(kDfuUpload, 2, 16).status, Status::Pipe);
    auto s = host.GetStatus();
    EXPECT_EQ(s.state, kDfuError);
    EXPECT_EQ(s.status, kErrVendor);
    host.Out(kDfuClrStatus, 0);
    EXPECT_EQ(host.ErasePage(0x08000000).status, kErrVendor);
    host.Out(kDfuClrStatus, 0);
    EXPECT_EQ(f.device->Flash()[0], 1); // untouched

    // Read unprotect: busy, then the part wipes its flash and restarts without a second answer.
    host.Out(kDfuDnload, 0, {0x92});
    EXPECT_EQ(host.GetStatus().state, kDfuDnBusy);
    EXPECT_EQ(f.device->TakeBusAction(), BusAction::Reenumerate);
    EXPECT_FALSE(f.device->ReadProtected());
    EXPECT_EQ(f.device->Flash()[0], 0xFF);
    host.SetAddress(0x1FFFF800);
    host.Abort();
    std::vector<std::uint8_t> ob;
    EXPECT_EQ(host.In(kDfuUpload, 2, 16, &ob).length, 16u);
    EXPECT_EQ(ob[0], 0xA5);
}

TEST(VirtualDeviceProtection, WritingTheOptionBytesAppliesThemThroughAReset)
{
    Fixture f;
    auto host = f.Host();
    ASSERT_EQ(f.device->SetAltSetting(0, 1), Status::Ok);
    host.SetAddress(kOptionBytesBase);
    std::vector<std::uint8_t> ob(16, 0xFF);
    ob[0] = 0x00; // RDP other than 0xA5: read protection on
    ob[1] = 0xFF;
    host.Out(kDfuDnload, 2, ob);
    EXPECT_EQ(host.GetStatus().state, kDfuDnBusy); // the only answer before the reset
    EXPECT_EQ(f.device->TakeBusAction(), BusAction::Reenumerate);
    EXPECT_TRUE(f.device->ReadProtected());
    EXPECT_EQ(f.device->AltSetting(), 0);
}

TEST(VirtualDeviceDataFlash, DataOneAddsAThirdTargetThatErasesWritesAndReadsOnItsOwn)
{
    Fixture plain;
    EXPECT_EQ(plain.device->SetAltSetting(0, 2), Status::NotFound);
    EXPECT_TRUE(plain.device->DataFlash().empty());

    DeviceConfig config;
    config.dataFlash = true;
    Fixture f(config);
    std::vector<std::uint8_t> cfg;
    ASSERT_EQ(f.device->GetConfigDescriptor(cfg), Status::Ok);
    ASSERT_EQ(cfg.size(), 9u + 3 * 9 + 9);
    EXPECT_EQ(cfg[9 + 18 + 3], 2); // bAlternateSetting of the third interface descriptor
    EXPECT_EQ(AsciiString(f.device->StringDescriptor(cfg[9 + 18 + 8])), "@Data Flash  /0x08080000/04*001Kg");
    ASSERT_EQ(f.device->SetAltSetting(0, 2), Status::Ok);

    auto host = f.Host();
    const auto data = Pattern(1500, 9);
    host.SetAddress(kDataFlashBase + 0x400);
    EXPECT_EQ(host.Write(2, data).status, kStatusOk);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), f.device->DataFlash().begin() + 0x400));
    EXPECT_EQ(std::count(f.device->Flash().begin(), f.device->Flash().end(), 0xFF), kFlashSize); // main untouched
    host.SetAddress(kDataFlashBase + 0x400);
    EXPECT_EQ(host.Write(2, data).status, kErrProg); // flash rules: not erased
    host.Out(kDfuClrStatus, 0);
    std::vector<std::uint8_t> back;
    host.SetAddress(kDataFlashBase + 0x400);
    host.Abort();
    EXPECT_EQ(host.In(kDfuUpload, 2, 1500, &back).length, 1500u);
    EXPECT_EQ(back, data);
    host.Abort();
    // Erasing one page of it leaves the other pages and main flash alone.
    EXPECT_EQ(host.ErasePage(kDataFlashBase + 0x400).status, kStatusOk);
    EXPECT_EQ(f.device->DataFlash()[0x400], 0xFF);
    EXPECT_EQ(f.device->DataFlash()[0x800], data[0x400]);
    // The area ends at 4 KiB.
    EXPECT_EQ(host.SetAddress(kDataFlashBase + kDataFlashSize).status, kErrTarget);
}

TEST(VirtualDeviceModes, LeaveReportsManifestThenRestartsInApplicationModeAndDetachComesBack)
{
    Fixture f;
    auto host = f.Host();
    EXPECT_EQ(host.Out(kDfuDnload, 2).status, Status::Ok); // zero length: leave
    EXPECT_EQ(host.GetStatus().state, kDfuManifest);
    EXPECT_EQ(f.device->TakeBusAction(), BusAction::Reenumerate);
    EXPECT_EQ(f.device->CurrentMode(), Mode::App);
    EXPECT_EQ(host.GetStatus().state, kAppIdle);
    EXPECT_EQ(host.In(kDfuUpload, 2, 16).status, Status::Pipe);
    EXPECT_EQ(host.Out(kDfuDetach, 1000).status, Status::Ok);
    EXPECT_EQ(f.device->TakeBusAction(), BusAction::Reenumerate);
    EXPECT_EQ(f.device->CurrentMode(), Mode::Dfu);
    EXPECT_EQ(host.GetStatus().state, kDfuIdle);
}

// --- faults ---

Fixture WithFault(const std::string& text)
{
    std::string error;
    auto config = ParseDeviceConfig(text, error);
    EXPECT_TRUE(config) << error;
    return Fixture(*config);
}

TEST(VirtualDeviceFaults, UnplugAtTheNthRequestOfItsKind)
{
    auto f = WithFault("fault=unplug@write:2");
    auto host = f.Host();
    host.SetAddress(0x08000000);
    EXPECT_EQ(host.Write(2, Pattern(16, 1)).status, kStatusOk);
    EXPECT_EQ(host.Out(kDfuDnload, 2, Pattern(16, 1)).status, Status::NoDevice);
    EXPECT_EQ(f.device->TakeBusAction(), BusAction::Vanish);
    EXPECT_EQ(host.GetStatus().transfer, Status::NoDevice);
}

TEST(VirtualDeviceFaults, StallAndStatusFaults)
{
    auto f = WithFault("fault=stall@upload:1,fault=status=errPROG@write:1");
    auto host = f.Host();
    EXPECT_EQ(host.In(kDfuUpload, 2, 16).status, Status::Pipe);
    EXPECT_EQ(host.GetStatus().status, kErrStalledPkt);
    host.Out(kDfuClrStatus, 0);
    EXPECT_EQ(host.In(kDfuUpload, 2, 16).length, 16u); // only the first one stalls
    host.Abort();
    host.SetAddress(0x08000000);
    EXPECT_EQ(host.Out(kDfuDnload, 2, Pattern(16, 1)).length, 16u);
    const auto s = host.GetStatus();
    EXPECT_EQ(s.state, kDfuError);
    EXPECT_EQ(s.status, kErrProg);
    EXPECT_EQ(f.device->Flash()[0], 0xFF); // the write did not happen
}

TEST(VirtualDeviceFaults, NoDescFailsDescriptorRequestsFromTheNthOn)
{
    auto f = WithFault("fault=nodesc@descriptor:2");
    std::vector<std::uint8_t> d;
    EXPECT_EQ(f.device->GetDeviceDescriptor(d), Status::Ok);
    EXPECT_EQ(f.device->GetConfigDescriptor(d), Status::Io);
    std::vector<std::uint8_t> buf(255);
    EXPECT_EQ(f.device->Control({0x80, 6, 0x0304, 0x0409, 255}, buf).status, Status::Pipe);
    EXPECT_EQ(f.device->Control({0x80, 6, 0x0304, 0x0409, 255}, buf).status, Status::Pipe);
    // DFU requests still work
    EXPECT_EQ(f.Host().GetStatus().state, kDfuIdle);
}

// --- timing ---

TEST(VirtualDeviceTiming, FullSpeedFloorIsWireTimePlusImposedBusyTime)
{
    DeviceConfig config;
    config.timing = Timing::FullSpeed;
    Fixture f(config);
    const TimingProfile p = ProfileFor(Timing::FullSpeed);
    auto host = f.Host();
    const auto start = f.clock.Now();

    host.Out(kDfuDnload, 0, {0x41, 0x00, 0x00, 0x00, 0x08});
    auto s = host.GetStatus();
    EXPECT_EQ(s.state, kDfuDnBusy);
    EXPECT_EQ(s.poll, 20u);
    // Asking again too early: still busy, with what remains.
    s = host.GetStatus();
    EXPECT_EQ(s.state, kDfuDnBusy);
    EXPECT_EQ(s.poll, 19u); // 20 ms minus the 1 ms the status request took
    f.clock.Advance(std::chrono::milliseconds(s.poll));
    EXPECT_EQ(host.GetStatus().state, kDfuDnloadIdle);

    // Four transfers with data stages of 5, 6, 6 and 6 bytes, one page erase.
    const Nanos expected = 4 * p.controlTransfer + 23 * p.perDataByte + p.pageErase;
    EXPECT_EQ(f.device->Floor(), expected);
    // The wire time passed on the device's clock; the busy time is the host's to wait.
    EXPECT_EQ(f.clock.Now() - start, 4 * p.controlTransfer + 23 * p.perDataByte + 19ms);

    // Programming 2 KiB costs 1024 half-words.
    host.SetAddress(0x08000000);
    f.clock.Advance(10ms);
    const Nanos before = f.device->Floor();
    host.Out(kDfuDnload, 2, Pattern(2048, 5));
    s = host.GetStatus();
    EXPECT_EQ(s.poll, 54u); // 53.76 ms rounded up
    EXPECT_EQ(f.device->Floor() - before, 2 * p.controlTransfer + 2054 * p.perDataByte + 1024 * p.halfWordProgram);
}

TEST(VirtualDeviceTiming, InstantTakesNoTimeAndImposesNothing)
{
    Fixture f;
    auto host = f.Host();
    host.ErasePage(0x08000000);
    host.SetAddress(0x08000000);
    host.Write(2, Pattern(2048, 1));
    EXPECT_EQ(f.clock.Now(), Nanos{0});
    EXPECT_EQ(f.device->Floor(), Nanos{0});
}

// --- flash file ---

TEST(VirtualDeviceFlashFile, CreatedErasedWrittenThroughAndWrongSizeRefused)
{
    test::TempDir dir;
    const auto path = dir.Path() / "flash.bin";
    {
        DeviceConfig config;
        config.flashPath = path.string();
        Fixture f(config);
        ASSERT_EQ(std::filesystem::file_size(path), kFlashSize);
        auto host = f.Host();
        host.SetAddress(0x08000800);
        host.Write(2, {0xDE, 0xAD, 0xBE});
        // Visible in the file at once, before the device goes away.
        std::ifstream in(path, std::ios::binary);
        std::vector<char> bytes(kFlashSize);
        in.read(bytes.data(), kFlashSize);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[0x800]), 0xDE);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[0x802]), 0xBE);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[0x803]), 0xFF);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[0]), 0xFF);
    }
    {
        // A second device on the same file starts from its contents.
        DeviceConfig config;
        config.flashPath = path.string();
        Fixture f(config);
        EXPECT_EQ(f.device->Flash()[0x801], 0xAD);
    }
    std::filesystem::resize_file(path, 100);
    DeviceConfig config;
    config.flashPath = path.string();
    ManualClock clock;
    std::string error;
    EXPECT_FALSE(VirtualDevice::Create(config, clock, 1, error));
    EXPECT_NE(error.find("100 bytes"), std::string::npos) << error;
    EXPECT_EQ(std::filesystem::file_size(path), 100u); // the user's file is left alone
}

TEST(VirtualDeviceFlashFile, ProgramsOnOneFileSeeEachOthersChangesAndKeepThem)
{
    test::TempDir dir;
    DeviceConfig config;
    config.flashPath = (dir.Path() / "flash.bin").string();
    Fixture console(config);
    auto host = console.Host();
    host.SetAddress(0x08000400);
    ASSERT_EQ(host.Write(2, {0x11, 0x22}).status, kStatusOk);

    // Another program on the same file, while this one stays open: it erases that page and programs the next.
    const pid_t child = ::fork();
    if (child == 0) {
        Fixture cli(config);
        auto other = cli.Host();
        const bool ok = other.ErasePage(0x08000400).status == kStatusOk &&
                        other.SetAddress(0x08000800).status == kStatusOk &&
                        other.Write(2, {0x33, 0x44}).status == kStatusOk;
        std::_Exit(ok ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // Seen at once, by upload and in process.
    host.Abort();
    std::vector<std::uint8_t> got;
    ASSERT_EQ(host.In(kDfuUpload, 2, 0x402, &got).length, 0x402u);
    EXPECT_EQ(got[0], 0xFF);
    EXPECT_EQ(got[0x400], 0x33);
    EXPECT_EQ(console.device->Flash()[0x801], 0x44);
    host.Abort();
    // Programming goes by the file's bytes: the erased page takes new data, and a block that skips the other
    // program's half-word (0xFFFF) leaves it as that program wrote it.
    host.SetAddress(0x08000400);
    EXPECT_EQ(host.Write(2, {0x55, 0x66}).status, kStatusOk);
    host.SetAddress(0x08000800);
    EXPECT_EQ(host.Write(2, {0xFF, 0xFF, 0x77, 0x88}).status, kStatusOk);
    std::ifstream in(config.flashPath, std::ios::binary);
    std::vector<char> bytes(kFlashSize);
    in.read(bytes.data(), kFlashSize);
    EXPECT_EQ(std::vector<char>(bytes.begin() + 0x400, bytes.begin() + 0x402), (std::vector<char>{0x55, 0x66}));
    EXPECT_EQ(std::vector<char>(bytes.begin() + 0x800, bytes.begin() + 0x804),
              (std::vector<char>{0x33, 0x44, 0x77, static_cast<char>(0x88)}));
}

TEST(VirtualDeviceFlashFile, AFileCutShortByAnotherProgramFailsRequestsInsteadOfTheProcess)
{
    test::TempDir dir;
    DeviceConfig config;
    config.flashPath = (dir.Path() / "flash.bin").string();
    Fixture f(config);
    std::filesystem::resize_file(config.flashPath, 100);
    auto host = f.Host();
    EXPECT_TRUE(f.device->Flash().empty());
    EXPECT_EQ(host.In(kDfuUpload, 2, 16).status, Status::Pipe);
    EXPECT_EQ(host.GetStatus().status, kErrUnknown);
    host.Out(kDfuClrStatus, 0);
    EXPECT_EQ(host.ErasePage(0x08000000).status, kErrWrite);
    EXPECT_NE(f.device->FlashFileError().find("cut to 100 bytes"), std::string::npos) << f.device->FlashFileError();
}

} // namespace
} // namespace nemora::sim
