// nemora-cli flash --all on several virtual devices at once: a failing device never stops the others.

#include "cli_runner.h"

#include <filesystem>

#include <gtest/gtest.h>

namespace {

TEST(CliFlashAll, EverySuitableDeviceIsWrittenAndTheOneThatFailedIsNamed)
{
    const std::filesystem::path control = std::filesystem::temp_directory_path() / "nemora-flash-all-control";
    std::filesystem::remove(control);
    const std::vector<std::string> env = {
        "NEMORA_SIM=bcd=0x004C;bcd=0x004C,fault=stall@write:3;bcd=0x0300;bcd=0x004C;bcd=0x004C",
        "NEMORA_SIM_CONTROL=" + control.string()};
    const std::string firmware = NEMORA_SOURCE_DIR "/assets/firmware/demo-k01-v1.2.vek";

    const CliResult r = RunCli({"flash", firmware, "--all", "--no-snapshot"}, env);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("Left alone: Product 12 NEMORASIM003 (the file is not for it)"), std::string::npos) << r.err;
    for (const char* ok : {"NEMORASIM001", "NEMORASIM004", "NEMORASIM005"}) {
        const auto at = r.out.find(ok);
        ASSERT_NE(at, std::string::npos) << ok << " in\n" << r.out;
        const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
        EXPECT_NE(line.find(" ok "), std::string::npos) << line;
        EXPECT_NE(line.find("verified"), std::string::npos) << line;
    }
    const auto failed = r.out.find("NEMORASIM002");
    ASSERT_NE(failed, std::string::npos);
    EXPECT_NE(r.out.find("FAILED", failed), std::string::npos);
    EXPECT_NE(r.out.find("errSTALLEDPKT", failed), std::string::npos);

    // The same again, all of them now verified (the devices keep what they were given), as JSON.
    const CliResult again = RunCli({"flash", firmware, "--all", "--no-snapshot", "--json"},
                                   {"NEMORA_SIM=bcd=0x004C;bcd=0x004C", "NEMORA_SIM_CONTROL=" + control.string()});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out.rfind("{\"ok\":true,\"devices\":[", 0), 0u) << again.out;

    EXPECT_EQ(RunCli({"flash", firmware, "--all"}, {"NEMORA_SIM=bcd=0x0300", "NEMORA_SIM_CONTROL=" + control.string()})
                  .exitCode,
              1); // nothing suits
    EXPECT_EQ(RunCli({"flash", firmware, "--count", "2"}, env).exitCode, 2);
    std::filesystem::remove(control);
}

} // namespace
