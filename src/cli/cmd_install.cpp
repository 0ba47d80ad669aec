// nemora-cli install-udev-rule: runs the script that installs our udev rule (the installer of the
// console's "Install Driver" buttons). The script asks for administrator rights through pkexec only when
// udev does not already have the rule, and then for its own path, the one polkit's action names.

#include "cli/cli.h"
#include "device/driver_install.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace nemora::cli {
namespace {

constexpr std::string_view kCommand = "install-udev-rule";

// The script beside this program (a build puts a copy there), else in the installed programs folder
// (libexec/nemora). Empty when neither has it.
std::filesystem::path FindInstaller()
{
    std::error_code ec;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
    for (const std::filesystem::path& folder :
         {program.parent_path(), (program.parent_path() / NEMORA_BINDIR_TO_PROGRAMS).lexically_normal()}) {
        if (std::filesystem::is_regular_file(folder / "install-udev-rule", ec)) {
            return folder / "install-udev-rule";
        }
    }
    return {};
}

} // namespace

int RunInstallUdevRule(Args args)
{
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand(kCommand, args, {},
                     "Usage: nemora-cli install-udev-rule\n\n"
                     "Installs Nemora's udev rule, so that the logged-in user may open the device without\n"
                     "root: runs the installer of the console's \"Install Driver\" buttons, which asks for an\n"
                     "administrator's password through pkexec unless udev already has the rule. Unplug and\n"
                     "plug the device in afterwards.\n",
                     exitCode);
    if (!parsed) {
        return exitCode;
    }
    if (!parsed->positionals.empty()) {
        return UsageError(kCommand, "unexpected argument '" + parsed->positionals.front() + "'");
    }
    const std::string installer = FindInstaller().string();
    if (installer.empty()) {
        return Failure(kCommand, "the udev rule installer (install-udev-rule) is neither beside nemora-cli nor in "
                                 "its programs folder; reinstall Nemora");
    }
    std::array<char*, 2> argv = {const_cast<char*>(installer.c_str()), nullptr};
    pid_t pid = 0;
    if (const int error = ::posix_spawn(&pid, installer.c_str(), nullptr, nullptr, argv.data(), environ); error != 0) {
        return Failure(kCommand, "cannot start " + installer + " (" + std::strerror(error) + "); reinstall Nemora");
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return Failure(kCommand, "lost track of the installer: " + std::string(std::strerror(errno)));
        }
    }
    if (!WIFEXITED(status)) {
        return Failure(kCommand, "the installer was stopped before it finished");
    }
    switch (device::ClassifyInstallerExit(WEXITSTATUS(status), {})) {
    case device::InstallerOutcome::kInstalled:
    case device::InstallerOutcome::kAlreadyInstalled:
        return kExitOk; // the script has said so, and that the device is to be plugged in again
    case device::InstallerOutcome::kRefused:
        return Failure(kCommand, "not authorised: the administrator's password was not given (pkexec exit status " +
                                     std::to_string(WEXITSTATUS(status)) + "); nothing was installed");
    case device::InstallerOutcome::kNoPkexec:
        return Failure(kCommand, "nothing was installed: pkexec is missing, so no administrator's password can be "
                                 "asked for; install the pkexec package, or run as root: sudo " +
                                     installer);
    default:
        return Failure(kCommand, "the installer failed with exit status " + std::to_string(WEXITSTATUS(status)));
    }
}

} // namespace nemora::cli
