#include "device/driver_install.h"

#include <gtest/gtest.h>

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

} // namespace
