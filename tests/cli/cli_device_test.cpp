// nemora-cli list, flash, read and leave against virtual devices (NEMORA_SIM) in a child process.

#include "../dfuse/dfuse_test_util.h"
#include "cli_runner.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using dfuse_test::ReadBytes;
using namespace nemora::dfuse;

std::vector<std::uint8_t> Pattern(std::size_t size, int seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 13 + static_cast<std::size_t>(seed)) ^ (i >> 9));
    return bytes;
}

class CliDevice : public ::testing::Test {
protected:
    std::string P(const std::string& name) const { return (dir / name).string(); }

    // Runs the CLI with NEMORA_SIM set to `sim` and a private control file.
    CliResult Run(const std::vector<std::string>& args, const std::string& sim)
    {
        return RunCli(args, {"NEMORA_SIM=" + sim, "NEMORA_SIM_CONTROL=" + P("control")});
    }

    std::string WriteFile(std::uint16_t bcd, std::vector<Image> images)
    {
        const std::string path = P("firmware.vek");
        EXPECT_FALSE(WriteDfuFile(path, DfuFile{0x0483, 0xDF11, bcd, std::move(images)}));
        return path;
    }

    dfuse_test::ScratchDir dir;
};

TEST_F(CliDevice, ListShowsUpdateModeFirstAsTextAndJson)
{
    const std::string sim = "mode=app,bcd=0x0140;mode=dfu,bcd=0x004C;mode=other";
    CliResult r = Run({"list", "--json"}, sim);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("{\"path\":\"USB:1-2:VID_0483&PID_DF11#{3FE809AB-FB91-4CB5-A643-69670D52366E}\","
                         "\"mode\":\"dfu\",\"vid\":1155,\"pid\":57105,\"bcd_device\":76,"),
              1u)
        << r.out;
    EXPECT_NE(r.out.find("\"mode\":\"app\",\"vid\":1155,\"pid\":57105,\"bcd_device\":320,"), std::string::npos);
    EXPECT_NE(r.out.find("\"product_name\":"), std::string::npos);
    EXPECT_NE(r.out.find("\"firmware_version\":"), std::string::npos);

    r = Run({"list"}, sim);
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << "the mouse is not listed";
    EXPECT_LT(r.out.find("  dfu  "), r.out.find("  app  "));

    r = Run({"list", "--json"}, "");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "[]\n");
    EXPECT_EQ(Run({"list", "extra"}, "").exitCode, 2);
    EXPECT_EQ(Run({"list"}, "vid=0xZZ").exitCode, 1);
}

// After leaving update mode the device comes back with the firmware it runs, which the catalogue names.
TEST_F(CliDevice, LeaveSaysTheDeviceIsBackAndWhichFirmwareItRuns)
{
    // A flash that verified, then leaves: the device comes back running the version the file was for.
    const std::string file = WriteFile(0x004D, {Image{0, "fw", {Element{0x08000000, Pattern(4096, 2)}}}});
    const CliResult flashed = Run({"flash", file, "--leave", "--no-snapshot"}, "bcd=0x004C,app_bcd=0x004D");
    EXPECT_EQ(flashed.exitCode, 0) << flashed.err;
    EXPECT_NE(flashed.err.find("Verify successful !"), std::string::npos) << flashed.err;
    EXPECT_EQ(flashed.out, "changed: 4 of 4 pages changed; no user area touched\n"
                           "Product 01 is back in application mode, firmware 1.3\n");
    EXPECT_EQ(Run({"flash", file, "--leave", "--no-verify"}, "bcd=0x004C").exitCode, 2);

    const CliResult left =
        RunCli({"leave"}, {"NEMORA_SIM=bcd=0x004C,app_bcd=0x004D", "NEMORA_SIM_CONTROL=" + P("control2")});
    EXPECT_EQ(left.exitCode, 0) << left.err;
    EXPECT_EQ(left.out, "Product 01 is back in application mode, firmware 1.3\n");

    // A firmware that does not start keeps the device away.
    const CliResult away =
        RunCli({"leave", "--wait=1"}, {"NEMORA_SIM=bcd=0x004C,comes_back=0", "NEMORA_SIM_CONTROL=" + P("control3")});
    EXPECT_EQ(away.exitCode, 1);
    EXPECT_EQ(away.out, "Product 01 did not come back within 1 s: unplug it and plug it in again\n");
}

