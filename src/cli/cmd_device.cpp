// nemora-cli list, flash, read and leave: devices, through the same library and background operations
// the console uses (each blocking command runs an operation to its end and polls it like the console's
// engine does).

#include "cli/cli.h"
#include "device/device_identity.h"
#include "dfuse/dfu_file.h"
#include "dfuse/dfu_files_api.h"
#include "dfuse/device_link.h"
#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_library.h"
#include "dfuse/dfuse_operations.h"
#include "dfuse/image_filter.h"
#include "usb/transport_factory.h"

#include <algorithm>
#include <array>
#include <optional>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace nemora::cli {

namespace {

using dfuse::DfuseLibrary;
using dfuse::DFUThreadContext;
using dfuse::Image;
using dfuse::MappingTarget;

constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr std::uint16_t kMinDfuVersion = 0x011A;
constexpr std::uint16_t kMaxDfuVersion = 0x011F;
constexpr std::uint16_t kModelMask = 0xFFC0; // bcdDevice without its 6 firmware-version bits

std::string Format(const char* format, auto... values)
{
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// ---------------------------------------------------------------- failure texts

const char* ErrorText(std::uint32_t code)
{
    switch (code) {
    case dfuse::STDFUPRT_UNABLETOLAUNCHDFUTHREAD:
        return "unable to launch operation";
    case dfuse::STDFUPRT_DFUALREADYRUNNING:
        return "an operation is already running on this device";
    case dfuse::STDFUPRT_BADPARAMETER:
        return "bad parameter";
    case dfuse::STDFUPRT_BADFIRMWARESTATEMACHINE:
        return "bad state machine in firmware";
    case dfuse::STDFUPRT_UNEXPECTEDERROR:
        return "unexpected error (device gone or link failed)";
    case dfuse::STDFUPRT_DFUERROR:
        return "DFU error";
    case dfuse::STDFUPRT_RETRYERROR:
        return "device stays busy";
    case dfuse::STDFUPRT_UNSUPPORTEDFEATURE:
        return "not supported by this firmware";
    default:
        return "unknown error";
    }
}

const char* RequestText(std::uint32_t request)
{
    static constexpr std::array<const char*, 0x17> kNames = {"none",
                                                             "none",
                                                             "getting device descriptor",
                                                             "getting DFU descriptor",
                                                             "getting string descriptor",
                                                             "getting amount of configurations",
                                                             "getting configuration descriptor",
                                                             "getting amount of interfaces",
                                                             "getting amount of alternates",
                                                             "getting interface descriptor",
                                                             "opening device",
                                                             "closing device",
                                                             "detach",
                                                             "download",
                                                             "upload",
                                                             "get status",
                                                             "clear status",
                                                             "get state",
                                                             "abort",
                                                             "selecting target",
                                                             "awaiting unplug",
                                                             "awaiting plug",
                                                             "identifying device after re-enumeration"};
    const std::uint32_t index = request >> 24;
    return (request & 0xFFFFFF) == 0 && index < kNames.size() ? kNames[index] : "unknown request";
}

const char* StatusText(std::uint8_t status)
{
    static constexpr std::array<const char*, 16> kNames = {
        "OK",      "errTARGET", "errFILE",    "errWRITE",     "errERASE",    "errCHECK_ERASED",
        "errPROG", "errVERIFY", "errADDRESS", "errNOTDONE",   "errFIRMWARE", "errVENDOR",
        "errUSBR", "errPOR",    "errUNKNOWN", "errSTALLEDPKT"};
    return status < kNames.size() ? kNames[status] : "unknown status";
}

std::string DescribeFailure(const DFUThreadContext& c)
{
    if (c.ErrorCode == dfuse::STDFUPRT_UNEXPECTEDERROR) {
        // The link failed: the last status the device gave is old news and would read as a healthy device.
        return Format("%s (0x%08X) at %s; block %u, length %u", ErrorText(c.ErrorCode), c.ErrorCode,
                      RequestText(c.CurrentRequest), c.CurrentNBlock, c.CurrentLength);
    }
    return Format("%s (0x%08X) at %s; device status %s, state %u; block %u, length %u", ErrorText(c.ErrorCode),
                  c.ErrorCode, RequestText(c.CurrentRequest), StatusText(c.LastDFUStatus.bStatus),
                  unsigned{c.LastDFUStatus.bState}, c.CurrentNBlock, c.CurrentLength);
}

// ---------------------------------------------------------------- progress

// A bar redrawn in place on a terminal; plain lines every 10 percent otherwise.
class ProgressPrinter {
public:
    explicit ProgressPrinter(std::string label) : m_label(std::move(label)), m_tty(::isatty(STDERR_FILENO) == 1) {}

    void operator()(std::uint32_t value)
    {
        const int percent = static_cast<int>(value);
        if (m_tty) {
            if (percent != m_last) {
                const int filled = percent * 30 / 100;
                std::cerr << '\r' << m_label << " [" << std::string(static_cast<std::size_t>(filled), '#')
                          << std::string(static_cast<std::size_t>(30 - filled), '.') << "] " << percent << "%"
                          << std::flush;
            }
        } else if (percent / 10 != m_last / 10 || (m_last < 0 && percent == 0)) {
            std::cerr << m_label << ": " << percent << "%\n";
        }
        m_last = percent;
    }
    void Finish()
    {
        if (m_tty && m_last >= 0) {
            std::cerr << '\n';
        }
    }

private:
    std::string m_label;
    bool m_tty;
    int m_last = -1;
};

// ---------------------------------------------------------------- sessions

struct Session {
    std::unique_ptr<usb::Transport> transport;
    std::unique_ptr<DfuseLibrary> library;
    usb::DeviceInfo device;
};

// Opens the transport and picks the device: --device PATH, else the first listed (update mode first).
// Returns an exit status, or -1 when the session is ready.
int OpenSession(std::string_view command, const ParsedArgs& args, bool needDfuMode, Session& session)
{
    std::string error;
    session.transport = usb::CreateTransport(&error);
    if (!session.transport) {
        return Failure(command, error.empty() ? "no USB access" : error);
    }
    std::vector<usb::DeviceInfo> devices;
    if (const usb::Status s = session.transport->Enumerate(devices); s != usb::Status::Ok) {
        return Failure(command, std::string("cannot list devices: ") + usb::StatusName(s));
    }
    if (const auto wanted = args.Value("--device")) {
        const std::string upper = usb::ToUpperAscii(*wanted);
        const auto it = std::find_if(devices.begin(), devices.end(), [&](const auto& d) { return d.path == upper; });
        if (it == devices.end()) {
            return Failure(command, "no device with path " + *wanted + " (see 'nemora-cli list')");
        }
        session.device = *it;
    } else if (devices.empty()) {
        return Failure(command, "no device found");
    } else {
        session.device = devices.front();
    }
    if (needDfuMode && session.device.mode != usb::InterfaceMode::Dfu) {
        return Failure(command,
                       session.device.path + " is running its firmware (application mode), not in update mode");
    }
    session.library = std::make_unique<DfuseLibrary>(*session.transport);
    return -1;
}

std::string TargetLabel(std::string_view verb, int target)
{
    return Format("%.*s %02u", static_cast<int>(verb.size()), verb.data(), static_cast<unsigned>(target));
}

// Opens the device's link: descriptors, protocol version and memory map. Returns an exit status, or -1.
int OpenLink(std::string_view command, Session& session, dfuse::DeviceLink& link)
{
    dfuse::LinkDescriptors descriptors;
    switch (dfuse::OpenDeviceLink(*session.library, session.device.path, link, descriptors)) {
    case dfuse::LinkOutcome::Ok:
        return -1;
    case dfuse::LinkOutcome::NotOpened:
        return Failure(command, "cannot open " + session.device.path);
    case dfuse::LinkOutcome::NoDeviceDescriptor:
        return Failure(command, "Unable to get descriptors... Bad Firmware");
    case dfuse::LinkOutcome::NoDfuDescriptor:
        return Failure(command, "Unable to get DFU descriptor... Bad Firmware");
    case dfuse::LinkOutcome::BadVersion:
    case dfuse::LinkOutcome::NoVersion:
        return Failure(command, "Bad Updating protocol version. Should be 1.1A");
    case dfuse::LinkOutcome::NoMapping:
        break;
    }
    return Failure(command,
                   "unable to find or decode the device's memory map: " + session.library->LastMappingError());
}

// Prints a job's events on stderr as they come: progress, each target's outcome, and failures, and keeps
// the exit status.
class JobReporter {
public:
    explicit JobReporter(std::string_view command, bool reading = false) : m_command(command), m_reading(reading) {}

    void operator()(const dfuse::JobEvent& event)
    {
        using Kind = dfuse::JobEvent::Kind;
        switch (event.kind) {
        case Kind::Launched:
            EndProgress();
            m_label = LabelFor(event.operation, event.target);
            m_printer.emplace(m_label);
            break;
        case Kind::Progress:
            if (m_printer) {
                (*m_printer)(event.percent);
            }
            break;
        case Kind::Upgraded:
            EndProgress();
            std::cerr << TargetLabel("Target", event.target) << ": Upgrade successful !\n";
            break;
        case Kind::Verified:
            EndProgress();
            std::cerr << TargetLabel("Target", event.target) << ": Verify successful !\n";
            break;
        case Kind::Mismatch:
            EndProgress();
            if (event.hasBytes) {
                std::cerr << Format("Matching not good. First Difference at address 0x%08X:\nFile  byte  is  "
                                    "0x%02X.\nRead byte is 0x%02X.\n",
                                    static_cast<unsigned>(event.address), unsigned{event.fileByte},
                                    unsigned{event.readByte});
            } else {
                std::cerr << "Matching not good: the device answered with another length than the file holds.\n";
            }
            m_status = kExitFailure;
            break;
        case Kind::Element:
            elements.push_back(event);
            break;
        case Kind::Failed:
            EndProgress();
            m_status = Failure(m_command, (m_label.empty() ? std::string("launch") : m_label) +
                                              " failed: " + DescribeFailure(event.context));
            break;
        case Kind::Problem:
            EndProgress();
            m_status = Failure(m_command, ProblemText(event));
            break;
        case Kind::Uploaded:
        case Kind::Left:
        case Kind::Finished:
            EndProgress();
            break;
        }
    }
    int Status() const { return m_status; }
    std::vector<dfuse::JobEvent> elements;

private:
    std::string LabelFor(std::uint32_t operation, int target) const
    {
        switch (operation) {
        case dfuse::OPERATION_ERASE:
            return TargetLabel("Erasing", target);
        case dfuse::OPERATION_UPGRADE:
            return TargetLabel("Downloading", target);
        case dfuse::OPERATION_UPLOAD:
            return TargetLabel(m_reading ? "Reading" : "Verifying", target);
        default:
            return "Leaving update mode";
        }
    }
    static std::string ProblemText(const dfuse::JobEvent& event)
    {
        using dfuse::JobProblem;
        switch (event.problem) {
        case JobProblem::NoFileData:
            return "Unable to find data for that device from the file";
        case JobProblem::IdentityMismatch:
            return Format("This file is not supposed to be used with device,ID:0x%04x!!", unsigned{event.model});
        case JobProblem::NoTargetData:
            return "Unable to find data for that target in the dfu file...";
        case JobProblem::SourceImage:
            return "Unable to get data from source image...";
        case JobProblem::ReadImageElements:
            return "Unable to get elements from read image...";
        case JobProblem::ReadImage:
            return "Unable to get data from read image...";
        case JobProblem::CreateUploadFile:
            return "Unable to create a new updating file...";
        case JobProblem::AppendUploadFile:
            return "Unable to append image to updating file...";
        case JobProblem::Refused:
            break;
        }
        return event.text;
    }
    void EndProgress()
    {
        if (m_printer) {
            m_printer->Finish();
            m_printer.reset();
        }
    }

    std::string_view m_command;
    bool m_reading;
    std::string m_label;
    std::optional<ProgressPrinter> m_printer;
    int m_status = kExitOk;
};

} // namespace

// ---------------------------------------------------------------- list

int RunList(Args args)
{
    static constexpr std::array<OptionSpec, 1> kSpec = {{{"--json", false}}};
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand("list", args, kSpec,
                     "Usage: nemora-cli list [--json]\n\n"
                     "Lists the attached devices, those in update mode (dfu) first, then those running their\n"
                     "firmware (app): path, mode, VID, PID, bcdDevice, and the product, model and firmware\n"
                     "version the catalogue gives for them. The first one listed is the default device of\n"
                     "flash, read and leave.\n\n"
                     "  --json   a JSON list of objects: path, mode, vid, pid, bcd_device, product_name,\n"
                     "           model_name, firmware_version\n",
                     exitCode);
    if (!parsed)
        return exitCode;
    std::string error;
    if (!parsed->positionals.empty()) {
        return UsageError("list", "unexpected argument '" + parsed->positionals.front() + "'");
    }
    auto transport = usb::CreateTransport(&error);
    if (!transport) {
        return Failure("list", error.empty() ? "no USB access" : error);
    }
    std::vector<usb::DeviceInfo> devices;
    if (const usb::Status s = transport->Enumerate(devices); s != usb::Status::Ok) {
        return Failure("list", std::string("cannot list devices: ") + usb::StatusName(s));
    }
    const bool json = parsed->Has("--json");
    JsonWriter writer(std::cout);
    if (json) {
        writer.BeginArray();
    }
    for (const usb::DeviceInfo& d : devices) {
        CDeviceIdentity identity;
        identity.SetIds(d.vid, d.pid, d.bcdDevice);
        std::string product = kUnknownProductName, model = kUnknownModelName, firmware = kUnknownFirmwareVersion;
        identity.GetProductName(product);
        identity.GetModelName(model);
        identity.GetFirmwareVersion(firmware);
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
                .Int(d.bcdDevice)
                .Key("product_name")
                .String(product)
                .Key("model_name")
                .String(model)
                .Key("firmware_version")
                .String(firmware)
                .EndObject();
        } else {
            std::cout << d.path << "  " << mode << "  " << Hex(d.vid, 4) << ':' << Hex(d.pid, 4).substr(2)
                      << "  bcdDevice " << Hex(d.bcdDevice, 4) << "  " << product << " / " << model << " / " << firmware
                      << '\n';
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
    static constexpr std::array<OptionSpec, 2> kSpec = {{{"--no-verify", false}, {"--device", true}}};
    int exitCode = kExitOk;
    auto parsed = ParseCommand("flash", args, kSpec,
                               "Usage: nemora-cli flash FILE [--no-verify] [--device PATH]\n\n"
                               "Writes a DfuSe file (.vek, .dfu) into a device in update mode, as the console's\n"
                               "upgrade does: the file's VID, PID and model (bcdDevice without its 6 low firmware\n"
                               "bits) must match the device's; then every image is erased and downloaded into its\n"
                               "alternate setting, and read back and compared (\"Verify successful !\", or the first\n"
                               "difference and exit status 1). Nothing is written when an image holds bytes the\n"
                               "device's memory map does not allow writing.\n\n"
                               "  --no-verify     skip the read-back\n"
                               "  --device PATH   the device to use (default: the first one 'nemora-cli list' shows)\n",
                               exitCode);
    if (!parsed)
        return exitCode;
    std::string error;
    if (parsed->positionals.size() != 1) {
        return UsageError("flash", parsed->positionals.empty() ? "FILE is required" : "only one FILE is accepted");
    }
    const std::string path = parsed->positionals.front();
    const dfuse::ParseResult file = dfuse::ReadDfuFile(path);
    if (!file.file) {
        std::string line = path + ": " + std::string(dfuse::Describe(file.error.code));
        if (!file.error.message.empty()) {
            line += ": " + file.error.message;
        }
        return Failure("flash", line);
    }

    Session session;
    if (const int status = OpenSession("flash", *parsed, true, session); status >= 0) {
        return status;
    }
    dfuse::DeviceLink link;
    if (const int status = OpenLink("flash", session, link); status >= 0) {
        return status;
    }
    // Every target the file has an image for, in target order; the job refuses the file before anything
    // is sent when one of them is missing or cannot take its image whole.
    std::vector<int> targets;
    for (const Image& image : file.file->images) {
        targets.push_back(image.alternate);
    }
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());

    dfuse::TransferJob job(*session.library);
    job.SetVerifyAfterUpgrade(!parsed->Has("--no-verify"));
    JobReporter reporter("flash");
    dfuse::RunJob(
        job, [&] { return job.StartUpgrade(link, targets, path); }, std::ref(reporter));
    return reporter.Status();
}

// ---------------------------------------------------------------- read

int RunRead(Args args)
{
    static constexpr std::array<OptionSpec, 5> kSpec = {
        {{"--alt", true}, {"--address", true}, {"--length", true}, {"-o", true}, {"--device", true}}};
    int exitCode = kExitOk;
    auto parsed =
        ParseCommand("read", args, kSpec,
                     "Usage: nemora-cli read --alt N --address A --length L -o OUT [--device PATH]\n\n"
                     "Reads L bytes from address A of alternate setting N of a device in update mode into the\n"
                     "raw file OUT (written whole or not at all). The range must be readable according to the\n"
                     "device's memory map.\n\n"
                     "  --device PATH   the device to use (default: the first one 'nemora-cli list' shows)\n",
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
    if (const int status = OpenSession("read", *parsed, true, session); status >= 0) {
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
    // The area, described as the console describes the areas it reads: one element, address and length.
    DfuImageHandle hImage = nullptr;
    DfuElement element{static_cast<std::uint32_t>(*address), static_cast<std::uint32_t>(*length),
                       const_cast<std::uint8_t*>(wanted.elements.front().data.data())};
    if (session.library->STDFUFILES_CreateImage(&hImage, static_cast<std::uint8_t>(*alt)) != STDFUFILES_NOERROR ||
        session.library->STDFUFILES_SetImageElement(hImage, 0, true, element) != STDFUFILES_NOERROR) {
        if (hImage != nullptr) {
            session.library->STDFUFILES_DestroyImage(hImage);
        }
        return Failure("read", "cannot describe the area to read");
    }
    dfuse::TransferJob job(*session.library);
    JobReporter reporter("read", true);
    bool taken = false;
    dfuse::RunJob(
        job, [&] { return job.StartUpload(link, {static_cast<int>(target.bAlternate)}, hImage, {}, taken); },
        std::ref(reporter));
    if (!taken) {
        session.library->STDFUFILES_DestroyImage(hImage);
    }
    if (reporter.Status() != kExitOk) {
        return reporter.Status();
    }
    std::vector<std::uint8_t> bytes;
    for (const auto& piece : reporter.elements) {
        bytes.insert(bytes.end(), piece.bytes.begin(), piece.bytes.end());
    }
    const std::string out = *parsed->Value("-o");
    if (const dfuse::Error e = dfuse::WriteFileAtomically(out, bytes)) {
        return Failure("read",
                       out + ": " + std::string(dfuse::Describe(e.code)) + (e.message.empty() ? "" : ": " + e.message));
    }
    std::cerr << "Read " << bytes.size() << " bytes into " << out << '\n';
    return kExitOk;
}

// ---------------------------------------------------------------- leave

int RunLeave(Args args)
{
    static constexpr std::array<OptionSpec, 1> kSpec = {{{"--device", true}}};
    int exitCode = kExitOk;
    auto parsed = ParseCommand("leave", args, kSpec,
                               "Usage: nemora-cli leave [--device PATH]\n\n"
                               "Makes a device in update mode leave it and start its firmware from the start of its\n"
                               "first target; it then comes back in application mode.\n\n"
                               "  --device PATH   the device to use (default: the first one 'nemora-cli list' shows)\n",
                               exitCode);
    if (!parsed)
        return exitCode;
    if (!parsed->positionals.empty()) {
        return UsageError("leave", "unexpected argument '" + parsed->positionals.front() + "'");
    }
    Session session;
    if (const int status = OpenSession("leave", *parsed, true, session); status >= 0) {
        return status;
    }
    dfuse::DeviceLink link;
    if (const int status = OpenLink("leave", session, link); status >= 0) {
        return status;
    }
    if (link.mapping.empty()) {
        return Failure("leave", "the device's memory map has no usable target");
    }
    dfuse::TransferJob job(*session.library);
    JobReporter reporter("leave");
    dfuse::RunJob(
        job, [&] { return job.StartLeave(link, {0}); }, std::ref(reporter));
    if (reporter.Status() != kExitOk) {
        return reporter.Status();
    }
    std::cerr << "Successfully left updating mode !\n";
    return kExitOk;
}

} // namespace nemora::cli
