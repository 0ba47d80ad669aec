// nemora-cli settings snapshots and settings restore: the snapshots every write to a device keeps of its
// user areas, and writing one back.

#include "cli/cli.h"
#include "cli/cli_device.h"
#include "settings/snapshots.h"

#include <array>
#include <iostream>

namespace nemora::cli {

int RunSettingsSnapshots(Args args)
{
    static constexpr std::array<OptionSpec, 2> kSpec = {{{"--json", false}, {"--model", true}}};
    constexpr std::string_view kCommand = "settings snapshots";
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand(kCommand, args, kSpec,
                     "Usage: nemora-cli settings snapshots [--json] [--model CODE]\n\n"
                     "Lists the snapshots, newest first: before every write to a device's flash (a firmware\n"
                     "update, a settings or screen write, from the console or from nemora-cli) both user areas\n"
                     "are read and kept as a settings file in $XDG_DATA_HOME/Nemora/snapshots (else\n"
                     "~/.local/share/Nemora/snapshots), the newest 50 of each device. Each line gives the date,\n"
                     "the model code, the serial number, the file and what the snapshot was taken before.\n"
                     "Newest is the one taken last, whatever the clock said then.\n\n"
                     "  --json         one JSON object: \"folder\" and \"snapshots\" (path, date, taken (UTC),\n"
                     "                 model, serial, before)\n"
                     "  --model CODE   only the snapshots of that model (as 'nemora-cli models' names it)\n",
                     exitCode);
    if (!parsed) {
        return exitCode;
    }
    if (!parsed->positionals.empty()) {
        return UsageError(kCommand, "no positional argument is accepted");
    }
    std::string error;
    const auto folder = settings::SnapshotFolder(error);
    if (!folder) {
        return Failure(kCommand, "no snapshot folder: " + error);
    }
    const auto snapshots = settings::ListSnapshots(*folder, parsed->Value("--model").value_or(""));
    if (parsed->Has("--json")) {
        JsonWriter w(std::cout);
        w.BeginObject().Key("folder").String(folder->string()).Key("snapshots").BeginArray();
        for (const auto& s : snapshots) {
            w.BeginObject()
                .Key("path")
                .String(s.path.string())
                .Key("date")
                .String(s.DateText())
                .Key("taken")
                .String(s.TakenUtc())
                .Key("model")
                .String(s.modelCode)
                .Key("serial")
                .String(s.rawSerial.empty() ? s.serial : s.rawSerial)
                .Key("before")
                .String(s.before)
                .EndObject();
        }
        w.EndArray().EndObject();
        std::cout << "\n";
        return kExitOk;
    }
    if (snapshots.empty()) {
        std::cout << "No snapshot in " << folder->string() << "\n";
    }
    for (const auto& s : snapshots) {
        std::cout << s.DateText() << "  " << s.modelCode << "  "
                  << PrintableText(s.rawSerial.empty() ? s.serial : s.rawSerial) << "  " << s.path.string()
                  << "  before " << PrintableText(s.BeforeText()) << "\n";
    }
    return kExitOk;
}

int RunSettingsRestore(Args args)
{
    static constexpr std::array<OptionSpec, 5> kSpec = {
        {{"--latest", false}, kNoSnapshotOption, kDevicePathOption, kSerialOption, kWaitOption}};
    constexpr std::string_view kCommand = "settings restore";
    int exitCode = kExitOk;
    auto parsed = ParseCommand(
        kCommand, args, kSpec,
        "Usage: nemora-cli settings restore FILE|--latest [--no-snapshot]\n"
        "                                   [--device PATH | --serial SERIAL] [--wait[=S]]\n\n"
        "Writes both user areas of a snapshot (see 'settings snapshots') back into a device in update mode\n"
        "of the same model: one erase, download and verify, after a snapshot of what the device holds now.\n\n"
        "  --latest          the newest snapshot of this device (its model and serial "
        "number)\n" NEMORA_CLI_SNAPSHOT_HELP NEMORA_CLI_DEVICE_OPTIONS_HELP,
        exitCode);
    if (!parsed) {
        return exitCode;
    }
    const bool latest = parsed->Has("--latest");
    if (latest == !parsed->positionals.empty() || parsed->positionals.size() > 1) {
        return UsageError(kCommand, "give either one FILE or --latest");
    }
    AreaDevice device;
    if (const int status = OpenAreaDevice(kCommand, *parsed, DeviceUse::Writes, device); status >= 0) {
        return status;
    }
    const std::string model = settings::SnapshotModelCode(device.identity);
    std::filesystem::path path;
    if (latest) {
        std::string error;
        const auto folder = settings::SnapshotFolder(error);
        if (!folder) {
            return Failure(kCommand, "no snapshot folder: " + error);
        }
        const std::string& serial = device.session.device.serial;
        if (const auto mine = settings::DeviceSnapshots(*folder, device.identity, serial); !mine.empty()) {
            path = mine.front().path;
        }
        if (path.empty()) {
            return Failure(kCommand, "no snapshot of this device (model " + model + ", serial " +
                                         PrintableText(serial.empty() ? "unknown" : serial) + ") in " +
                                         folder->string());
        }
    } else {
        path = parsed->positionals.front();
        if (const auto info = settings::ParseSnapshotName(path); info && info->modelCode != model) {
            return Failure(kCommand, path.string() + " is a snapshot of model " + info->modelCode +
                                         "; this device is model " + model + ". Nothing was written");
        }
    }
    const settings::SnapshotAreas areas = settings::ReadSnapshot(path, device.identity);
    if (!areas.error.empty()) {
        return Failure(kCommand, areas.error + "; nothing was written");
    }
    std::cerr << "Restoring " << path.string() << "\n";
    device.title = "settings restore";
    if (const int status = WriteStagingFile(kCommand, device, settings::MakeRestoreFile(device.identity, areas));
        status >= 0) {
        return status;
    }
    std::cout << "restored " << path.string() << "\n";
    ReportChanges(device);
    return kExitOk;
}

} // namespace nemora::cli
