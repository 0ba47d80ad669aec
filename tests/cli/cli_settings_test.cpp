// nemora-cli settings: every check reads the virtual device's flash file.

#include "../dfuse/dfuse_test_util.h"
#include "cli/cli.h"
#include "cli_runner.h"
#include "dfuse/device_lock.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"

#include <gtest/gtest.h>

#if defined(NEMORA_CLI_LOGO)
#include <QColor>
#include <QImage>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using dfuse_test::ReadBytes;
using namespace nemora::dfuse;

constexpr std::size_t kFlashSize = 65536;
constexpr std::size_t kParam = 0xF000;   // the parameter area, as an offset into the flash
constexpr std::size_t kLogo128 = 0xD000; // the logo area of 128 x 32 models
constexpr std::size_t kLogo96 = 0x5000;  // the logo area of model 12 (96 x 96)

class CliSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A flash whose every byte is known: a changed byte anywhere shows.
        flash.resize(kFlashSize);
        for (std::size_t i = 0; i < flash.size(); ++i) {
            flash[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
        }
        SettingsRecord record;
        record.TakeIn(flash.data() + kParam, SettingsRecord::kSize);
        record.SetWord(SettingsRecord::kTemperatureUnitOffset, 0); // Celsius: limits 100 to 315
        std::copy_n(record.Data(), SettingsRecord::kSize, flash.begin() + kParam);
        dfuse_test::WriteBytes(P("flash.bin"), flash);
    }
    std::string P(const std::string& name) const { return (dir / name).string(); }
    CliResult Run(const std::vector<std::string>& args, const std::string& bcd = "0x004C")
    {
        return RunCli(args, {"NEMORA_SIM=bcd=" + bcd + ",flash=" + P("flash.bin"), "NEMORA_SIM_CONTROL=" + P("control"),
                             "NEMORA_TRANSFER_DIR=" + P("transfer")});
    }
    SettingsRecord DeviceRecord() const
    {
        const auto now = ReadBytes(P("flash.bin"));
        SettingsRecord record;
        record.TakeIn(now.data() + kParam, SettingsRecord::kSize);
        return record;
    }
    // The offsets of the flash bytes that differ from the prepared flash.
    std::vector<std::size_t> Changed() const
    {
        const auto now = ReadBytes(P("flash.bin"));
        std::vector<std::size_t> changed;
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (now[i] != flash[i]) {
                changed.push_back(i);
            }
        }
        return changed;
    }
    std::string WriteSettings(std::vector<Image> images)
    {
        const std::string path = P("settings.vek");
        EXPECT_FALSE(WriteDfuFile(path, DfuFile{0x0483, 0xDF11, 0x0200, std::move(images)}));
        return path;
    }

    dfuse_test::ScratchDir dir;
    std::vector<std::uint8_t> flash;
};

TEST_F(CliSettings, SetChangesOnlyTheNamedFieldsAndTheMarkerAndRefusesBadValuesBeforeWriting)
{
    CliResult r = Run({"settings", "set", "ni=0x384", "temperature=100,103,313,200,200,200,200,200,200,315"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("ni: "), std::string::npos) << r.out;
    std::vector<std::size_t> allowed;
    for (std::size_t i = 0; i < 2; ++i) {
        allowed.push_back(kParam + SettingsRecord::kMarkerOffset + i);
        allowed.push_back(kParam + SettingsRecord::kNiOffset + i);
    }
    for (std::size_t i = 0; i < 20; ++i) {
        allowed.push_back(kParam + SettingsRecord::kTemperatureCurveOffset + i);
    }
    for (std::size_t offset : Changed()) {
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), offset), allowed.end()) << "byte " << offset;
    }
    const SettingsRecord record = DeviceRecord();
    EXPECT_EQ(record.Marker(), SettingsRecord::kMarkerValue);
    EXPECT_EQ(record.Parameters().wNi, 900);
    EXPECT_EQ(record.TemperatureCurve(), (CurvePoints{100, 105, 315, 200, 200, 200, 200, 200, 200, 315}))
        << "Celsius points snap to multiples of 5";

    const auto before = ReadBytes(P("flash.bin"));
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"settings", "set", "ni=0"},
             {"settings", "set", "display_level=256"},
             {"settings", "set", "power=35,35,35,35,35,35,35,35,35,1000"},
             {"settings", "set", "temperature=600,100,100,100,100,100,100,100,100,100"}, // Fahrenheit on a C record
             {"settings", "set", "colour=3"},
             {"settings", "set", "power=1,2"},
             {"settings", "set", "power=35,35,35,35,35,35,35,35,35,35,35"}, // an eleventh value
             {"settings", "set", "power=35,35,35,35,35,35,35,35,35,35,"},
             {"settings", "set", "ni=0x"},
         }) {
        r = Run(bad);
        EXPECT_EQ(r.exitCode, 2) << bad.back();
        EXPECT_NE(r.err.find("nemora-cli settings set: "), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadBytes(P("flash.bin")), before);
}

