// Every fault kind at the requests of each phase, through nemora-cli as a process: the command fails with
// exit status 1 and a line naming the phase, ends in bounded time, and the device flashes and verifies
// afterwards.

#include "../dfuse/dfuse_test_util.h"
#include "cli_runner.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace nemora::dfuse;

struct Phase {
    const char* name;
    std::vector<std::string> command; // {FILE} stands for the firmware file
    const char* request;              // the virtual device's request kind the fault is tied to
    const char* line;                 // what the failure line names
};

// Opening the link reads twice (the option-byte probe: the flash's first bytes, then the option bytes), so the
// phases' own reads start at the third; the compare reads the file's six pages in three blocks before the verify.
const Phase kPhases[] = {
    {"snapshot", {"flash", "{FILE}"}, "read:3", "cannot read the device's settings for a snapshot"},
    {"compare", {"flash", "{FILE}", "--no-snapshot"}, "read:5", "Comparing 00 failed"},
    {"erase", {"flash", "{FILE}"}, "erase", "Erasing 00 failed"},
    {"download", {"flash", "{FILE}"}, "write:2", "Downloading 00 failed"},
    {"verify", {"flash", "{FILE}", "--no-snapshot"}, "read:6", "Verifying 00 failed"},
    {"upload",
     {"read", "--alt", "0", "--address", "0x08000000", "--length", "4096", "-o", "{OUT}"},
     "read:4",
     "Reading 00 failed"},
    {"leave", {"leave"}, "leave", "Leaving update mode failed"},
};
const char* const kKinds[] = {"unplug", "stall", "status=errPROG"};

class CliFaultMatrix : public ::testing::TestWithParam<std::tuple<int, int>> {
protected:
    std::string P(const std::string& name) const { return (dir / name).string(); }
    CliResult Run(std::vector<std::string> args, const std::string& sim)
    {
        for (auto& a : args) {
            a = a == "{FILE}" ? P("fw.vek") : a == "{OUT}" ? P("out.bin") : a;
        }
        return RunCli(args, {"NEMORA_SIM=flash=" + P("flash.bin") + sim, "NEMORA_SIM_CONTROL=" + P("control")});
    }
    dfuse_test::ScratchDir dir;
};

TEST_P(CliFaultMatrix, FailsWithTheDecodedPhaseAndLeavesADeviceThatFlashesAgain)
{
    const Phase& phase = kPhases[std::get<0>(GetParam())];
    const std::string kind = kKinds[std::get<1>(GetParam())];
    std::vector<std::uint8_t> data(6000);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 31 + 7);
    }
    ASSERT_FALSE(
        WriteDfuFile(P("fw.vek"), DfuFile{0x0483, 0xDF11, 0x0041, {Image{0, "", {Element{0x08000000, data}}}}}));
    // Pages that hold other bytes: each phase of a write has work to do.
    std::vector<std::uint8_t> flash(64 * 1024);
    for (std::size_t i = 0; i < flash.size(); ++i) {
        flash[i] = static_cast<std::uint8_t>(i * 7 ^ 0x5A);
    }
    dfuse_test::WriteBytes(P("flash.bin"), flash);

    const auto start = std::chrono::steady_clock::now();
    const CliResult failed = Run(phase.command, ",fault=" + kind + "@" + phase.request);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(failed.exitCode, 1) << failed.err;
    EXPECT_NE(failed.err.find(phase.line), std::string::npos) << failed.err;
    EXPECT_LT(seconds, 30.0) << "no hang";

    const CliResult again = Run({"flash", "{FILE}"}, "");
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.err.find("Verify successful !"), std::string::npos) << again.err;
}

using MatrixParam = ::testing::TestParamInfo<std::tuple<int, int>>;

std::string MatrixName(const MatrixParam& param)
{
    static const char* const kindNames[] = {"Unplug", "Stall", "Status"};
    std::string name = kPhases[std::get<0>(param.param)].name;
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name + kindNames[std::get<1>(param.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryPhaseAndKind, CliFaultMatrix,
                         ::testing::Combine(::testing::Range(0, 7), ::testing::Range(0, 3)), MatrixName);

} // namespace
