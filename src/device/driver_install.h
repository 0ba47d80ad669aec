#pragma once

// Which driver installer the console runs, and where the installers live. Platform-free.

#include <filesystem>
#include <string>

namespace nemora::device {

// The four installer buttons of the information page.
enum InstallerButton : int {
    kInstallWin7x86 = 1022,
    kInstallWin7x64 = 1023,
    kInstallWin8x86 = 1024,
    kInstallWin8x64 = 1025,
};

// The automatic choice: a "new" system is version 6.2 or later in both numbers (major at least 6 and
// minor at least 2); the second question is whether the operating system is 64-bit.
InstallerButton ChooseInstaller(unsigned major, unsigned minor, bool bSystem64Bit);

// Relative path (from the current working folder) of a button's installer, with '/' separators.
std::string InstallerPath(InstallerButton button);

// The installer a button starts. The relative path comes first, looked up under currentFolder (the
// console's working folder, where a folder of its own Driver/ is used as it is); when nothing is there, the
// same path under installedFolder (the installation's libexec/nemora, found from the executable), as an
// absolute path. When neither exists the relative path is returned, so starting it fails as it always has.
std::string LocateInstaller(InstallerButton button, const std::filesystem::path& currentFolder,
                            const std::filesystem::path& installedFolder);

// The failure message for a shell result: the number in hexadecimal after "0x".
std::string InstallerFailureText(unsigned result);

} // namespace nemora::device
