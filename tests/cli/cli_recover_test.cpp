// A write cut short is remembered after the program ends, listed, and finished later: written again from
// the same file, or undone from the settings kept before it, never from a file that has changed since.

#include "../dfuse/dfuse_test_util.h"
#include "cli_runner.h"
#include "dfuse/dfu_file.h"

#include <gtest/gtest.h>

namespace {

using dfuse_test::ReadBytes;
using namespace nemora::dfuse;

class CliRecover : public ::testing::Test {
protected:
    void SetUp() override
    {
        flash.assign(65536, 0xFF);
        for (std::size_t i = 0xD000; i < 0x10000; ++i) // the user areas hold the user's own bytes
            flash[i] = static_cast<std::uint8_t>(i * 7);
        dfuse_test::WriteBytes(P("flash.bin"), flash);
    }
    std::string P(const std::string& name) const { return (dir / name).string(); }
    CliResult Run(const std::vector<std::string>& args, const std::string& fault = {})
    {
        return RunCli(args, {"NEMORA_SIM=serial=M001,bcd=0x004C,flash=" + P("flash.bin") + fault,
                             "NEMORA_SIM_CONTROL=" + P("control"), "NEMORA_TRANSFER_DIR=" + P("state"),
                             "XDG_DATA_HOME=" + P("data")});
    }
    std::vector<std::uint8_t> Firmware(int seed) const
    {
        std::vector<std::uint8_t> bytes(20000);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
        return bytes;
    }
    void WriteFirmwareFile(int seed)
    {
        EXPECT_FALSE(WriteDfuFile(
            P("demo.vek"), DfuFile{0x0483, 0xDF11, 0x004D, {Image{0, "fw", {Element{0x08000000, Firmware(seed)}}}}}));
    }
    bool FlashHolds(const std::vector<std::uint8_t>& bytes) const
    {
        const auto now = ReadBytes(P("flash.bin"));
        return std::equal(bytes.begin(), bytes.end(), now.begin());
    }

    dfuse_test::ScratchDir dir;
    std::vector<std::uint8_t> flash;
};

TEST_F(CliRecover, AFlashCutShortIsListedAndWrittenAgain)
{
    WriteFirmwareFile(1);
    const CliResult cut = Run({"flash", P("demo.vek")}, ",fault=unplug@write:5");
    ASSERT_EQ(cut.exitCode, 1) << cut.err;

    CliResult r = Run({"recover", "--list"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("The firmware update of Product 01 was cut short on "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(demo.vek)"), std::string::npos);
    EXPECT_NE(r.out.find(P("demo.vek") + " (can be written again)"), std::string::npos) << r.out;

    r = Run({"recover"}); // without --yes: said, not done
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Nothing was written. Give --yes to write it again"), std::string::npos) << r.out;
    EXPECT_FALSE(FlashHolds(Firmware(1)));

    r = Run({"recover", "--yes"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Verify successful !"), std::string::npos);
    EXPECT_NE(r.out.find("changed: "), std::string::npos);
    EXPECT_NE(r.out.find("Finished: the firmware update of Product 01 is written again and verified."),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(FlashHolds(Firmware(1)));
    EXPECT_EQ(Run({"recover", "--list"}).out, "No write was cut short.\n");
    EXPECT_EQ(Run({"recover", "--list", "--yes"}).exitCode, 2);
}

TEST_F(CliRecover, AChangedFileIsNotWrittenAgainButTheSettingsCanBeRestored)
{
    WriteFirmwareFile(1);
    ASSERT_EQ(Run({"flash", P("demo.vek")}, ",fault=unplug@write:5").exitCode, 1);
    WriteFirmwareFile(2); // the user rebuilt the file since

    CliResult r = Run({"recover", "--list"});
    EXPECT_NE(r.out.find("has changed since (its bytes are not those that were written): not written again"),
              std::string::npos)
        << r.out;
    r = Run({"recover", "--yes"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("nothing was written. Give --yes --restore"), std::string::npos) << r.err;
    EXPECT_FALSE(FlashHolds(Firmware(2)));

    r = Run({"recover", "--yes", "--restore"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Finished: the settings kept before the firmware update are back on Product 01."),
              std::string::npos)
        << r.out;
    const auto now = ReadBytes(P("flash.bin"));
    EXPECT_TRUE(std::equal(flash.begin() + 0xD000, flash.end(), now.begin() + 0xD000)) << "the user areas as they were";
    EXPECT_EQ(Run({"recover", "--list"}).out, "No write was cut short.\n");
}

// A settings write cut short is written again from the staging file it was sent from, and every settings
// write says what it changed.
TEST_F(CliRecover, ASettingsWriteCutShortIsWrittenAgainFromItsStagingFile)
{
    const CliResult cut = Run({"settings", "set", "ni=900"}, ",fault=unplug@write:1");
    ASSERT_EQ(cut.exitCode, 1) << cut.err;
    CliResult r = Run({"recover", "--list"});
    EXPECT_NE(r.out.find("The settings write of Product 01 was cut short"), std::string::npos) << r.out;
    r = Run({"recover", "--yes"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = Run({"settings", "set", "ni=950"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("changed: NI 900 -> 950; nothing else\n"), std::string::npos) << r.out;
}

} // namespace