TEST_F(CliSettings, TwoWritersAtOnceBothLandAndADeviceHeldElsewhereIsRefusedWithItsHolder)
{
    const std::vector<std::string> env{"NEMORA_SIM=bcd=0x004C,serial=NEMTEST1,flash=" + P("flash.bin"),
                                       "NEMORA_SIM_CONTROL=" + P("control"), "NEMORA_TRANSFER_DIR=" + P("transfer"),
                                       "NEMORA_LOCK_WAIT_MS=30000"};
    // Each reads the record, changes one field and writes it all back: without the lock one change is lost.
    auto first = std::async(std::launch::async, [&] { return RunCli({"settings", "set", "ni=900"}, env); });
    auto second = std::async(std::launch::async, [&] { return RunCli({"settings", "set", "display_level=77"}, env); });
    const CliResult a = first.get();
    const CliResult b = second.get();
    ASSERT_EQ(a.exitCode, 0) << a.err;
    ASSERT_EQ(b.exitCode, 0) << b.err;
    EXPECT_EQ(DeviceRecord().Parameters().wNi, 900);
    EXPECT_EQ(DeviceRecord().Parameters().wDisplayLevel, 77);

    LockHolder holder;
    std::string error;
    DeviceLock lock;
    ASSERT_EQ(DeviceLock::Acquire(DeviceLockKey("NEMTEST1", ""), std::chrono::milliseconds(0), lock, holder, error),
              DeviceLock::Outcome::Taken)
        << error;
    const auto before = ReadBytes(P("flash.bin"));
    std::vector<std::string> impatient = env;
    impatient.back() = "NEMORA_LOCK_WAIT_MS=200";
    const CliResult refused = RunCli({"settings", "set", "ni=100"}, impatient);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("NEMTEST1 is busy: "), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("(process " + std::to_string(::getpid()) + ") is using it"), std::string::npos)
        << refused.err;
    EXPECT_EQ(ReadBytes(P("flash.bin")), before);
}