TEST_F(CliDevice, FlashErasesDownloadsAndVerifiesEveryImage)
{
    const auto a = Pattern(5000, 1);
    const auto b = Pattern(700, 2);
    // Old data where the file goes, and elsewhere: the first is replaced, the second kept.
    std::vector<std::uint8_t> flash(65536, 0xFF);
    std::fill_n(flash.begin(), 100, 0x00);
    std::fill_n(flash.begin() + 0xC000, 100, 0x5A);
    dfuse_test::WriteBytes(P("flash.bin"), flash);
    // The file's firmware version (low 6 bits of bcdDevice) differs from the device's: still accepted.
    const std::string file =
        WriteFile(0x0041, {Image{0, "Internal Flash  ", {Element{0x08000000, a}, Element{0x08008001, b}}}});
    const CliResult r = Run({"flash", file}, "bcd=0x004C,flash=" + P("flash.bin"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Upgrade successful !"), std::string::npos);
    EXPECT_NE(r.err.find("Verify successful !"), std::string::npos);
    EXPECT_NE(r.err.find("Erasing 00: 100%\n"), std::string::npos) << "plain progress lines off a terminal";
    const auto after = ReadBytes(P("flash.bin"));
    ASSERT_EQ(after.size(), 65536u);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), after.begin()));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), after.begin() + 0x8001));
    EXPECT_EQ(after[0xC000], 0x5A);
}

TEST_F(CliDevice, FlashRefusesWhatDoesNotFitBeforeTouchingTheDevice)
{
    // Old contents that any erase would wipe: they must stay as they are.
    const std::vector<std::uint8_t> blank = Pattern(65536, 9);
    dfuse_test::WriteBytes(P("flash.bin"), blank);
    const std::string sim = "bcd=0x0080,flash=" + P("flash.bin");

    std::string file = WriteFile(0x004C, {Image{0, "", {Element{0x08000000, Pattern(64, 3)}}}});
    CliResult r = Run({"flash", file}, sim);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("This file is not supposed to be used with device,ID:0x0080!!"), std::string::npos) << r.err;

    file = WriteFile(0x0080, {Image{0, "", {Element{0x0800FF00, Pattern(512, 3)}}}}); // runs past the flash
    r = Run({"flash", file}, sim);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("256 bytes lie outside the writable sectors"), std::string::npos) << r.err;

    file = WriteFile(0x0080, {Image{5, "", {Element{0x08000000, Pattern(64, 3)}}}});
    r = Run({"flash", file}, sim);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no such target"), std::string::npos) << r.err;

    // Overlapping data, within one image or across two images for the same target.
    for (const auto& images :
         {std::vector<Image>{Image{0, "", {Element{0x08000000, Pattern(64, 3)}, Element{0x08000020, Pattern(64, 4)}}}},
          std::vector<Image>{Image{0, "", {Element{0x08000000, Pattern(64, 3)}}},
                             Image{0, "", {Element{0x08000020, Pattern(64, 4)}}}}}) {
        file = WriteFile(0x0080, images);
        r = Run({"flash", file}, sim);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("element 0 (0x08000000, 64 bytes) and image "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("(0x08000020, 64 bytes) both hold bytes for 0x08000020 to 0x0800003F"), std::string::npos)
            << r.err;
        EXPECT_EQ(RunCli({"inspect", file}).exitCode, 1);
    }
    EXPECT_EQ(ReadBytes(P("flash.bin")), blank);

    dfuse_test::WriteBytes(P("broken.vek"), {1, 2, 3});
    EXPECT_EQ(Run({"flash", P("broken.vek")}, sim).exitCode, 1);
    EXPECT_EQ(Run({"flash"}, sim).exitCode, 2);
    EXPECT_EQ(Run({"flash", file, "--device", "USB:7-7:NONE"}, sim).exitCode, 1);
}

