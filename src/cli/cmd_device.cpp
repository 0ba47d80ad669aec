// nemora-cli list, flash, read and leave: devices, through the same library and background operations
// the console uses (each blocking command runs an operation to its end and polls it like the console's
// engine does).

#include "cli/cli.h"
#include "device/device_identity.h"
#include "dfuse/dfu_file.h"
#include "dfuse/dfu_names.h"
#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_commands.h"
#include "dfuse/dfuse_library.h"
#include "dfuse/dfuse_operations.h"
#include "dfuse/image_filter.h"
#include "transport/transport_factory.h"

#include <array>
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
using dfuse::kMaxDfuVersion;
using dfuse::kMinDfuVersion;
constexpr std::uint16_t kModelMask = 0xFFC0; // bcdDevice without its 6 firmware-version bits

std::string Format(const char* format, auto... values)
{
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// ---------------------------------------------------------------- failure texts

// The words come from the shared tables, whose entries are string literals: NUL-terminated.
const char* ErrorText(std::uint32_t code)
{
    const auto* names = dfuse::FindOperationError(code);
    return names != nullptr ? names->brief.data() : "unknown error";
}

const char* RequestText(std::uint32_t request)
{
    if (request == 0) {
        return "none";
    }
    const auto* names = dfuse::FindDfuRequest(request);
    return names != nullptr ? names->brief.data() : "unknown request";
}

const char* StatusText(std::uint8_t status)
{
    const auto* names = dfuse::FindDfuStatus(status);
    return names != nullptr ? names->name.data() : "unknown status";
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

    void operator()(const DFUThreadContext& c)
    {
        const int percent = c.Percent;
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

int ReadMapping(std::string_view command, Session& session, std::vector<MappingTarget>& targets)
{
    if (session.library->STDFUPRT_CreateMappingFromDevice(session.device.path, &targets) != dfuse::STDFUPRT_NOERROR) {
        return Failure(command,
                       "unable to find or decode the device's memory map: " + session.library->LastMappingError());
    }
    return -1;
}

// Runs one operation on an image to its end. Returns an exit status, or -1 on success.
int Run(std::string_view command, Session& session, std::uint32_t operation, const Image& image,
        const std::string& label, Image* result = nullptr)
{
    const DfuImageHandle handle = session.library->AdoptImage(image);
    DFUThreadContext context;
    context.Operation = operation;
    context.hImage = handle;
    context.szDevLink = session.device.path;
    DFUThreadContext final;
    ProgressPrinter printer(label);
    dfuse::RunOperation(*session.library, context, final, std::ref(printer), kPollInterval);
    printer.Finish();
    if (result != nullptr) {
        if (const auto copy = session.library->CopyImage(handle)) {
            *result = *copy;
        }
    }
    session.library->STDFUFILES_DestroyImage(handle);
    if (final.ErrorCode != dfuse::STDFUPRT_NOERROR) {
        return Failure(command, label + " failed: " + DescribeFailure(final));
    }
    return -1;
}

const MappingTarget* FindTarget(const std::vector<MappingTarget>& targets, std::uint8_t alternate)
{
    const auto it =
        std::find_if(targets.begin(), targets.end(), [&](const auto& t) { return t.bAlternate == alternate; });
    return it == targets.end() ? nullptr : &*it;
}

std::string TargetLabel(std::string_view verb, std::uint8_t alternate)
{
    return Format("%.*s %02u", static_cast<int>(verb.size()), verb.data(), unsigned{alternate});
}

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
    dfuse::DfuDeviceHandle device = nullptr;
    if (session.library->STDFU_Open(session.device.path, &device) != dfuse::STDFU_NOERROR) {
        return Failure("flash", "cannot open " + session.device.path);
    }
    std::array<std::uint8_t, 18> descriptor{};
    std::array<std::uint8_t, 9> functional{};
    const bool gotDescriptor = session.library->STDFU_GetDeviceDescriptor(device, descriptor) == dfuse::STDFU_NOERROR;
    const bool gotFunctional = gotDescriptor && session.library->STDFU_GetDFUDescriptor(
                                                    device, nullptr, nullptr, functional) == dfuse::STDFU_NOERROR;
    session.library->STDFU_Close(&device);
    if (!gotDescriptor) {
        return Failure("flash", "Unable to get descriptors... Bad Firmware");
    }
    if (!gotFunctional) {
        return Failure("flash", "Unable to get DFU descriptor... Bad Firmware");
    }
    const auto le16 = [](const auto& bytes, std::size_t at) {
        return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
    };
    const std::uint16_t dfuVersion = le16(functional, 7);
    if (dfuVersion < kMinDfuVersion || dfuVersion > kMaxDfuVersion) {
        return Failure("flash", "Bad Updating protocol version. Should be 1.1A");
    }
    const std::uint16_t vid = le16(descriptor, 8), pid = le16(descriptor, 10), bcd = le16(descriptor, 12);
    const dfuse::DfuFile& dfu = *file.file;
    if (dfu.vid != vid || dfu.pid != pid || (dfu.bcdDevice & kModelMask) != (bcd & kModelMask)) {
        return Failure("flash", Format("This file is not supposed to be used with device,ID:0x%04x!!",
                                       unsigned{static_cast<std::uint16_t>(bcd & kModelMask)}));
    }
    std::vector<MappingTarget> targets;
    if (const int status = ReadMapping("flash", session, targets); status >= 0) {
        return status;
    }

    // Fit every image before anything is sent, so that a file that cannot be written whole changes nothing.
    struct Plan {
        Image erase, download, verify;
    };
    std::vector<Plan> plans;
    for (const Image& image : dfu.images) {
        const MappingTarget* target = FindTarget(targets, image.alternate);
        if (target == nullptr) {
            return Failure("flash", Format("%s: image for alternate setting %u: the device has no such target",
                                           path.c_str(), unsigned{image.alternate}));
        }
        Plan plan{image, image, image};
        dfuse::FilterImage(plan.erase, *target, dfuse::OPERATION_ERASE, false);
        const auto report = dfuse::FilterImage(plan.download, *target, dfuse::OPERATION_UPGRADE, false);
        if (report.droppedBytes > 0) {
            return Failure("flash",
                           Format("%s: image for alternate setting %u: %llu bytes lie outside the "
                                  "writable sectors of target '%s'; nothing was written",
                                  path.c_str(), unsigned{image.alternate},
                                  static_cast<unsigned long long>(report.droppedBytes), target->szName.c_str()));
        }
        plan.verify = plan.download;
        dfuse::FilterImage(plan.verify, *target, dfuse::OPERATION_UPLOAD, false);
        plans.push_back(std::move(plan));
    }
    for (const Plan& plan : plans) {
        const std::uint8_t alt = plan.download.alternate;
        if (!plan.erase.elements.empty()) {
            if (const int status =
                    Run("flash", session, dfuse::OPERATION_ERASE, plan.erase, TargetLabel("Erasing", alt));
                status >= 0) {
                return status;
            }
        }
        if (const int status =
                Run("flash", session, dfuse::OPERATION_UPGRADE, plan.download, TargetLabel("Downloading", alt));
            status >= 0) {
            return status;
        }
        std::cerr << TargetLabel("Target", alt) << ": Upgrade successful !\n";
    }
    if (parsed->Has("--no-verify")) {
        return kExitOk;
    }
    for (const Plan& plan : plans) {
        const std::uint8_t alt = plan.verify.alternate;
        Image read;
        if (const int status =
                Run("flash", session, dfuse::OPERATION_UPLOAD, plan.verify, TargetLabel("Verifying", alt), &read);
            status >= 0) {
            return status;
        }
        for (std::size_t e = 0; e < plan.verify.elements.size(); ++e) {
            const auto& want = plan.verify.elements[e];
            const auto& got = read.elements.at(e).data;
            for (std::size_t j = 0; j < want.data.size(); ++j) {
                if (j >= got.size() || got[j] != want.data[j]) {
                    std::cerr << "Matching not good. First Difference at address "
                              << Format("0x%08X:\nFile  byte  is  0x%02X.\nRead byte is 0x%02X.\n",
                                        static_cast<unsigned>(want.address + j), unsigned{want.data[j]},
                                        j < got.size() ? unsigned{got[j]} : 0u);
                    return kExitFailure;
                }
            }
        }
        std::cerr << TargetLabel("Target", alt) << ": Verify successful !\n";
    }
    return kExitOk;
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
    std::vector<MappingTarget> targets;
    if (const int status = ReadMapping("read", session, targets); status >= 0) {
        return status;
    }
    const MappingTarget* target = FindTarget(targets, static_cast<std::uint8_t>(*alt));
    if (target == nullptr) {
        return Failure("read", Format("the device has no alternate setting %u", static_cast<unsigned>(*alt)));
    }
    Image image{static_cast<std::uint8_t>(*alt),
                "",
                {dfuse::Element{static_cast<std::uint32_t>(*address),
                                std::vector<std::uint8_t>(static_cast<std::size_t>(*length))}}};
    if (dfuse::FilterImage(image, *target, dfuse::OPERATION_UPLOAD, false).droppedBytes > 0) {
        return Failure("read", Format("0x%08llX to 0x%08llX is not all readable in target '%s'",
                                      static_cast<unsigned long long>(*address),
                                      static_cast<unsigned long long>(*address + *length - 1), target->szName.c_str()));
    }
    Image read;
    if (const int status = Run("read", session, dfuse::OPERATION_UPLOAD, image,
                               TargetLabel("Reading", static_cast<std::uint8_t>(*alt)), &read);
        status >= 0) {
        return status;
    }
    std::vector<std::uint8_t> bytes;
    for (const auto& element : read.elements) {
        bytes.insert(bytes.end(), element.data.begin(), element.data.end());
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
    std::vector<MappingTarget> targets;
    if (const int status = ReadMapping("leave", session, targets); status >= 0) {
        return status;
    }
    Image image;
    if (targets.empty() || dfuse::ImageFromMapping(targets.front(), image)) {
        return Failure("leave", "the device's memory map has no usable target");
    }
    if (const int status = Run("leave", session, dfuse::OPERATION_RETURN, image, "Leaving update mode"); status >= 0) {
        return status;
    }
    std::cerr << "Successfully left updating mode !\n";
    return kExitOk;
}

} // namespace nemora::cli
