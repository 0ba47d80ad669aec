#include "device/driver_install.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {

using namespace nemora::device;

TEST(DriverInstall, ChoiceTable)
{
    EXPECT_EQ(ChooseInstaller(6, 2, true), kInstallWin8x64);
    EXPECT_EQ(ChooseInstaller(6, 2, false), kInstallWin8x86);
    EXPECT_EQ(ChooseInstaller(6, 1, true), kInstallWin7x64);
    EXPECT_EQ(ChooseInstaller(6, 1, false), kInstallWin7x86);
    EXPECT_EQ(ChooseInstaller(5, 1, false), kInstallWin7x86);
    EXPECT_EQ(ChooseInstaller(10, 0, true), kInstallWin7x64); // both numbers are tested
    EXPECT_EQ(ChooseInstaller(6, 15, true), kInstallWin8x64);
}

TEST(DriverInstall, PathsAndFailureText)
{
    EXPECT_EQ(InstallerPath(kInstallWin7x86), "./Driver/Win7/x86/dpinst_x86.exe");
    EXPECT_EQ(InstallerPath(kInstallWin7x64), "./Driver/Win7/x64/dpinst_amd64.exe");
    EXPECT_EQ(InstallerPath(kInstallWin8x86), "./Driver/Win8/x86/dpinst_x86.exe");
    EXPECT_EQ(InstallerPath(kInstallWin8x64), "./Driver/Win8/x64/dpinst_amd64.exe");
    EXPECT_EQ(InstallerFailureText(2), "安装失败，错误码：0x2");
    EXPECT_EQ(InstallerFailureText(31), "安装失败，错误码：0x1F");
}

namespace fs = std::filesystem;

// Where the installer is put before the lookup, and where the lookup must find it.
enum class Place { None, BesideProgram, Installed, Both };

class LocateInstallerTest : public ::testing::TestWithParam<Place> {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() /
               ("nemora-locate-" + std::to_string(::getpid()) + "-" + std::to_string(static_cast<int>(GetParam())));
        fs::remove_all(root);
        program = root / "usr/bin";
        installed = root / "usr/libexec/nemora";
        fs::create_directories(program);
        fs::create_directories(installed);
        fs::create_directories(root / "cwd");
    }
    void TearDown() override
    {
        fs::current_path(fs::temp_directory_path());
        fs::remove_all(root);
    }

    static void Put(const fs::path& folder, InstallerButton button)
    {
        const fs::path file = (folder / InstallerPath(button)).lexically_normal();
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "#!/bin/sh\n";
    }

    fs::path root;
    fs::path program;
    fs::path installed;
};

TEST_P(LocateInstallerTest, BesideTheProgramThenTheInstallationNeverTheWorkingFolder)
{
    const Place place = GetParam();
    // One planted in the working folder is never the one started.
    fs::current_path(root / "cwd");
    if (place == Place::Installed || place == Place::Both)
        std::ofstream(installed / "install-udev-rule") << "#!/bin/sh\n";
    for (InstallerButton button : {kInstallWin7x86, kInstallWin7x64, kInstallWin8x86, kInstallWin8x64}) {
        Put(root / "cwd", button);
        if (place == Place::BesideProgram || place == Place::Both)
            Put(program, button);
        if (place == Place::Installed || place == Place::Both)
            Put(installed, button);
        const std::string found = LocateInstaller(button, program, installed);
        if (place == Place::Installed)
            EXPECT_EQ(found, (installed / InstallerPath(button)).lexically_normal().string());
        else // the program's own, or where it was looked for
            EXPECT_EQ(found, (program / InstallerPath(button)).lexically_normal().string());
        EXPECT_EQ(LocateInstaller(button, program, {}), (program / InstallerPath(button)).lexically_normal().string());
        // Run by hand: the script the buttons' copies stand for, where the installation has it.
        EXPECT_EQ(ManualInstaller(found),
                  place == Place::Installed ? (installed / "install-udev-rule").string() : found);
    }
}

std::string PlaceName(const ::testing::TestParamInfo<Place>& param)
{
    constexpr const char* kNames[] = {"Nowhere", "BesideProgram", "Installed", "Both"};
    return kNames[static_cast<int>(param.param)];
}

INSTANTIATE_TEST_SUITE_P(DriverInstall, LocateInstallerTest,
                         ::testing::Values(Place::None, Place::BesideProgram, Place::Installed, Place::Both),
                         PlaceName);

} // namespace

// What the page and nemora-cli make of an installer's end, for the ends the page's test does not run.
struct ExitCase {
    InstallerExit exit;
    InstallerOutcome outcome;
    std::string text; // the whole text shown
};

class InstallerExitTest : public ::testing::TestWithParam<ExitCase> {};

TEST_P(InstallerExitTest, OutcomeAndText)
{
    EXPECT_EQ(ClassifyInstallerExit(GetParam().exit), GetParam().outcome);
    EXPECT_EQ(InstallerOutcomeText(GetParam().exit, "/opt/n/Driver/i.exe"), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    DriverInstall, InstallerExitTest,
    testing::Values(
        ExitCase{{false, 127, "", "Error executing command as another user: No authentication agent found.\n\n"},
                 InstallerOutcome::kRefused,
                 "The driver was not installed: pkexec could not get the administrator's authorisation (exit status "
                 "127: Error executing command as another user: No authentication agent found).\nTo install it by "
                 "hand, run in a terminal:\nsudo /opt/n/Driver/i.exe"},
        // A signal's number is no exit status, whatever it is.
        ExitCase{{true, 0, "is already installed", "first\n  last words \n"},
                 InstallerOutcome::kFailed,
                 "The driver installer was stopped before it finished: last words."}));