TEST_F(CliSettings, SaveThenChangeThenLoadBringsTheFieldsBackAndExactAlsoTheOtherBytes)
{
    // Fields within the device's limits, the rest of the area as prepared.
    SettingsRecord inRange = DeviceRecord();
    inRange.SetParameters(SettingsParameters{});
    inRange.SetPowerCurve(DefaultPowerCurve());
    inRange.SetTemperatureCurve(DefaultTemperatureCurve(100));
    std::copy_n(inRange.Data(), SettingsRecord::kSize, flash.begin() + kParam);
    dfuse_test::WriteBytes(P("flash.bin"), flash);
    ASSERT_EQ(Run({"settings", "save", P("backup.vek")}).exitCode, 0);
    const ParseResult saved = ReadDfuFile(P("backup.vek"));
    ASSERT_TRUE(saved.file);
    ASSERT_EQ(saved.file->images.size(), 2u);
    EXPECT_EQ(saved.file->images[0].name, "user_log");
    EXPECT_EQ(saved.file->images[1].elements[0].data,
              std::vector<std::uint8_t>(flash.begin() + kParam, flash.begin() + kParam + 2048))
        << "a backup holds the area exactly as the device does";

    ASSERT_EQ(Run({"settings", "set", "ni=1", "power=5,5,5,5,5,5,5,5,5,5"}).exitCode, 0);
    // Bytes the console does not interpret change on the device meanwhile, and so does the unit.
    auto changed = ReadBytes(P("flash.bin"));
    changed[kParam + 100] ^= 0xFF;
    changed[kParam + SettingsRecord::kTemperatureUnitOffset] = 1;
    dfuse_test::WriteBytes(P("flash.bin"), changed);

    CliResult r = Run({"settings", "load", P("backup.vek")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("written: parameter area"), std::string::npos) << r.out;
    SettingsRecord record = DeviceRecord();
    SettingsRecord original;
    original.TakeIn(flash.data() + kParam, SettingsRecord::kSize);
    EXPECT_EQ(record.Parameters(), original.Parameters());
    EXPECT_EQ(record.PowerCurve(), original.PowerCurve());
    EXPECT_EQ(record.Data()[100], changed[kParam + 100]) << "by default the device's other bytes stay";
    EXPECT_EQ(record.TemperatureUnit(), 1);

    ASSERT_EQ(Run({"settings", "load", P("backup.vek"), "--exact"}).exitCode, 0);
    EXPECT_EQ(Changed(), std::vector<std::size_t>{}) << "--exact writes the file's bytes as they are";
}

TEST_F(CliSettings, LoadLimitsValuesBeyondTheDeviceAndExactRefusesThem)
{
    SettingsRecord wild = DeviceRecord(); // Celsius, 100 to 315; this model takes 5 W to 160 W
    SettingsParameters params;
    params.wNi = 9990;
    params.wDisplayLevel = 300;
    wild.SetParameters(params);
    CurvePoints power = DefaultPowerCurve();
    power[2] = 9990; // 999 W
    wild.SetPowerCurve(power);
    CurvePoints temperature = DefaultTemperatureCurve(100);
    temperature[9] = 9990;
    wild.SetTemperatureCurve(temperature);
    const std::string file =
        WriteSettings({Image{0, "user_para", {Element{0x0800F000, {wild.Data(), wild.Data() + 2048}}}}});

    const CliResult exact = Run({"settings", "load", file, "--exact"});
    EXPECT_EQ(exact.exitCode, 1);
    for (const char* named : {"ni 9990", "display_level 300", "power point 3 999 W", "temperature point 10 9990 C"})
        EXPECT_NE(exact.err.find(named), std::string::npos) << exact.err << "\nlacks " << named;
    EXPECT_EQ(Changed(), std::vector<std::size_t>{}) << "nothing written";

    const CliResult r = Run({"settings", "load", file});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("limited: ni 9990 -> 1000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("limited: power point 3 999 W -> 160 W"), std::string::npos) << r.out;
    const SettingsRecord now = DeviceRecord();
    EXPECT_EQ(now.Parameters().wNi, 1000);
    EXPECT_EQ(now.Parameters().wDisplayLevel, 255);
    EXPECT_EQ(now.PowerCurve()[2], 1600);
    EXPECT_EQ(now.TemperatureCurve()[9], 315);
    // What the device now holds is what `settings set` would take.
    EXPECT_EQ(Run({"settings", "set", "ni=1000"}).exitCode, 0);
}

// Files the user names are read only when they are regular files of a size their kind can have: a pipe
// with no writer would wait for ever, and a huge file would be read whole for a few KiB.
TEST_F(CliSettings, InputsThatAreNoFileOrTooLargeAreRefusedAtOnce)
{
    namespace fs = std::filesystem;
    ASSERT_EQ(::mkfifo(P("pipe").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    {
        std::ofstream(dir / "huge.vek");
    }
    fs::resize_file(dir / "huge.vek", 64u * 1024 * 1024); // sparse: nothing is written to the disk
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"settings", "load", P("pipe")}, "not a regular file"},
        {{"settings", "load", P("folder")}, "not a regular file"},
        {{"settings", "load", "/dev/zero"}, "not a regular file"},
        {{"settings", "load", P("huge.vek")}, "larger than any file of its kind"},
        {{"flash", P("pipe")}, "not a regular file"},
#if defined(NEMORA_CLI_LOGO)
        {{"logo", "import", "1", P("pipe")}, "not a regular file"},
        {{"logo", "import", "1", P("folder")}, "it is a folder"},
        {{"logo", "import", "1", "/dev/zero"}, "not a regular file"},
#endif
    };
    for (const Case& c : cases) {
        const CliResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args.back();
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(Changed(), std::vector<std::size_t>{}) << "nothing written";
}

TEST_F(CliSettings, LoadTakesImagesByExactNameAndAddressAndReportsWhatItIgnores)
{
    SettingsRecord power; // Fahrenheit (0xFFFF), every field within the device's limits
    power.SetParameters(SettingsParameters{});
    power.SetTemperatureCurve(DefaultTemperatureCurve(200));
    power.SetPowerCurve(CurvePoints{100, 110, 120, 130, 140, 150, 160, 170, 180, 190});
    const std::vector<std::uint8_t> record(power.Data(), power.Data() + 2048);
    const std::string file = WriteSettings({
        Image{0, "User_log", {Element{0x0800D000, std::vector<std::uint8_t>(6144, 0x00)}}},
        Image{0, "user_power", {Element{0x0800F000, record}}},
    });
    CliResult r = Run({"settings", "load", file, "--exact"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("ignored: image \"User_log\""), std::string::npos) << r.out;
    EXPECT_EQ(DeviceRecord().PowerCurve(), power.PowerCurve()) << "user_power is taken in as a whole record";
    for (std::size_t offset : Changed()) {
        EXPECT_GE(offset, kParam) << "the logo area was not written";
    }
}

TEST_F(CliSettings, LoadSaysHowMuchOfTheLogoAreaCameFromTheFile)
{
    struct Case {
        std::size_t bytes;
        int exitCode;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {100, 1, {"ignored: image \"user_log\": its logo element holds 100 bytes, less than one page"}},
        {300, 0, {"the first 256 from the file, the rest as the device held it", "the last 44 of its 300 bytes"}},
        {8192, 0, {"written: logo area (6144 bytes at 0x0800D000)\n", "past the end of the logo area"}},
    };
    for (const Case& c : cases) {
        const std::string file =
            WriteSettings({Image{0, "user_log", {Element{0x0800D000, std::vector<std::uint8_t>(c.bytes, 0x0F)}}}});
        const CliResult r = Run({"settings", "load", file});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.bytes << ": " << r.err;
        for (const std::string& text : c.says) {
            EXPECT_NE(r.out.find(text), std::string::npos) << c.bytes << ":\n" << r.out << "lacks " << text;
        }
    }
}

// On a 96 x 96 model the logo area ends in the middle of a flash page: a write of it, a load and a restore
// keep the rest of that page (0x08008600-0x080087FF) as it was.
TEST_F(CliSettings, WritesOfTheModelTwelveLogoAreaKeepTheRestOfItsLastPage)
{
    const auto rest = [&] {
        const auto now = ReadBytes(P("flash.bin"));
        return std::vector<std::uint8_t>(now.begin() + 0x8600, now.begin() + 0x8800);
    };
    const auto before = rest();
    const std::string file =
        WriteSettings({Image{0, "user_log", {Element{0x08005000, std::vector<std::uint8_t>(13824, 0x0F)}}}});
    for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
             {"settings", "load", file, "--exact"}, {"settings", "restore", "--latest"}}) {
        const CliResult r = Run(command, "0x0300");
        ASSERT_EQ(r.exitCode, 0) << command[1] << ": " << r.err;
        EXPECT_EQ(rest(), before) << command[1];
    }
    EXPECT_NE(ReadBytes(P("flash.bin"))[0x5000], 0x0F) << "the restore brought the old logo back";
}

TEST_F(CliSettings, AModelTwelveDeviceUsesItsOwnLogoAreaAndIgnoresA128x32Logo)
{
    // In this process: the subcommand over the same virtual device, by its own flash file.
    const std::string file = WriteSettings({
        Image{0, "user_log", {Element{0x0800D000, std::vector<std::uint8_t>(6144, 0x00)}}},
        Image{0, "user_para", {Element{0x0800F000, std::vector<std::uint8_t>(2048, 0x11)}}},
        Image{0, "user_log", {Element{0x08005000, std::vector<std::uint8_t>(96 * 2 + 50, 0x00)}}},
    });
    ::setenv("NEMORA_SIM", ("bcd=0x0300,flash=" + P("flash.bin")).c_str(), 1);
    ::setenv("NEMORA_SIM_CONTROL", P("control").c_str(), 1);
    ::setenv("NEMORA_TRANSFER_DIR", P("transfer").c_str(), 1);
    const std::vector<std::string_view> args = {"load", file};
    EXPECT_EQ(nemora::cli::RunSettings(args), nemora::cli::kExitOk);
    ::unsetenv("NEMORA_SIM");

    EXPECT_EQ(DeviceRecord().Parameters().wNi, 1000) << "0x1111, limited as the console's page limits it";
    const auto changed = Changed();
    for (std::size_t offset : changed) {
        // Two whole pages of screen 1, and the rest of the 1 KiB sector the area ends in, which the erase of
        // the 13824-byte area takes with it.
        const bool inLogo = (offset >= kLogo96 && offset < kLogo96 + 96 * 2) || (offset >= 0x8600 && offset < 0x8800);
        const bool inParam = offset >= kParam && offset < kParam + 2048;
        EXPECT_TRUE(inLogo || inParam) << "byte " << offset;
        EXPECT_FALSE(offset >= kLogo128 && offset < kLogo128 + 6144) << "the 128 x 32 logo is ignored";
    }

    ASSERT_EQ(Run({"settings", "save", P("twelve.vek")}, "0x0300").exitCode, 0);
    const ParseResult saved = ReadDfuFile(P("twelve.vek"));
    ASSERT_TRUE(saved.file);
    EXPECT_EQ(saved.file->images[0].elements[0].address, 0x08005000u);
    EXPECT_EQ(saved.file->images[0].elements[0].data.size(), 13824u);
}

} // namespace

