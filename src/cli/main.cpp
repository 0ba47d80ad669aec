#include "cli/cli.h"
#include "version/version.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <vector>

#if defined(NEMORA_CLI_LOGO)
#include <QtGlobal> // qVersion(): the screen-image commands run on Qt Gui
#endif

namespace {

using nemora::cli::Command;

// Every subcommand, in the order `nemora-cli --help` lists them.
constexpr std::array kCommands = {
    Command{"models", "list the model catalogue", nemora::cli::RunModels},
    Command{"identify", "show what the console derives from a device's USB ids", nemora::cli::RunIdentify},
    Command{"inspect", "show the identity, CRC state and images of a DfuSe file", nemora::cli::RunInspect},
    Command{"pack", "build a DfuSe file from binary, Intel HEX or S-record files", nemora::cli::RunPack},
    Command{"unpack", "write every element of a DfuSe file as a raw binary", nemora::cli::RunUnpack},
    Command{"list", "list the attached devices, update mode first", nemora::cli::RunList},
    Command{"flash", "erase, download and verify a DfuSe file on a device", nemora::cli::RunFlash},
    Command{"read", "read a memory range of a device into a raw file", nemora::cli::RunRead},
    Command{"leave", "make a device leave update mode and start its firmware", nemora::cli::RunLeave},
    Command{"recover", "list the writes cut short, and finish them", nemora::cli::RunRecover},
    Command{"settings", "show, change, back up and restore a device's user settings", nemora::cli::RunSettings},
    Command{"install-udev-rule", "let this user open the device without root", nemora::cli::RunInstallUdevRule},
    Command{"report", "print a diagnostic report to send with a question", nemora::cli::RunReport},
#if defined(NEMORA_CLI_LOGO)
    Command{"logo", "export, import and restore a device's screen images", nemora::cli::RunLogo},
#endif
};

void PrintHelp(std::ostream& out)
{
    out << "Usage: nemora-cli COMMAND [OPTIONS]\n"
           "  or:  nemora-cli --help | --version\n\n"
           "Commands:\n";
    std::size_t width = 0;
    for (const Command& c : kCommands)
        width = std::max(width, c.name.size());
    for (const Command& c : kCommands)
        out << "  " << c.name << std::string(width + 2 - c.name.size(), ' ') << c.summary << '\n';
    out << "\nRun 'nemora-cli COMMAND --help' for a command's options.\n"
           "Device commands use real USB, or virtual devices when NEMORA_SIM is set.\n"
           "Exit status: 0 success, 1 failure, 2 bad arguments.\n";
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << "nemora-cli: a command is required (see 'nemora-cli --help')\n";
        return nemora::cli::kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp(std::cout);
        return nemora::cli::kExitOk;
    }
    if (args[0] == "--version") {
#if defined(NEMORA_CLI_LOGO)
        std::cout << nemora::version::VersionText("nemora-cli", qVersion());
#else
        std::cout << nemora::version::VersionText("nemora-cli");
#endif
        return nemora::cli::kExitOk;
    }
    for (const Command& c : kCommands) {
        if (c.name == args[0])
            return c.run(std::span(args).subspan(1));
    }
    std::cerr << "nemora-cli: unknown command '" << args[0] << "' (see 'nemora-cli --help')\n";
    return nemora::cli::kExitUsage;
}
