// Choosing, waiting for and opening devices with nemora-cli: --serial, --wait, the refusal to guess among
// several devices, modes that persist from one process to the next, and the permission doctor.

#include "../dfuse/dfuse_test_util.h"
#include "cli/cli.h"
#include "cli_runner.h"
#include "sim/sim_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using dfuse_test::ReadBytes;
using namespace nemora::dfuse;
using namespace std::chrono_literals;

class CliChooseDevice : public ::testing::Test {
protected:
    std::string P(const std::string& name) const { return (dir / name).string(); }

    CliResult Run(const std::vector<std::string>& args, const std::string& sim, std::vector<std::string> env = {})
    {
        env.push_back("NEMORA_SIM=" + sim);
        env.push_back("NEMORA_SIM_CONTROL=" + P("control"));
        env.push_back("NEMORA_TRANSFER_DIR=" + P("transfer"));
        return RunCli(args, env);
    }

    std::string Firmware()
    {
        const std::string path = P("firmware.vek");
        EXPECT_FALSE(WriteDfuFile(
            path,
            DfuFile{0x0483,
                    0xDF11,
                    0x0041,
                    {Image{0, "Internal Flash  ", {Element{0x08000000, std::vector<std::uint8_t>(3000, 0x3C)}}}}}));
        return path;
    }

    // The second "process": a transport of this test's own on the same control file.
    std::unique_ptr<nemora::sim::SimTransport> Transport(const std::string& sim)
    {
        std::string error;
        auto t = nemora::sim::SimTransport::Create(nemora::sim::ParseSimConfig(sim).devices, P("control"), error);
        EXPECT_TRUE(t) << error;
        return t;
    }

    dfuse_test::ScratchDir dir;
};

TEST_F(CliChooseDevice, LeaveThenListInALaterProcessShowsAppUntilADetachBringsItBack)
{
    const std::string sim = "serial=KEEP1";
    CliResult r = Run({"leave", "--wait=5"}, sim);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Back in application mode: USB:1-1:"), std::string::npos) << r.err;

    r = Run({"list"}, sim);
    EXPECT_NE(r.out.find("  app  "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("serial KEEP1  port 1-1"), std::string::npos) << r.out;
    EXPECT_EQ(Run({"flash", Firmware()}, sim).exitCode, 1) << "not in update mode any more";

    // A host that detaches the run-time interface (here, this process) brings it back for everyone.
    auto t = Transport(sim);
    std::vector<nemora::usb::DeviceInfo> devices;
    ASSERT_EQ(t->Enumerate(devices), nemora::usb::Status::Ok);
    ASSERT_EQ(devices.size(), 1u);
    ASSERT_EQ(devices[0].mode, nemora::usb::InterfaceMode::Application);
    std::unique_ptr<nemora::usb::DeviceHandle> h;
    ASSERT_EQ(t->Open(devices[0].path, h), nemora::usb::Status::Ok);
    std::vector<std::uint8_t> none;
    ASSERT_EQ(h->ControlTransfer({0x21, nemora::sim::kDfuDetach, 1000, 0, 0}, none, 1000ms).status,
              nemora::usb::Status::Ok);
    r = Run({"list", "--json"}, sim);
    EXPECT_NE(r.out.find("\"mode\":\"dfu\""), std::string::npos) << r.out;
}

TEST_F(CliChooseDevice, WithTwoDevicesACommandThatWritesRefusesAndSerialPicksOne)
{
    const std::vector<std::uint8_t> blank(65536, 0xFF);
    dfuse_test::WriteBytes(P("a.bin"), blank);
    dfuse_test::WriteBytes(P("b.bin"), blank);
    const std::string sim = "serial=AAA,flash=" + P("a.bin") + ";serial=BBB,flash=" + P("b.bin");
    const std::string file = Firmware();

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"flash", file}, {"leave"}, {"settings", "set", "ni=5"}, {"settings", "load", file}}) {
        const CliResult r = Run(args, sim);
        EXPECT_EQ(r.exitCode, 2) << args[0] << ": " << r.err;
        for (const char* expected : {"serial AAA  port 1-1  USB:1-1:", "serial BBB  port 1-2  USB:1-2:"}) {
            EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
        }
    }
    // In this process too.
    ::setenv("NEMORA_SIM", sim.c_str(), 1);
    ::setenv("NEMORA_SIM_CONTROL", P("control").c_str(), 1);
    const std::vector<std::string_view> args = {file};
    EXPECT_EQ(nemora::cli::RunFlash(args), nemora::cli::kExitUsage);
    ::unsetenv("NEMORA_SIM");
    EXPECT_EQ(ReadBytes(P("a.bin")), blank);
    EXPECT_EQ(ReadBytes(P("b.bin")), blank);

    CliResult r = Run({"flash", file, "--serial", "BBB"}, sim);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(P("a.bin")), blank);
    EXPECT_EQ(ReadBytes(P("b.bin"))[0], 0x3C);
    EXPECT_EQ(Run({"flash", file, "--serial", "CCC"}, sim).exitCode, 1);

    // Reading takes the first, and says so.
    r = Run({"read", "--alt", "0", "--address", "0x08000000", "--length", "16", "-o", P("out.bin")}, sim);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("using the first, USB:1-1:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("(serial AAA, port 1-1)"), std::string::npos) << r.err;

    r = Run({"list", "--json"}, sim);
    EXPECT_NE(r.out.find("\"serial\":\"BBB\",\"port\":\"1-2\"}"), std::string::npos) << r.out;
}