// --- logo ---------------------------------------------------------------------------------------------

#if defined(NEMORA_CLI_LOGO)
TEST_F(CliSettings, LogoExportShowsTheAreasBitsAndImportChangesOnlyItsScreen)
{
    constexpr std::size_t kScreenBytes = 128 * 32 / 8;
    // Export: screen 3, pixel (x, y) is bit y % 8 of byte x of page y / 8.
    ASSERT_EQ(Run({"logo", "export", "3", P("three.png")}).exitCode, 0);
    const QImage three(QString::fromStdString(P("three.png")));
    ASSERT_EQ(three.size(), QSize(128, 32));
    for (int y = 0; y < 32; y += 3) {
        for (int x = 0; x < 128; x += 5) {
            const std::uint8_t byte = flash[kLogo128 + 2 * kScreenBytes + static_cast<std::size_t>(y / 8 * 128 + x)];
            const bool lit = (byte >> (y % 8)) & 1;
            EXPECT_EQ(three.pixelColor(x, y), lit ? QColor(Qt::black) : QColor(Qt::white)) << x << "," << y;
        }
    }

    // Import: a 16 x 8 picture, dark grey (40) on its left half, white on its right half.
    QImage picture(16, 8, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            picture.setPixelColor(x, y, QColor(40, 40, 40));
        }
    }
    ASSERT_TRUE(picture.save(QString::fromStdString(P("in.png"))));
    const struct {
        std::vector<std::string> options;
        std::size_t lastColumn;                           // columns of page 0 the picture may change
        std::vector<std::pair<std::size_t, int>> columns; // page-0 bytes of screen 2 afterwards
    } cases[] = {
        {{}, 15, {{0, 0xFF}, {15, 0x00}}},
        {{"--invert"}, 15, {{0, 0x00}, {15, 0xFF}}},
        {{"--threshold", "30"}, 15, {{0, 0x00}, {15, 0x00}}},
        {{"--fit"}, 127, {{0, 0x00}, {32, 0xFF}, {63, 0xFF}, {64, 0x00}}}, // 4 x: 64 x 32, centred
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.empty() ? "no option" : c.options.front());
        dfuse_test::WriteBytes(P("flash.bin"), flash);
        std::vector<std::string> args = {"logo", "import", "2", P("in.png")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliResult r = Run(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        for (std::size_t offset : Changed()) {
            ASSERT_GE(offset, kLogo128 + kScreenBytes) << "only screen 2 changes";
            ASSERT_LT(offset, kLogo128 + 2 * kScreenBytes) << "only screen 2 changes";
            if (c.lastColumn < 127) {
                ASSERT_LE(offset, kLogo128 + kScreenBytes + c.lastColumn) << "within the picture's columns";
            }
        }
        const auto now = ReadBytes(P("flash.bin"));
        for (const auto& [column, value] : c.columns) {
            EXPECT_EQ(now[kLogo128 + kScreenBytes + column], value) << "column " << column;
        }
    }

    EXPECT_EQ(Run({"logo", "import", "13", P("in.png")}).exitCode, 2);
    EXPECT_EQ(Run({"logo", "import", "1", P("in.png"), "--threshold", "300"}).exitCode, 2);
    const CliResult r = Run({"logo", "import", "1", P("missing.png")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("missing.png"), std::string::npos) << r.err;
}
#endif
