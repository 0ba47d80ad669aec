// nemora-cli list, flash, read and leave: devices, through the same library and background operations
// the console uses (each blocking command runs an operation to its end and polls it like the console's
// engine does).

#include "cli/cli.h"
#include "cli/cli_device.h"
#include "cli/cmd_flash_plan.h"
#include "device/device_identity.h"
#include "device/device_return.h"
#include "dfuse/dfu_file.h"
#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_operations.h"
#include "transport/transport_factory.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <iostream>

namespace nemora::cli {

using dfuse::Image;
using dfuse::MappingTarget;

// ---------------------------------------------------------------- list

int RunList(Args args)
{
    static constexpr std::array<OptionSpec, 2> kSpec = {{{"--json", false}, kWaitOption}};
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand("list", args, kSpec,
                     "Usage: nemora-cli list [--json] [--wait[=SECONDS]]\n\n"
                     "Lists the attached devices, those in update mode (dfu) first, then those running their\n"
                     "firmware (app): path, mode, VID, PID, bcdDevice, the product, model and firmware\n"
                     "version the catalogue gives for them, the USB serial number and the port. With one\n"
                     "device in update mode, it is the one flash, read and leave use; with several, name one\n"
                     "with --serial or --device.\n\n"
                     "  --json   a JSON list of objects: path, mode, vid, pid, bcd_device, product_name,\n"
                     "           model_name, firmware_version, serial, port\n"
                     "  --wait[=SECONDS]  wait until a device is attached (without SECONDS: for as long as it\n"
                     "                    takes)\n",
                     exitCode);
    if (!parsed)
        return exitCode;
    std::string error;
    if (!parsed->positionals.empty()) {
        return UsageError("list", "unexpected argument '" + parsed->positionals.front() + "'");
    }
    WaitOption wait;
    if (const int status = ParseWaitOption("list", *parsed, wait); status >= 0) {
        return status;
    }
    auto transport = usb::CreateTransport(&error);
    if (!transport) {
        return Failure("list", error.empty() ? "no USB access" : error);
    }
    std::vector<usb::DeviceInfo> devices;
    if (const usb::Status s = transport->Enumerate(devices); s != usb::Status::Ok) {
        return Failure("list", std::string("cannot list devices: ") + usb::StatusName(s));
    }
    if (wait.wait && devices.empty()) {
        usb::DeviceInfo first;
        const auto any = [&](const std::vector<usb::DeviceInfo>& listed) -> std::optional<usb::DeviceInfo> {
            devices = listed;
            return listed.empty() ? std::nullopt : std::optional(listed.front());
        };
        if (!WaitForDevice(*transport, wait, any, first)) {
            return Failure(
                "list", wait.limit ? Format("no device came within %lld s", static_cast<long long>(wait.limit->count()))
                                   : std::string("cannot list devices any more"));
        }
    }
    const bool json = parsed->Has("--json");
    JsonWriter writer(std::cout);
    if (json) {
        writer.BeginArray();
    }
    for (const usb::DeviceInfo& d : devices) {
        CDeviceIdentity identity;
        identity.SetIds(d.vid, d.pid, d.bcdDevice);
        const CatalogueNames names = NamesOf(identity);
        const char* mode = d.mode == usb::InterfaceMode::Dfu ? "dfu" : "app";
        if (json) {
            writer.BeginObject()
                .Key("path")
                .String(d.path)
                .Key("mode")
                .String(mode)
                .Key("vid")
                .Int(d.vid)
                .Key("pid")
                .Int(d.pid)
                .Key("bcd_device")
                .Int(d.bcdDevice);
            WriteNames(writer, names).Key("serial").String(d.serial).Key("port").String(DevicePort(d)).EndObject();
        } else {
            std::cout << d.path << "  " << mode << "  " << Hex(d.vid, 4) << ':' << Hex(d.pid, 4).substr(2)
                      << "  bcdDevice " << Hex(d.bcdDevice, 4) << "  " << names.product << " / " << names.model << " / "
                      << names.firmware << "  serial " << (d.serial.empty() ? "unknown" : PrintableText(d.serial))
                      << "  port " << DevicePort(d) << '\n';
        }
    }
    if (json) {
        writer.EndArray();
        std::cout << '\n';
    } else if (devices.empty()) {
        std::cerr << "nemora-cli list: no device found\n";
    }
    return kExitOk;
}

// ---------------------------------------------------------------- flash

int RunFlash(Args args)
{
    static constexpr std::array<OptionSpec, 11> kSpec = {{{"--no-verify", false},
                                                          {"--leave", false},
                                                          {"--full", false},
                                                          {"--dry-run", false},
                                                          {"--json", false},
                                                          {"--all", false},
                                                          {"--count", true},
                                                          kNoSnapshotOption,
                                                          kDevicePathOption,
                                                          kSerialOption,
                                                          kWaitOption}};
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand("flash", args, kSpec,
                     "Usage: nemora-cli flash FILE [--no-verify] [--full] [--no-snapshot] [--dry-run [--json]]\n"
                     "                        [--device PATH | --serial SERIAL] [--wait[=SECONDS]]\n"
                     "       nemora-cli flash FILE --leave [--device PATH | --serial SERIAL] [--wait[=SECONDS]]\n"
                     "       nemora-cli flash FILE --all [--count N --wait[=SECONDS]] [--json] [--no-verify]\n"
                     "                        [--full] [--no-snapshot]\n\n"
                     "Writes a DfuSe file (.vek, .dfu) into a device in update mode, as the console's\n"
                     "upgrade does: the file's VID, PID and model (bcdDevice without its 6 low firmware\n"
                     "bits) must match the device's; then the pages each image touches are read, those\n"
                     "that already hold its bytes are left alone, and the others are erased (unless blank)\n"
                     "and programmed, keeping the bytes of each page the image does not cover; what was\n"
                     "written is read back and compared (\"Verify successful !\", or the first\n"
                     "difference and exit status 1). Nothing is written when an image holds bytes the\n"
                     "device's memory map does not allow writing. Before the first erase, both user areas\n"
                     "(screens and settings) are read and kept as a snapshot ('settings snapshots').\n\n"
                     "With several devices in update mode attached, name the one to write.\n\n"
                     "With --dry-run nothing is erased or written: only the device's identity, memory map\n"
                     "and the pages the file touches are read, and the plan is printed on stdout: the\n"
                     "file's identity against the device's, per target the pages a whole write would erase\n"
                     "and the bytes it would send, which pages the compare would erase, program or leave\n"
                     "alone, the user areas (logo, parameters) the file would write or wipe, and why the\n"
                     "flash would be refused. Exit status 0 when it would go ahead, 1 when it would be\n"
                     "refused.\n\n"
                     "  --dry-run         check and plan only; send nothing that changes the device\n"
                     "  --json            with --dry-run: the plan as one JSON object: file, device,\n"
                     "                    identity, targets (pages, compare), unused_images, areas (logo,\n"
                     "                    parameters), verify, refusals, would_flash\n"
                     "  --full            erase every page the file touches and write all its bytes, as a\n"
                     "                    plain DfuSe download does (other bytes of those pages are lost)\n"
                     "  --no-verify       skip the read-back\n"
                     "  --leave           once the write verified, leave update mode and wait for the device\n"
                     "                    to come back (10 s, or --wait's SECONDS); say which firmware it runs\n"
                     "  --all             every attached device in update mode the file suits, all at once,\n"
                     "                    each with its own snapshot and verify; the others are named and\n"
                     "                    left alone. One line per device follows its phase; a summary line\n"
                     "                    per device (model, serial, outcome, seconds) ends it, or with\n"
                     "                    --json one object. Exit status 0 only when every device verified;\n"
                     "                    1 when one failed or none suits\n"
                     "  --count N         with --all and --wait: wait until N devices the file suits are "
                     "attached\n" NEMORA_CLI_SNAPSHOT_HELP NEMORA_CLI_DEVICE_OPTIONS_HELP,
                     exitCode);
    if (!parsed)
        return exitCode;
    std::string error;
    if (parsed->positionals.size() != 1) {
        return UsageError("flash", parsed->positionals.empty() ? "FILE is required" : "only one FILE is accepted");
    }
    const bool all = parsed->Has("--all");
    if (parsed->Has("--json") && !parsed->Has("--dry-run") && !all) {
        return UsageError("flash", "--json goes with --dry-run or --all");
    }
    if (all && (parsed->Has("--dry-run") || parsed->Has("--device") || parsed->Has("--serial"))) {
        return UsageError("flash", "--all goes with neither --dry-run, --device nor --serial");
    }
    if (parsed->Has("--count") && !all) {
        return UsageError("flash", "--count goes with --all");
    }
    if (parsed->Has("--leave") && (all || parsed->Has("--dry-run") || parsed->Has("--no-verify"))) {
        return UsageError("flash", "--leave follows a verified write of one device: not with --all, --dry-run or "
                                   "--no-verify");
    }
    const std::string path = parsed->positionals.front();
    const dfuse::ParseResult file = dfuse::ReadDfuFile(path);
    if (!file.file) {
        return Failure("flash", FileProblem(path, file.error));
    }
    if (all) {
        return RunFlashAll(*parsed, *file.file);
    }

    Session session;
    if (const int status = OpenSession("flash", *parsed, true, DeviceUse::Writes, session); status >= 0) {
        return status;
    }
    dfuse::DeviceLink link;
    if (const int status = OpenLink("flash", session, link); status >= 0) {
        return status;
    }
    if (parsed->Has("--dry-run")) {
        return PrintFlashPlan(path, *file.file, link, !parsed->Has("--no-verify"), parsed->Has("--json"),
                              parsed->Has("--full") ? nullptr : &session.library->Operations());
    }
    const int written = WriteFirmware("flash", session, link, path, *file.file,
                                      {!parsed->Has("--no-verify"),
                                       !parsed->Has("--full"),
                                       SnapshotRequestFor("flash", *parsed, link, session.device),
                                       {}});
    if (written != kExitOk || !parsed->Has("--leave")) {
        return written;
    }
    // Verified: the device starts the firmware it was given, and comes back running it.
    dfuse::TransferJob leave(session.library->Operations());
    JobReporter leaving("leave");
    leaving.RecordFor(session.device);
    dfuse::RunJob(
        leave, [&] { return leave.StartLeave(link, {0}); }, std::ref(leaving));
    if (leaving.Status() != kExitOk) {
        return leaving.Status();
    }
    std::cerr << "Successfully left updating mode !\n";
    WaitOption back = session.wait;
    if (back.wait && !back.limit) {
        back.limit = std::chrono::seconds(10); // --wait without SECONDS was for the device to arrive
    }
    return AwaitReturn("flash", *session.transport, session.device, back);
}

int WriteFirmware(std::string_view command, Session& session, const dfuse::DeviceLink& link, const std::string& path,
                  const dfuse::DfuFile& file, FirmwareWrite options)
{
    // Every target the file has an image for, in target order; the job refuses the file before anything
    // is sent when one of them is missing or cannot take its image whole.
    std::vector<int> targets;
    for (const Image& image : file.images) {
        targets.push_back(image.alternate);
    }
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());

