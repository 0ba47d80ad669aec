#include "device/driver_install.h"

#include "i18n/translate.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace nemora::device {

InstallerButton ChooseInstaller(unsigned major, unsigned minor, bool bSystem64Bit)
{
    const bool newSystem = major >= 6 && minor >= 2;
    if (newSystem)
        return bSystem64Bit ? kInstallWin8x64 : kInstallWin8x86;
    return bSystem64Bit ? kInstallWin7x64 : kInstallWin7x86;
}

std::string InstallerPath(InstallerButton button)
{
    switch (button) {
    case kInstallWin7x86:
        return "./Driver/Win7/x86/dpinst_x86.exe";
    case kInstallWin7x64:
        return "./Driver/Win7/x64/dpinst_amd64.exe";
    case kInstallWin8x86:
        return "./Driver/Win8/x86/dpinst_x86.exe";
    case kInstallWin8x64:
        return "./Driver/Win8/x64/dpinst_amd64.exe";
    }
    return {};
}

std::string LocateInstaller(InstallerButton button, const std::filesystem::path& programFolder,
                            const std::filesystem::path& installedFolder)
{
    const std::string relative = InstallerPath(button);
    if (relative.empty())
        return relative;
    const std::filesystem::path beside = (programFolder / relative).lexically_normal();
    std::error_code error;
    if (!installedFolder.empty() && !std::filesystem::exists(beside, error)) {
        const std::filesystem::path installed = (installedFolder / relative).lexically_normal();
        if (std::filesystem::exists(installed, error))
            return installed.string();
    }
    return beside.string();
}

std::string ManualInstaller(const std::string& installerPath)
{
    const std::filesystem::path button(installerPath);
    const std::filesystem::path driver = button.parent_path().parent_path().parent_path();
    const std::filesystem::path script = driver.parent_path() / "install-udev-rule";
    std::error_code error;
    if (driver.filename() == "Driver" && std::filesystem::is_regular_file(script, error))
        return script.string();
    return installerPath;
}

std::string InstallerFailureText(unsigned result)
{
    const std::string format = nemora::i18n::Tr("DriverInstall", "安装失败，错误码：0x%X");
    char text[256];
    std::snprintf(text, sizeof text, format.c_str(), result);
    return text;
}

InstallerOutcome ClassifyInstallerExit(int nExitStatus, std::string_view output)
{
    switch (nExitStatus) {
    case 0:
        // The script's words when udev already has this very rule.
        return output.find("is already installed") != std::string_view::npos ? InstallerOutcome::kAlreadyInstalled
                                                                             : InstallerOutcome::kInstalled;
    case 126:
    case 127:
        return InstallerOutcome::kRefused;
    case kInstallerNoPkexecStatus:
        return InstallerOutcome::kNoPkexec;
    default:
        return InstallerOutcome::kFailed;
    }
}

InstallerOutcome ClassifyInstallerExit(const InstallerExit& exit)
{
    return exit.bCrashed ? InstallerOutcome::kFailed : ClassifyInstallerExit(exit.nExitStatus, exit.strOutput);
}

std::string LastLine(std::string_view text)
{
    constexpr std::string_view blanks = " \t\r\n";
    const auto end = text.find_last_not_of(blanks);
    if (end == std::string_view::npos)
        return {};
    text = text.substr(0, end + 1);
    const auto newline = text.find_last_of('\n');
    if (newline != std::string_view::npos)
        text = text.substr(newline + 1);
    return std::string(text.substr(std::min(text.find_first_not_of(blanks), text.size())));
}

std::string InstallerOutcomeText(const InstallerExit& exit, const std::string& installerPath)
{
    const std::string byHand = "sudo " + ManualInstaller(installerPath);
    std::string errorLine = LastLine(exit.strErrors);
    if (!errorLine.empty() && errorLine.back() == '.')
        errorLine.pop_back(); // the texts below end their sentences themselves
    const std::string said = errorLine.empty() ? std::string() : ": " + errorLine;
    switch (ClassifyInstallerExit(exit)) {
    case InstallerOutcome::kInstalled:
        return nemora::i18n::Tr("DriverInstall", "The driver is installed: unplug the device and plug it in again.");
    case InstallerOutcome::kAlreadyInstalled:
        return nemora::i18n::Tr("DriverInstall",
                                "The driver is already installed: unplug the device and plug it in again.");
    case InstallerOutcome::kRefused:
        if (exit.nExitStatus == 126)
            return nemora::i18n::Tr("DriverInstall",
                                    "The driver was not installed: the administrator's password was not given.");
        // No password agent, a wrong password three times, or pkexec itself failing.
        return i18n::Fill(
            nemora::i18n::Tr("DriverInstall",
                             "The driver was not installed: pkexec could not get the administrator's authorisation "
                             "(exit status %1%2).\nTo install it by hand, run in a terminal:\n%3"),
            {std::to_string(exit.nExitStatus), said, byHand});
    case InstallerOutcome::kNoPkexec:
        return i18n::Fill(
            nemora::i18n::Tr("DriverInstall",
                             "The driver was not installed: pkexec is missing, so no administrator's password can be "
                             "asked for.\nTo install it by hand, run in a terminal:\n%1"),
            {byHand});
    case InstallerOutcome::kFailed:
        break;
    }
    if (exit.bCrashed)
        return i18n::Fill(nemora::i18n::Tr("DriverInstall", "The driver installer was stopped before it finished%1."),
                          {said});
    return i18n::Fill(nemora::i18n::Tr("DriverInstall", "The driver installer failed with exit status %1%2."),
                      {std::to_string(exit.nExitStatus), said});
}

} // namespace nemora::device
