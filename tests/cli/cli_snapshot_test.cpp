// Snapshots through nemora-cli: every write keeps the device's user areas first, and restore brings them back.

#include "../dfuse/dfuse_test_util.h"
#include "cli_runner.h"
#include "device/device_identity.h"
#include "settings/settings_file.h"
#include "settings/snapshots.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <latch>
#include <set>
#include <thread>

namespace {

using dfuse_test::ReadBytes;
using namespace nemora::dfuse;

constexpr std::size_t kParam = 0xF000, kParamSize = 0x800;
constexpr std::size_t kLogo = 0xD000, kLogoSize = 12 * 128 * 4; // model 1: twelve 128 x 32 screens

class CliSnapshots : public ::testing::Test {
protected:
    void SetUp() override
    {
        flash.resize(65536);
        for (std::size_t i = 0; i < flash.size(); ++i) {
            flash[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
        }
        dfuse_test::WriteBytes(P("flash.bin"), flash);
    }
    std::string P(const std::string& name) const { return (dir / name).string(); }
    std::filesystem::path Folder() const { return dir / "data" / "Nemora" / "snapshots"; }
    CliResult Run(const std::vector<std::string>& args, const std::string& sim = {})
    {
        return RunCli(args,
                      {"NEMORA_SIM=bcd=0x004C,flash=" + P("flash.bin") + sim, "NEMORA_SIM_CONTROL=" + P("control"),
                       "NEMORA_TRANSFER_DIR=" + P("transfer"), "XDG_DATA_HOME=" + P("data")});
    }
    std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t n) const
    {
        return {bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + n)};
    }
    std::vector<nemora::settings::SnapshotInfo> Snapshots() const { return nemora::settings::ListSnapshots(Folder()); }

    dfuse_test::ScratchDir dir;
    std::vector<std::uint8_t> flash;
};

TEST_F(CliSnapshots, AFirmwareOverTheParameterAreaIsSnapshottedFirstAndRestoreBringsTheAreasBack)
{
    const std::string firmware = P("fw.vek");
    ASSERT_FALSE(WriteDfuFile(
        firmware, DfuFile{0x0483,
                          0xDF11,
                          0x0041,
                          {Image{0, "", {Element{0x0800F000, std::vector<std::uint8_t>(kParamSize, 0x5A)}}}}}));
    const CliResult flashed = Run({"flash", firmware});
    ASSERT_EQ(flashed.exitCode, 0) << flashed.err;
    ASSERT_EQ(Snapshots().size(), 1u);
    EXPECT_EQ(Snapshots()[0].modelCode, "K01");

    // The snapshot holds both areas as the device held them, byte for byte.
    const ParseResult snapshot = ReadDfuFile(Snapshots()[0].path);
    ASSERT_TRUE(snapshot.file);
    const auto elements = nemora::settings::SettingsElements(*snapshot.file);
    ASSERT_EQ(elements.size(), 2u);
    EXPECT_EQ(elements[0].address, 0x0800D000u);
    EXPECT_EQ(elements[0].bytes, Slice(flash, kLogo, kLogoSize));
    EXPECT_EQ(elements[1].address, 0x0800F000u);
    EXPECT_EQ(elements[1].bytes, Slice(flash, kParam, kParamSize));
    EXPECT_EQ(Slice(ReadBytes(P("flash.bin")), kParam, kParamSize), std::vector<std::uint8_t>(kParamSize, 0x5A));

    const CliResult restored = Run({"settings", "restore", "--latest"});
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(ReadBytes(P("flash.bin")), flash); // every byte as before the firmware
    EXPECT_EQ(Snapshots().size(), 2u);           // what the restore replaced is kept too

    const CliResult listed = Run({"settings", "snapshots", "--json"});
    EXPECT_NE(listed.out.find("\"model\":\"K01\""), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\"before\":\"nemora-cli flash fw.vek\""), std::string::npos) << listed.out;
}