    dfuse::TransferJob job(session.library->Operations());
    job.SetVerifyAfterUpgrade(options.verify);
    job.SetSmartWrites(options.smart);
    job.SetSnapshot(std::move(options.snapshot));
    JobReporter reporter(command);
    reporter.RecordFor(session.device);
    auto journal =
        BeginRecordedWrite(session.device, "firmware update", std::filesystem::path(path).filename().string(), path,
                           dfuse::HashOfFile(path), options.resolves);
    reporter.Journal(journal ? &*journal : nullptr);
    dfuse::RunJob(
        job, [&] { return job.StartUpgrade(link, targets, file); }, std::ref(reporter));
    if (journal)
        journal->End(reporter.Status() == kExitOk);
    if (reporter.Status() == kExitOk) {
        CDeviceIdentity identity;
        identity.SetIds(link.vid, link.pid, link.bcdDevice);
        std::cout << "changed: " << reporter.FirmwareChange(settings::UserAreasTouched(file.images, identity)) << '\n';
    }
    return reporter.Status();
}

// ---------------------------------------------------------------- read

int RunRead(Args args)
{
    static constexpr std::array<OptionSpec, 7> kSpec = {{{"--alt", true},
                                                         {"--address", true},
                                                         {"--length", true},
                                                         {"-o", true},
                                                         kDevicePathOption,
                                                         kSerialOption,
                                                         kWaitOption}};
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand("read", args, kSpec,
                     "Usage: nemora-cli read --alt N --address A --length L -o OUT\n"
                     "                       [--device PATH | --serial SERIAL] [--wait[=SECONDS]]\n\n"
                     "Reads L bytes from address A of alternate setting N of a device in update mode into the\n"
                     "raw file OUT (written whole or not at all). The range must be readable according to the\n"
                     "device's memory map. Without a device named, the first in update mode is read (and named\n"
                     "on stderr when there are several).\n\n" NEMORA_CLI_DEVICE_OPTIONS_HELP,
                     exitCode);
    if (!parsed)
        return exitCode;
    if (!parsed->positionals.empty()) {
        return UsageError("read", "unexpected argument '" + parsed->positionals.front() + "'");
    }
    for (const char* required : {"--alt", "--address", "--length", "-o"}) {
        if (!parsed->Has(required)) {
            return UsageError("read", std::string(required) + " is required");
        }
    }
    const auto alt = ParseNumber(*parsed->Value("--alt"), 0xFF);
    const auto address = ParseNumber(*parsed->Value("--address"), 0xFFFFFFFF);
    const auto length = ParseNumber(*parsed->Value("--length"), dfuse::kMaxFileSize);
    if (!alt) {
        return UsageError("read", "--alt takes a number from 0 to 255");
    }
    if (!address) {
        return UsageError("read", "--address takes a 32-bit number");
    }
    if (!length || *length == 0) {
        return UsageError("read", "--length takes a number from 1 to " + std::to_string(dfuse::kMaxFileSize));
    }
    if (*address + *length > 0x100000000ull) {
        return UsageError("read", "the range runs past the end of the 32-bit address space");
    }
    Session session;
    if (const int status = OpenSession("read", *parsed, true, DeviceUse::Reads, session); status >= 0) {
        return status;
    }
    dfuse::DeviceLink link;
    if (const int status = OpenLink("read", session, link); status >= 0) {
        return status;
    }
    const auto targetIt = std::find_if(link.mapping.begin(), link.mapping.end(),
                                       [&](const MappingTarget& t) { return t.bAlternate == *alt; });
    if (targetIt == link.mapping.end()) {
        return Failure("read", Format("the device has no alternate setting %u", static_cast<unsigned>(*alt)));
    }
    const MappingTarget& target = *targetIt;
    const Image wanted{static_cast<std::uint8_t>(*alt),
                       "",
                       {dfuse::Element{static_cast<std::uint32_t>(*address),
                                       std::vector<std::uint8_t>(static_cast<std::size_t>(*length))}}};
    if (!dfuse::BytesOutside(wanted, target, dfuse::kSectorReadable).empty()) {
        return Failure("read", Format("0x%08llX to 0x%08llX is not all readable in target '%s'",
                                      static_cast<unsigned long long>(*address),
                                      static_cast<unsigned long long>(*address + *length - 1), target.szName.c_str()));
    }
    dfuse::TransferJob job(session.library->Operations());
    JobReporter reporter("read", true);
    reporter.RecordFor(session.device);
    bool launched = false;
    // The area, described as the console describes the areas it reads: one element, address and length.
    dfuse::RunJob(
        job, [&] { return job.StartUpload(link, {static_cast<int>(target.bAlternate)}, wanted, {}, launched); },
        std::ref(reporter));
    if (reporter.Status() != kExitOk) {
        return reporter.Status();
    }
    std::vector<std::uint8_t> bytes;
    for (const auto& piece : reporter.elements) {
        bytes.insert(bytes.end(), piece.bytes.begin(), piece.bytes.end());
    }
    const std::string out = *parsed->Value("-o");
    if (const dfuse::Error e = dfuse::WriteFileAtomically(out, bytes)) {
        return Failure("read", FileProblem(out, e));
    }
    std::cerr << "Read " << bytes.size() << " bytes into " << out << '\n';
    return kExitOk;
}

