#include "device/driver_install.h"

#include <cstdio>

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

std::string LocateInstaller(InstallerButton button, const std::filesystem::path& currentFolder,
                            const std::filesystem::path& installedFolder)
{
    const std::string relative = InstallerPath(button);
    if (relative.empty())
        return relative;
    std::error_code error;
    if (std::filesystem::exists(currentFolder / relative, error) || installedFolder.empty())
        return relative;
    const std::filesystem::path installed = (installedFolder / relative).lexically_normal();
    if (std::filesystem::exists(installed, error))
        return installed.string();
    return relative;
}

std::string InstallerFailureText(unsigned result)
{
    char text[64];
    std::snprintf(text, sizeof text, "安装失败，错误码：0x%X", result);
    return text;
}

} // namespace nemora::device