TEST_F(CliSnapshots, ASettingsWriteKeepsASnapshotAndOnlyTheNewest50OfTheDeviceStay)
{
    std::filesystem::create_directories(Folder());
    for (int i = 0; i < 50; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "202001%02d-1200%02d-K01-NEMORASIM001.vek", 1 + i / 60, i % 60);
        dfuse_test::WriteBytes(Folder() / name, {1});
    }
    dfuse_test::WriteBytes(Folder() / "20190101-000000-K01-OTHER.vek", {1}); // another device's: kept

    const CliResult set = Run({"settings", "set", "ni=200"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(Snapshots().size(), 51u);
    EXPECT_FALSE(std::filesystem::exists(Folder() / "20200101-120000-K01-NEMORASIM001.vek")); // the oldest
    EXPECT_TRUE(std::filesystem::exists(Folder() / "20200101-120001-K01-NEMORASIM001.vek"));
    EXPECT_TRUE(std::filesystem::exists(Folder() / "20190101-000000-K01-OTHER.vek"));
    EXPECT_EQ(Snapshots()[0].serial, "NEMORASIM001");
}

TEST_F(CliSnapshots, TheSnapshotJustTakenIsKeptAndIsTheLatestWhateverTheClockAndTheNamesSay)
{
    // 50 snapshots of this device whose names sort after any taken now (a clock once years ahead).
    std::filesystem::create_directories(Folder());
    for (int i = 0; i < 50; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "20990101-1200%02d-K01-AB_12.vek", i);
        dfuse_test::WriteBytes(Folder() / name, {1});
    }
    const CliResult set = Run({"settings", "set", "ni=200"}, ",serial=AB.12");
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const auto mine = Snapshots();
    ASSERT_EQ(mine.size(), 50u);
    EXPECT_EQ(mine[0].rawSerial, "AB.12");
    EXPECT_EQ(mine[0].before, "nemora-cli settings set ni=200");
    EXPECT_EQ(mine[0].order, 1u);

    // --latest finds the serial with its dot, and takes the snapshot taken last, not the highest name.
    const CliResult restored = Run({"settings", "restore", "--latest"}, ",serial=AB.12");
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_NE(restored.err.find(mine[0].path.string()), std::string::npos) << restored.err;
    EXPECT_EQ(ReadBytes(P("flash.bin")), flash);

    // A clock set back between two snapshots changes nothing of their order.
    CDeviceIdentity k01;
    k01.SetIds(0x0483, 0xDF11, 0x004C);
    const std::vector<std::uint8_t> logo(k01.m_dwLogoSize), param(k01.m_dwParamSize);
    const std::filesystem::path other = dir / "other";
    std::filesystem::create_directories(other);
    nemora::settings::SaveSnapshot(other, k01, "X", logo, param, 2000000000, "first");
    const auto second = nemora::settings::SaveSnapshot(other, k01, "X", logo, param, 1700000000, "second");
    const auto listed = nemora::settings::DeviceSnapshots(other, k01, "X");
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].path, second.path);
    EXPECT_EQ(listed[0].TakenUtc(), "2023-11-14T22:13:20Z");
    EXPECT_TRUE(nemora::settings::DeviceSnapshots(other, k01, "Y").empty());
}

// The folders the CLI keeps the user's files in: tightened when open to others, refused when a link.
struct CliFolderCase {
    const char* name;
    void (*arrange)(const std::filesystem::path& data, const std::filesystem::path& transfer);
    const char* says; // on stderr
    int exitCode;
};

class CliFolders : public CliSnapshots, public ::testing::WithParamInterface<CliFolderCase> {};