TEST_F(CliDevice, DeviceFailuresExitOneWithTheDecodedStatus)
{
    const std::string file = WriteFile(0x004C, {Image{0, "", {Element{0x08000000, Pattern(6000, 4)}}}});
    CliResult r = Run({"flash", file}, "fault=status=errPROG@write:2");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Downloading 00 failed: DFU error"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("errPROG"), std::string::npos) << r.err;

    dfuse_test::WriteBytes(P("old.bin"), Pattern(64 * 1024, 9)); // pages that need erasing
    r = Run({"flash", file}, "flash=" + P("old.bin") + ",fault=unplug@erase:3");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Erasing 00 failed"), std::string::npos) << r.err;

    r = Run({"read", "--alt", "0", "--address", "0x08000000", "--length", "16", "-o", P("x.bin")}, "protect=1");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("errVENDOR"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(P("x.bin")));

    // A status fault while reading is the device's own answer, not a lost link.
    r = Run({"read", "--alt", "0", "--address", "0x08000000", "--length", "2048", "-o", P("x.bin")},
            "fault=status=errPROG@upload:3"); // after the option-byte probe's two reads
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("DFU error (0x1234500B) at upload; device status errPROG, state 10"), std::string::npos)
        << r.err;
    // A device that goes away while it is opened is reported as gone, with the phase.
    r = Run({"flash", file}, "fault=unplug@descriptor");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("opening the device: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("went away while its descriptors were read"), std::string::npos) << r.err;

    r = Run({"leave"}, "fault=nodesc"); // leave checks the device's link as flash does
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Unable to get descriptors"), std::string::npos) << r.err;
}

TEST_F(CliDevice, ReadWritesTheRangeToARawFile)
{
    std::vector<std::uint8_t> flash = Pattern(65536, 5);
    dfuse_test::WriteBytes(P("flash.bin"), flash);
    const std::string sim = "flash=" + P("flash.bin");
    CliResult r = Run({"read", "--alt", "0", "--address", "0x08000FFF", "--length", "5000", "-o", P("out.bin")}, sim);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(P("out.bin")), std::vector<std::uint8_t>(flash.begin() + 0xFFF, flash.begin() + 0xFFF + 5000));

    r = Run({"read", "--alt", "1", "--address", "0x1FFFF800", "--length", "16", "-o", P("ob.bin")}, sim);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(P("ob.bin")).at(0), 0xA5);

    r = Run({"read", "--alt", "0", "--address", "0x0800FFF0", "--length", "32", "-o", P("no.bin")}, sim);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("not all readable"), std::string::npos) << r.err;
    EXPECT_EQ(Run({"read", "--alt", "0", "--address", "0x08000000", "-o", P("no.bin")}, sim).exitCode, 2);
    EXPECT_EQ(Run({"read", "--alt", "0", "--address", "0x08000000", "--length", "0", "-o", P("n")}, sim).exitCode, 2);
    EXPECT_EQ(Run({"read", "--alt", "300", "--address", "0", "--length", "1", "-o", P("n")}, sim).exitCode, 2);
    EXPECT_FALSE(fs::exists(P("no.bin")));
}

TEST_F(CliDevice, LeaveBringsTheDeviceUpInApplicationMode)
{
    // (The re-enumeration in application mode itself is checked in-process by the library tests.)
    ASSERT_EQ(Run({"leave"}, "").exitCode, 1) << "no device";
    CliResult r = Run({"leave"}, "mode=dfu");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Successfully left updating mode !"), std::string::npos);

    r = Run({"leave"}, "mode=app");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("application mode"), std::string::npos) << r.err;
    r = Run({"flash", P("none.vek")}, "mode=app");
    EXPECT_EQ(r.exitCode, 1);
}

TEST_F(CliDevice, EveryDeviceCommandHasHelp)
{
    for (const char* command : {"list", "flash", "read", "leave"}) {
        const CliResult r = Run({command, "--help"}, "");
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_NE(r.out.find(std::string("Usage: nemora-cli ") + command), std::string::npos) << command;
    }
}

} // namespace
