#pragma once

// Which driver installer the console runs, and where the installers live. Platform-free.

#include <filesystem>
#include <string>
#include <string_view>

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

// The installer a button starts, always as an absolute path: the button's path under programFolder (the
// folder of the running executable, where a build keeps its own Driver/) when it is there, else under
// installedFolder (the installation's libexec/nemora). When neither has it, the path under programFolder,
// so that starting it fails and names where it was looked for. The working folder is never looked in:
// whoever can put a file there must not have it run as the user.
std::string LocateInstaller(InstallerButton button, const std::filesystem::path& programFolder,
                            const std::filesystem::path& installedFolder);

// The installer a user runs by hand (as root) in place of a button's: on Linux the buttons' copies stand
// for the script in the programs folder (three folders up from Driver/<system>/<arch>/), the one polkit's
// action names; that one when it is there, else the button's own.
std::string ManualInstaller(const std::string& installerPath);

// The failure message for a shell result: the number in hexadecimal after "0x".
std::string InstallerFailureText(unsigned result);

// How a run of the installer ended. On Linux the installer is the script that installs the udev rule; it
// runs itself again through pkexec when it is not root, so its exit status is pkexec's: 126 when the
// administrator's password was not given (the dialog dismissed), 127 when pkexec could not authorise
// (wrong password, no authentication agent) or could not run.
struct InstallerExit {
    bool bCrashed = false; // stopped by a signal; nExitStatus means nothing then
    int nExitStatus = 0;
    std::string strOutput; // standard output
    std::string strErrors; // standard error
};

enum class InstallerOutcome { kInstalled, kAlreadyInstalled, kRefused, kNoPkexec, kFailed };

// The script's own exit status for "pkexec is missing, run me as root" (EX_UNAVAILABLE).
inline constexpr int kInstallerNoPkexecStatus = 69;

// What an exit status (and the installer's standard output, which says when the rule was there already)
// means. nemora-cli, which runs pkexec itself, uses it with an empty output.
InstallerOutcome ClassifyInstallerExit(int nExitStatus, std::string_view output);
InstallerOutcome ClassifyInstallerExit(const InstallerExit& exit);

// The last non-blank line of a program's output, trimmed; empty when there is none.
std::string LastLine(std::string_view text);

// What the information page shows when the installer at installerPath (absolute) has ended: the outcome
// and what to do next. More than one line at most where a command to type is shown.
std::string InstallerOutcomeText(const InstallerExit& exit, const std::string& installerPath);

} // namespace nemora::device