TEST_P(CliFolders, AreTheUsersOwnOrRefused)
{
    GetParam().arrange(dir / "data", dir / "transfer");
    const CliResult set = Run({"settings", "set", "ni=200"});
    EXPECT_EQ(set.exitCode, GetParam().exitCode) << set.err;
    EXPECT_NE(set.err.find(GetParam().says), std::string::npos) << set.err;
    if (set.exitCode != 0) {
        EXPECT_EQ(ReadBytes(P("flash.bin")), flash) << "nothing written";
        EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere" / "snapshots")) << "nothing through the link";
    } else {
        EXPECT_EQ(std::filesystem::status(dir / "data" / "Nemora").permissions(), std::filesystem::perms::owner_all);
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, CliFolders,
    ::testing::Values(CliFolderCase{"LooseWorkspace",
                                    [](const std::filesystem::path& data, const std::filesystem::path&) {
                                        std::filesystem::create_directories(data / "Nemora");
                                        std::filesystem::permissions(data / "Nemora", std::filesystem::perms(0777));
                                    },
                                    "is now private", 0},
                      CliFolderCase{"PlantedSnapshotLink",
                                    [](const std::filesystem::path& data, const std::filesystem::path&) {
                                        std::filesystem::create_directories(data / "Nemora");
                                        std::filesystem::create_directories(data.parent_path() / "elsewhere");
                                        std::filesystem::create_symlink(data.parent_path() / "elsewhere",
                                                                        data / "Nemora" / "snapshots");
                                    },
                                    "is a symbolic link", 1},
                      CliFolderCase{"TransferLink",
                                    [](const std::filesystem::path&, const std::filesystem::path& transfer) {
                                        std::filesystem::create_directories(transfer.parent_path() / "elsewhere");
                                        std::filesystem::create_symlink(transfer.parent_path() / "elsewhere", transfer);
                                    },
                                    "the transfer folder", 1}),
    [](const ::testing::TestParamInfo<CliFolderCase>& param) { return std::string(param.param.name); });

TEST_F(CliSnapshots, AnUnreadableDeviceStopsTheWriteUnlessNoSnapshotIsGiven)
{
    const std::string firmware = NEMORA_SOURCE_DIR "/assets/firmware/demo-k01-v1.2.vek";
    const CliResult stopped = Run({"flash", firmware}, ",protect=1");
    EXPECT_EQ(stopped.exitCode, 1);
    EXPECT_NE(stopped.err.find("for a snapshot"), std::string::npos) << stopped.err;
    EXPECT_NE(stopped.err.find("--no-snapshot"), std::string::npos) << stopped.err;
    EXPECT_EQ(stopped.err.find("Erasing"), std::string::npos) << stopped.err;
    EXPECT_EQ(ReadBytes(P("flash.bin")), flash);

    // Without a snapshot the flash goes on, to the erase the protected device refuses.
    const CliResult went = Run({"flash", firmware, "--no-snapshot"}, ",protect=1");
    EXPECT_NE(went.err.find("Erasing 00 failed"), std::string::npos) << went.err;
    EXPECT_TRUE(Snapshots().empty());
}

TEST_F(CliSnapshots, SavesOfOneDeviceInTheSameSecondEachGetAFileAndNeverReplaceOne)
{
    CDeviceIdentity k01;
    k01.SetIds(0x0483, 0xDF11, 0x004C);
    const std::vector<std::uint8_t> logo(k01.m_dwLogoSize, 0x00);
    auto param = [&](std::size_t mark) { return std::vector<std::uint8_t>(k01.m_dwParamSize, std::uint8_t(mark)); };
    const std::filesystem::path folder = dir / "snapshots";
    std::filesystem::create_directories(folder);
    const auto first = nemora::settings::SaveSnapshot(folder, k01, "A1", logo, param(0xEE), 1700000000);
    ASSERT_TRUE(first.error.empty()) << first.error;
    std::string second = first.path.string();
    second.replace(second.size() - 4, 4, ".2.vek");
    dfuse_test::WriteBytes(second, {1}); // another program's, under the next name

    // Programs saving at once, as the console and nemora-cli may.
    constexpr std::size_t kSavers = 8;
    std::vector<nemora::settings::SnapshotResult> saved(kSavers);
    std::latch start(kSavers);
    std::vector<std::thread> savers;
    for (std::size_t i = 0; i < kSavers; ++i) {
        savers.emplace_back([&, i] {
            start.arrive_and_wait();
            saved[i] = nemora::settings::SaveSnapshot(folder, k01, "A1", logo, param(i), 1700000000);
        });
    }
    for (std::thread& saver : savers) {
        saver.join();
    }
    std::set<std::filesystem::path> paths{first.path, second};
    for (std::size_t i = 0; i < kSavers; ++i) {
        ASSERT_TRUE(saved[i].error.empty()) << saved[i].error;
        EXPECT_TRUE(paths.insert(saved[i].path).second) << saved[i].path;
        EXPECT_EQ(nemora::settings::ReadSnapshot(saved[i].path, k01).param, param(i)) << saved[i].path;
        EXPECT_EQ(std::filesystem::status(saved[i].path).permissions(), std::filesystem::perms(0600));
    }
    EXPECT_EQ(nemora::settings::ReadSnapshot(first.path, k01).param, param(0xEE));
    EXPECT_EQ(ReadBytes(second), std::vector<std::uint8_t>{1});
    EXPECT_EQ(nemora::settings::ListSnapshots(folder).size(), kSavers + 2); // and no temporary file shows
    // Each saved snapshot has its note beside it; nothing else is left.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), std::ptrdiff_t(2 * kSavers + 3));
}

} // namespace
