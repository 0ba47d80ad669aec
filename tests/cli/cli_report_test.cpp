// nemora-cli report on two virtual devices, one this user may not open.

#include "cli_runner.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace {

TEST(CliReport, NamesBothDevicesThePermissionProblemAndTheLastOutcomeWithSerialsShortened)
{
    const std::string sim = "NEMORA_SIM=mode=dfu,fault=stall@write:2;bcd=0x0300,fault=access";
    const std::filesystem::path control = std::filesystem::temp_directory_path() / "nemora-report-control";
    const std::vector<std::string> env = {sim, "NEMORA_SIM_CONTROL=" + control.string()};
    RunCli({"flash", NEMORA_SOURCE_DIR "/assets/firmware/demo-k01-v1.2.vek", "--serial", "NEMORASIM001"}, env);

    const CliResult text = RunCli({"report"}, env);
    ASSERT_EQ(text.exitCode, 0) << text.err;
    for (const char* part : {"Product 01 in update mode", "Product 12 in update mode", "Virtual devices: in use",
                             "alt 0 \"Internal Flash  \": 0x08000000, 64 x 1 KiB", "permission denied",
                             "No device node (a virtual device)", "\u2026M001", "failed in UPGRADE", "errSTALLEDPKT"})
        EXPECT_NE(text.out.find(part), std::string::npos) << part << " in\n" << text.out;
    EXPECT_EQ(text.out.find("NEMORASIM001"), std::string::npos) << "serial shown whole";

    EXPECT_NE(RunCli({"report", "--include-serials"}, env).out.find("Serial: NEMORASIM002"), std::string::npos);

    const CliResult json = RunCli({"report", "--json"}, env);
    for (const char* part : {"\"virtual_devices\":true", "\"can_open\":false", "\"reason\":\"permission denied",
                             "\"phase\":\"UPGRADE\"", "\"model_name\":\"Product 12\""})
        EXPECT_NE(json.out.find(part), std::string::npos) << part;
    EXPECT_EQ(json.out.find("NEMORASIM00"), std::string::npos);

    const std::filesystem::path saved = std::filesystem::temp_directory_path() / "nemora-report-test.txt";
    ASSERT_EQ(RunCli({"report", "-o", saved.string()}, env).exitCode, 0);
    std::ostringstream file;
    file << std::ifstream(saved).rdbuf();
    EXPECT_NE(file.str().find("Product 12 in update mode"), std::string::npos);
    std::filesystem::remove(saved);
    std::filesystem::remove(control);
}

} // namespace