TEST_F(CliChooseDevice, WaitTakesADevicePluggedTwoSecondsLater)
{
    dfuse_test::WriteBytes(P("late.bin"), std::vector<std::uint8_t>(65536, 0xFF));
    std::thread plug([&] {
        std::this_thread::sleep_for(2s);
        std::ofstream(P("control"), std::ios::app) << "plug serial=LATE,flash=" << P("late.bin") << "\n";
    });
    const CliResult r = Run({"flash", Firmware(), "--wait=5"}, "");
    plug.join();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(P("late.bin"))[0], 0x3C);
}

TEST_F(CliChooseDevice, WaitGivesUpAfterItsTimeWithOneLine)
{
    const auto start = std::chrono::steady_clock::now();
    const CliResult r = Run({"flash", Firmware(), "--wait=5"}, "mode=app");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("nemora-cli flash: no device came within 5 s: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(Run({"flash", Firmware(), "--wait=soon"}, "").exitCode, 2);
}

TEST_F(CliChooseDevice, APermissionFailureNamesTheDeviceTheReasonAndTheFix)
{
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"flash", Firmware()}, {"settings", "show"}, {"leave"}}) {
        const CliResult r = Run(args, "serial=LOCKED,fault=access");
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        for (const char* part : {"cannot open USB:1-1:", "(serial LOCKED, port 1-1)", "no permission",
                                 "'nemora-cli install-udev-rule'", "unplug and plug the device in again"}) {
            EXPECT_NE(r.err.find(part), std::string::npos) << part << " in " << r.err;
        }
    }
    // In this process too.
    ::setenv("NEMORA_SIM", "fault=access", 1);
    ::setenv("NEMORA_SIM_CONTROL", P("control").c_str(), 1);
    EXPECT_EQ(nemora::cli::RunLeave({}), nemora::cli::kExitFailure);
    ::unsetenv("NEMORA_SIM");
}

// The script runs itself again through pkexec, by the path polkit's action names; when pkexec is missing
// the user is told to run that script, never a button's ".exe" copy, as root.
TEST_F(CliChooseDevice, InstallUdevRuleRunsTheScriptWhichAsksPkexecForItsOwnPath)
{
    // Tools for the script in folders of their own: an `id` that says "not root" (tests may run as root,
    // and must not install a rule), and a pkexec that writes down what it was asked to run.
    for (const char* folder : {"bin", "nopkexec"}) {
        fs::create_directories(P(folder));
        for (const char* tool : {"dirname", "basename", "cmp"})
            fs::create_symlink(fs::path("/usr/bin") / tool, P(folder) + "/" + tool);
        std::ofstream(P(folder) + "/id") << "#!/bin/sh\necho 1000\n";
        fs::permissions(P(folder) + "/id", fs::perms::owner_all);
    }
    std::ofstream(P("bin/pkexec")) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$PKEXEC_LOG\"\nexit \"$PKEXEC_STATUS\"\n";
    fs::permissions(P("bin/pkexec"), fs::perms::owner_all);
    const std::string log = "PKEXEC_LOG=" + P("pkexec.log");

    CliResult r = Run({"install-udev-rule"}, "", {"PATH=" + P("bin"), log, "PKEXEC_STATUS=0"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::ifstream asked(P("pkexec.log"));
    std::string installer;
    std::getline(asked, installer);
    EXPECT_TRUE(installer.ends_with("/install-udev-rule")) << installer;
    EXPECT_EQ(ReadBytes(installer), ReadBytes(fs::path(NEMORA_SOURCE_DIR) / "packaging/udev/install-udev-rule"));

    r = Run({"install-udev-rule"}, "", {"PATH=" + P("bin"), log, "PKEXEC_STATUS=126"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("not authorised"), std::string::npos) << r.err;

    r = Run({"install-udev-rule"}, "", {"PATH=" + P("nopkexec")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("nemora-cli install-udev-rule: nothing was installed: pkexec is missing"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("sudo " + installer), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(".exe"), std::string::npos) << r.err;
    EXPECT_EQ(Run({"install-udev-rule", "now"}, "").exitCode, 2);
}

} // namespace
