// nemora-cli install-udev-rule: runs the driver installer of the console's "Install Driver" button (on
// Linux, the script that installs our udev rule) with administrator rights through pkexec.

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

// The installer the console would run: in the Driver/ folder beside this program (the build puts a copy
// there), else in the installed programs folder (libexec/nemora). On Linux the four installer paths hold
// the same script; take the one a current 64-bit system gets. Empty when neither exists.
std::filesystem::path FindInstaller()
{
    std::error_code ec;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
    const std::filesystem::path relative =
        std::filesystem::path(device::InstallerPath(device::ChooseInstaller(6, 2, true))).lexically_normal();
    for (const std::filesystem::path& folder :
         {program.parent_path(), (program.parent_path() / NEMORA_BINDIR_TO_PROGRAMS).lexically_normal()}) {
        if (std::filesystem::is_regular_file(folder / relative, ec)) {
            return folder / relative;
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
                     "root: runs the installer of the console's \"Install Driver\" button through pkexec,\n"
                     "which asks for an administrator's password. Unplug and plug the device in afterwards.\n",
                     exitCode);
    if (!parsed) {
        return exitCode;
    }
    if (!parsed->positionals.empty()) {
        return UsageError(kCommand, "unexpected argument '" + parsed->positionals.front() + "'");
    }
    const std::string installer = FindInstaller().string();
    if (installer.empty()) {
        return Failure(kCommand, "the driver installer (Driver/Win8/x64/dpinst_amd64.exe) is neither beside nemora-cli "
                                 "nor in its programs folder; reinstall Nemora");
    }
    std::string pkexec = "pkexec";
    std::array<char*, 3> argv = {pkexec.data(), const_cast<char*>(installer.c_str()), nullptr};
    pid_t pid = 0;
    if (const int error = ::posix_spawnp(&pid, "pkexec", nullptr, nullptr, argv.data(), environ); error != 0) {
        return Failure(kCommand, "cannot start pkexec (" + std::string(std::strerror(error)) + "); run " + installer +
                                     " as root instead");
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return Failure(kCommand, "lost track of pkexec: " + std::string(std::strerror(errno)));
        }
    }
    if (!WIFEXITED(status)) {
        return Failure(kCommand, "the installer was stopped before it finished");
    }
    switch (device::ClassifyInstallerExit(WEXITSTATUS(status), {})) {
    case device::InstallerOutcome::kInstalled:
    case device::InstallerOutcome::kAlreadyInstalled:
        std::cerr << "Unplug the device and plug it in again to use it without root.\n";
        return kExitOk;
    case device::InstallerOutcome::kRefused:
        return Failure(kCommand, "not authorised: the administrator's password was not given (pkexec exit status " +
                                     std::to_string(WEXITSTATUS(status)) + "); nothing was installed");
    default:
        return Failure(kCommand, "the installer failed with exit status " + std::to_string(WEXITSTATUS(status)));
    }
}

} // namespace nemora::cli
