// nemora-cli recover: the writes cut short, and finishing them. Every write to a device's flash is
// recorded before it starts and marked done once it verified (see dfuse/write_journal.h); one that never
// got there is listed here, and can be written again from the same file, or undone by writing back the
// settings kept before it.

#include "cli/cli.h"
#include "cli/cli_device.h"
#include "dfuse/write_journal.h"
#include "settings/settings_file.h"
#include "settings/snapshots.h"

#include <array>
#include <filesystem>
#include <iostream>

namespace nemora::cli {

namespace {

constexpr std::string_view kCommand = "recover";

std::string FileLine(const dfuse::WriteRecord& record)
{
    const std::string refusal = dfuse::WriteAgainRefusal(record);
    return record.file + (refusal.empty() ? " (can be written again)" : " (" + refusal + ": not written again)");
}

void Describe(const dfuse::WriteRecord& record)
{
    std::cout << dfuse::CutShortText(record) << '\n'
              << "  device:   " << PrintableText(record.model) << ", serial "
              << PrintableText(record.serial.empty() ? "unknown" : record.serial) << ", port "
              << (record.port.empty() ? "unknown" : record.port) << '\n'
              << "  file:     " << FileLine(record) << '\n'
              << "  settings: " << (record.snapshot.empty() ? "no snapshot was kept" : record.snapshot) << '\n';
}

} // namespace

int RunRecover(Args args)
{
    static constexpr std::array<OptionSpec, 7> kSpec = {{{"--list", false},
                                                         {"--yes", false},
                                                         {"--restore", false},
                                                         kNoSnapshotOption,
                                                         kDevicePathOption,
                                                         kSerialOption,
                                                         kWaitOption}};
    int exitCode = kExitOk;
    auto parsed = ParseCommand(
        kCommand, args, kSpec,
        "Usage: nemora-cli recover --list\n"
        "       nemora-cli recover [--yes [--restore]] [--no-snapshot] [--device PATH | --serial SERIAL]\n"
        "                          [--wait[=SECONDS]]\n\n"
        "Every write to a device's flash (flash, settings set, load and restore, the logo commands, and the\n"
        "console's) is recorded in the state folder before it starts and marked done once it verified; the\n"
        "newest 20 are kept. A write that never got there (the device unplugged, the program closed, an\n"
        "erase or verify that failed) is cut short: the device may hold part of it.\n\n"
        "With --list, the writes cut short, newest first: when, the device, the file and whether it can be\n"
        "written again, and the snapshot of the settings kept before it. Otherwise, the write cut short of\n"
        "the device in update mode is described; with --yes it is finished: the same file written again and\n"
        "verified (only while the file holds the bytes it held then), or with --restore the settings kept\n"
        "before it written back.\n\n"
        "  --list            list the writes cut short; no device is needed\n"
        "  --yes             finish the device's write cut short: write the same file again\n"
        "  --restore         with --yes: write back the settings kept before it instead\n" NEMORA_CLI_SNAPSHOT_HELP
            NEMORA_CLI_DEVICE_OPTIONS_HELP,
        exitCode);
    if (!parsed)
        return exitCode;
    if (!parsed->positionals.empty()) {
        return UsageError(kCommand, "unexpected argument '" + parsed->positionals.front() + "'");
    }
    const bool list = parsed->Has("--list");
    if (list && (parsed->Has("--yes") || parsed->Has("--restore") || parsed->Has("--device") ||
                 parsed->Has("--serial") || parsed->Has("--wait"))) {
        return UsageError(kCommand, "--list goes alone");
    }
    if (parsed->Has("--restore") && !parsed->Has("--yes")) {
        return UsageError(kCommand, "--restore goes with --yes");
    }
    std::string error;
    const auto folder = settings::TransferFolder(error);
    if (!folder) {
        return Failure(kCommand, "no state folder: " + error);
    }
    const std::vector<dfuse::WriteRecord> cut = dfuse::CutShortWrites(dfuse::ReadWrites(*folder));
    if (list) {
        if (cut.empty())
            std::cout << "No write was cut short.\n";
        for (const dfuse::WriteRecord& record : cut)
            Describe(record);
        return kExitOk;
    }

    AreaDevice device;
    if (const int status = OpenAreaDevice(kCommand, *parsed, DeviceUse::Writes, device); status >= 0) {
        return status;
    }
    const usb::DeviceInfo& d = device.session.device;
    const dfuse::WriteRecord* found = nullptr;
    for (const dfuse::WriteRecord& record : cut) {
        if (!found && dfuse::WentTo(record, d.vid, d.pid, d.bcdDevice, d.serial, DevicePort(d)))
            found = &record;
    }
    if (!found) {
        std::cout << "No write to this device was cut short: nothing to finish.\n";
        return kExitOk;
    }
    const dfuse::WriteRecord record = *found;
    Describe(record);
    const std::string refusal = dfuse::WriteAgainRefusal(record);
    if (!parsed->Has("--yes")) {
        std::cout << "Nothing was written. "
                  << (refusal.empty() ? "Give --yes to write it again" : "It cannot be written again (" + refusal + ")")
                  << (record.snapshot.empty() ? ""
                      : refusal.empty()       ? ", or --yes --restore to write back the "
                                                "settings kept before it"
                                              : "; give --yes --restore to write back the "
                                                "settings kept before it")
                  << ".\n";
        return kExitOk;
    }
    device.snapshotBefore = "nemora-cli recover (" + record.title + ")";
    if (parsed->Has("--restore")) {
        if (record.snapshot.empty()) {
            return Failure(kCommand, "no snapshot of the settings was kept before that write; nothing was written");
        }
        const settings::SnapshotAreas areas = settings::ReadSnapshot(record.snapshot, device.identity);
        if (!areas.error.empty()) {
            return Failure(kCommand, areas.error + "; nothing was written");
        }
        device.title = "settings restore";
        device.resolves = record.id;
        if (const int status = WriteStagingFile(kCommand, device, settings::MakeRestoreFile(device.identity, areas));
            status >= 0) {
            return status;
        }
        ReportChanges(device);
        std::cout << "Finished: the settings kept before the " << record.title << " are back on "
                  << PrintableText(record.model) << ".\n";
        return kExitOk;
    }
    if (!refusal.empty()) {
        return Failure(kCommand, refusal + "; nothing was written." +
                                     (record.snapshot.empty() ? std::string()
                                                              : " Give --yes --restore to write back the settings "
                                                                "kept before it"));
    }
    const dfuse::ParseResult file = dfuse::ReadDfuFile(record.file);
    if (!file.file) {
        return Failure(kCommand, FileProblem(record.file, file.error));
    }
    const int status = WriteFirmware(kCommand, device.session, device.link, record.file, *file.file,
                                     {true, true, SnapshotRequestFor(kCommand, *parsed, device.link, d), record.id});
    if (status == kExitOk) {
        std::cout << "Finished: the " << record.title << " of " << PrintableText(record.model)
                  << " is written again and verified.\n";
    }
    return status;
}

} // namespace nemora::cli