// ---------------------------------------------------------------- leave

int RunLeave(Args args)
{
    static constexpr std::array<OptionSpec, 3> kSpec = {{kDevicePathOption, kSerialOption, kWaitOption}};
    int exitCode = kExitOk;
    auto parsed = ParseCommand("leave", args, kSpec,
                               "Usage: nemora-cli leave [--device PATH | --serial SERIAL] [--wait[=SECONDS]]\n\n"
                               "Makes a device in update mode leave it and start its firmware from the start of its\n"
                               "first target; it then comes back in application mode. The command waits for the same\n"
                               "device (by serial number, else by port) to come back, 10 seconds or SECONDS with\n"
                               "--wait, and says on stdout \"Product 01 is back in application mode, firmware 1.3\"\n"
                               "(the catalogue's names and the version its bcdDevice gives), or that it did not come\n"
                               "back (exit status 1). With --wait it also waits first for the device in update "
                               "mode.\n\n" NEMORA_CLI_DEVICE_OPTIONS_HELP,
                               exitCode);
    if (!parsed)
        return exitCode;
    if (!parsed->positionals.empty()) {
        return UsageError("leave", "unexpected argument '" + parsed->positionals.front() + "'");
    }
    Session session;
    if (const int status = OpenSession("leave", *parsed, true, DeviceUse::Writes, session); status >= 0) {
        return status;
    }
    dfuse::DeviceLink link;
    if (const int status = OpenLink("leave", session, link); status >= 0) {
        return status;
    }
    if (link.mapping.empty()) {
        return Failure("leave", "the device's memory map has no usable target");
    }
    dfuse::TransferJob job(session.library->Operations());
    JobReporter reporter("leave");
    reporter.RecordFor(session.device);
    dfuse::RunJob(
        job, [&] { return job.StartLeave(link, {0}); }, std::ref(reporter));
    if (reporter.Status() != kExitOk) {
        return reporter.Status();
    }
    std::cerr << "Successfully left updating mode !\n";
    return AwaitReturn("leave", *session.transport, session.device, session.wait);
}

int AwaitReturn(std::string_view command, usb::Transport& transport, const usb::DeviceInfo& left, WaitOption wait)
{
    // Ten seconds unless --wait says otherwise.
    if (!wait.wait) {
        wait.wait = true;
        wait.limit = std::chrono::seconds(10);
    }
    device::ReturnWatch watch(left);
    usb::DeviceInfo back;
    if (!WaitForDevice(
            transport, wait, [&](const std::vector<usb::DeviceInfo>& listed) { return watch.Look(listed); }, back)) {
        if (wait.limit)
            std::cout << device::NotBackText(left, static_cast<long long>(wait.limit->count())) << '\n';
        return Failure(command, wait.limit ? Format("the device did not come back, in either mode, within %lld s",
                                                    static_cast<long long>(wait.limit->count()))
                                           : std::string("cannot list devices any more"));
    }
    std::cerr << (back.mode == usb::InterfaceMode::Application ? "Back in application mode: " : "Back in update mode: ")
              << DescribeDevice(back) << '\n';
    std::cout << device::BackText(back) << '\n';
    return kExitOk;
}

} // namespace nemora::cli
