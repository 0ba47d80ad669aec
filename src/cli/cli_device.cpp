#include "cli/cli_device.h"

#include "dfuse/dfu_names.h"
#include "dfuse/dfuse_blocking.h"
#include "dfuse/dfuse_operations.h"
#include "dfuse/outcome_log.h"
#include "dfuse/sha256.h"
#include "settings/change_report.h"
#include "settings/settings_file.h"
#include "settings/snapshots.h"
#include "transport/transport_factory.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <unistd.h>

namespace nemora::cli {

using dfuse::DfuseLibrary;
using dfuse::DFUThreadContext;

namespace {

// ---------------------------------------------------------------- failure texts

// The words come from the shared tables, whose entries are string literals: NUL-terminated.
const char* ErrorText(std::uint32_t code)
{
    const auto* names = dfuse::FindOperationError(code);
    return names != nullptr ? names->brief.data() : "unknown error";
}

const char* RequestText(std::uint32_t request, std::uint32_t block)
{
    if (request == 0) {
        return "none";
    }
    if (request == dfuse::STDFU_RQ_DOWNLOAD && block == 0) {
        return "a DfuSe command (the download of block 0 that sets the address, erases or leaves)";
    }
    const auto* names = dfuse::FindDfuRequest(request);
    return names != nullptr ? names->brief.data() : "unknown request";
}

const char* StatusText(std::uint8_t status)
{
    const auto* names = dfuse::FindDfuStatus(status);
    return names != nullptr ? names->name.data() : "unknown status";
}

} // namespace

std::string DescribeFailure(const DFUThreadContext& c)
{
    if (c.ErrorCode == dfuse::STDFUPRT_UNEXPECTEDERROR) {
        // The link failed: the last status the device gave is old news and would read as a healthy device.
        return Format("%s (0x%08X) at %s; block %u, length %u", ErrorText(c.ErrorCode), c.ErrorCode,
                      RequestText(c.CurrentRequest, c.CurrentNBlock), c.CurrentNBlock, c.CurrentLength);
    }
    return Format("%s (0x%08X) at %s; device status %s, state %u; block %u, length %u", ErrorText(c.ErrorCode),
                  c.ErrorCode, RequestText(c.CurrentRequest, c.CurrentNBlock), StatusText(c.LastDFUStatus.bStatus),
                  unsigned{c.LastDFUStatus.bState}, c.CurrentNBlock, c.CurrentLength);
}

// ---------------------------------------------------------------- progress

ProgressPrinter::ProgressPrinter(std::string label) : m_label(std::move(label)), m_tty(::isatty(STDERR_FILENO) == 1) {}

void ProgressPrinter::operator()(std::uint32_t value)
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

void ProgressPrinter::Finish()
{
    if (m_tty && m_last >= 0) {
        std::cerr << '\n';
    }
}

// ---------------------------------------------------------------- sessions

std::string DevicePort(const usb::DeviceInfo& device)
{
    return usb::LocationOfPath(device.path);
}

namespace {

// The serial number as the device gave it, made safe for a terminal.
std::string SerialText(const usb::DeviceInfo& device)
{
    return device.serial.empty() ? std::string("unknown") : PrintableText(device.serial);
}

} // namespace

std::string DescribeDevice(const usb::DeviceInfo& device)
{
    return device.path + " (serial " + SerialText(device) + ", port " + DevicePort(device) + ")";
}

DeviceChoice ChooseDevice(const std::vector<usb::DeviceInfo>& devices, const DeviceRequest& request)
{
    DeviceChoice choice;
    // The devices the names given fit, in any mode.
    std::vector<usb::DeviceInfo> named;
    const std::string upperPath = request.path ? usb::ToUpperAscii(*request.path) : std::string();
    for (const usb::DeviceInfo& d : devices) {
        if ((!request.path || d.path == upperPath) && (!request.serial || d.serial == *request.serial)) {
            named.push_back(d);
        }
    }
    std::vector<usb::DeviceInfo> fitting;
    for (const usb::DeviceInfo& d : named) {
        if (!request.needDfuMode || d.mode == usb::InterfaceMode::Dfu) {
            fitting.push_back(d);
        }
    }
    const bool anyNamed = request.path || request.serial;
    if (fitting.empty()) {
        if (!named.empty()) {
            choice.message = named.front().path + " is running its firmware (application mode), not in update mode";
        } else if (request.path) {
            choice.message = "no device with path " + *request.path + " (see 'nemora-cli list')";
        } else if (request.serial) {
            choice.message = "no device with serial number " + *request.serial + " (see 'nemora-cli list')";
        } else {
            choice.message = "no device found";
        }
        return choice;
    }
    if (fitting.size() > 1 && !anyNamed && request.use == DeviceUse::Writes) {
        choice.kind = DeviceChoice::Kind::Ambiguous;
        choice.message = std::to_string(fitting.size()) +
                         " devices in update mode are attached; choose one with --serial SERIAL or --device PATH:";
        for (const usb::DeviceInfo& d : fitting) {
            choice.message += "\n  serial " + SerialText(d) + "  port " + DevicePort(d) + "  " + d.path;
        }
        return choice;
    }
    choice.kind = DeviceChoice::Kind::Chosen;
    choice.device = fitting.front();
    if (fitting.size() > 1) {
        choice.note = std::to_string(fitting.size()) + " devices fit; using the first, " +
                      DescribeDevice(choice.device) + " (choose one with --serial or --device)";
    }
    return choice;
}

bool WaitForDevice(usb::Transport& transport, const WaitOption& wait,
                   const std::function<std::optional<usb::DeviceInfo>(const std::vector<usb::DeviceInfo>&)>& pick,
                   usb::DeviceInfo& found)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = wait.limit ? std::optional(Clock::now() + *wait.limit) : std::nullopt;
    while (true) {
        std::vector<usb::DeviceInfo> devices;
        if (transport.Enumerate(devices) != usb::Status::Ok) {
            return false;
        }
        if (auto device = pick(devices)) {
            found = std::move(*device);
            return true;
        }
        // Block until something arrives or leaves (a re-enumeration is both), then look again.
        auto slice = std::chrono::milliseconds(60000);
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left <= std::chrono::milliseconds(0)) {
                return false;
            }
            slice = std::min(slice, left);
        }
        transport.WaitForEvents(slice);
    }
}

int ParseWaitOption(std::string_view command, const ParsedArgs& args, WaitOption& wait)
{
    wait = WaitOption{};
    if (!args.Has("--wait")) {
        return -1;
    }
    wait.wait = true;
    if (const std::string text = *args.Value("--wait"); !text.empty()) {
        const auto seconds = ParseNumber(text, 366 * 86400);
        if (!seconds) {
            return UsageError(command, "--wait=SECONDS takes a number of seconds, not '" + text + "'");
        }
        wait.limit = std::chrono::seconds(*seconds);
    }
    return -1;
}

int OpenSession(std::string_view command, const ParsedArgs& args, bool needDfuMode, DeviceUse use, Session& session)
{
    if (const int status = ParseWaitOption(command, args, session.wait); status >= 0) {
        return status;
    }
    if (const auto serial = args.Value("--serial"); serial && serial->empty()) {
        return UsageError(command, "--serial needs a serial number");
    }
    std::string error;
    session.transport = usb::CreateTransport(&error);
    if (!session.transport) {
        return Failure(command, error.empty() ? "no USB access" : error);
    }
    const DeviceRequest request{args.Value("--device"), args.Value("--serial"), needDfuMode, use};
    std::vector<usb::DeviceInfo> devices;
    if (const usb::Status s = session.transport->Enumerate(devices); s != usb::Status::Ok) {
        return Failure(command, std::string("cannot list devices: ") + usb::StatusName(s));
    }
    DeviceChoice choice = ChooseDevice(devices, request);
    if (choice.kind == DeviceChoice::Kind::Missing && session.wait.wait) {
        // Anything but a device that fits keeps us waiting; several that fit end the wait too, so that a
        // command that writes still refuses to guess.
        WaitForDevice(
            *session.transport, session.wait,
            [&](const std::vector<usb::DeviceInfo>& listed) -> std::optional<usb::DeviceInfo> {
                choice = ChooseDevice(listed, request);
                if (choice.kind == DeviceChoice::Kind::Missing) {
                    return std::nullopt;
                }
                return choice.device;
            },
            session.device);
        if (choice.kind == DeviceChoice::Kind::Missing) {
            if (!session.wait.limit) {
                return Failure(command, "cannot list devices any more");
            }
            return Failure(command,
                           Format("no device came within %lld s: %s",
                                  static_cast<long long>(session.wait.limit->count()), choice.message.c_str()));
        }
    }
    switch (choice.kind) {
    case DeviceChoice::Kind::Missing:
        return Failure(command, choice.message);
    case DeviceChoice::Kind::Ambiguous:
        std::cerr << "nemora-cli " << command << ": " << choice.message << '\n';
        return kExitUsage;
    case DeviceChoice::Kind::Chosen:
        break;
    }
    if (!choice.note.empty()) {
        std::cerr << "nemora-cli " << command << ": " << choice.note << '\n';
    }
    session.device = choice.device;
    session.library = std::make_unique<DfuseLibrary>(*session.transport);

    // Held until the command ends, across every job it runs, so that no other program's request comes
    // between a read and the write that follows it.
    dfuse::LockHolder holder;
    switch (dfuse::DeviceLock::Acquire(dfuse::DeviceLockKey(session.device.serial, session.device.path),
                                       dfuse::DeviceLockWait(), session.lock, holder, error)) {
    case dfuse::DeviceLock::Outcome::Taken:
        return -1;
    case dfuse::DeviceLock::Outcome::Busy: {
        CDeviceIdentity identity;
        identity.SetIds(session.device.vid, session.device.pid, session.device.bcdDevice);
        std::string model;
        identity.GetModelName(model);
        return Failure(command, dfuse::BusyText(model, session.device.serial, session.device.path, holder) +
                                    "; try again when it is done");
    }
    case dfuse::DeviceLock::Outcome::Failed:
        break;
    }
    return Failure(command, "cannot lock the device: " + error);
}

std::string TargetLabel(std::string_view verb, int target)
{
    return Format("%.*s %02u", static_cast<int>(verb.size()), verb.data(), static_cast<unsigned>(target));
}

// Opens the device's link: descriptors, protocol version and memory map. Returns an exit status, or -1.
int OpenLink(std::string_view command, Session& session, dfuse::DeviceLink& link)
{
    dfuse::LinkDescriptors descriptors;
    const auto outcome = dfuse::OpenDeviceLink(*session.library, session.device.path, link, descriptors);
    const bool gone = descriptors.failedCode == dfuse::STDFU_NODEVICE;
    const std::string device = session.device.path;
    switch (outcome) {
    case dfuse::LinkOutcome::Ok:
        return -1;
    case dfuse::LinkOutcome::NotOpened:
        if (descriptors.failedCode == dfuse::STDFU_ACCESSDENIED) {
            return Failure(command, "cannot open " + DescribeDevice(session.device) +
                                        ": no permission to use the USB device; install the udev rule with "
                                        "'nemora-cli install-udev-rule', then unplug and plug the device in again");
        }
        return Failure(command,
                       "opening the device: cannot open " + device + (gone ? ": it is gone; plug it in again" : ""));
    case dfuse::LinkOutcome::NoDeviceDescriptor:
    case dfuse::LinkOutcome::NoDfuDescriptor:
        if (gone) {
            return Failure(command, "opening the device: " + device +
                                        " went away while its descriptors were read; plug it in again");
        }
        return Failure(command, outcome == dfuse::LinkOutcome::NoDeviceDescriptor
                                    ? "opening the device: Unable to get descriptors... Bad Firmware"
                                    : "opening the device: Unable to get DFU descriptor... Bad Firmware");
    case dfuse::LinkOutcome::BadVersion:
    case dfuse::LinkOutcome::NoVersion:
        return Failure(command, "opening the device: Bad Updating protocol version. Should be 1.1A");
    case dfuse::LinkOutcome::NoMapping:
        break;
    }
    return Failure(command, "reading the memory map: unable to find or decode the device's memory map: " +
                                session.library->LastMappingError());
}

// ---------------------------------------------------------------- job events

void JobReporter::operator()(const dfuse::JobEvent& event)
{
    using Kind = dfuse::JobEvent::Kind;
    if (m_journal)
        m_journal->See(event);
    switch (event.kind) {
    case Kind::Launched:
        EndProgress();
        m_label = event.snapshot  ? std::string("Saving a snapshot")
                  : event.compare ? TargetLabel("Comparing", event.target)
                                  : LabelFor(event.operation, event.target);
        m_printer.emplace(m_label);
        break;
    case Kind::Progress:
        if (m_printer) {
            (*m_printer)(event.percent);
        }
        break;
    case Kind::Upgraded:
        EndProgress();
        ++m_targetsUpgraded;
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
        if (m_failure.empty())
            m_failure = "Matching not good";
        m_status = kExitFailure;
        break;
    case Kind::Element:
        elements.push_back(event);
        break;
    case Kind::Failed:
        EndProgress();
        // The compare reads what the target holds before anything of it is erased.
        {
            const std::string text = (m_label.empty() ? std::string("launch") : m_label) +
                                     " failed: " + DescribeFailure(event.context) +
                                     (m_label.starts_with("Comparing") ? "; nothing of this target was written" : "");
            if (m_failure.empty()) {
                m_failure = text;
                m_failedContext = event.context;
            }
            m_status = Failure(m_command, text);
            break;
        }
    case Kind::Problem:
        EndProgress();
        if (m_failure.empty())
            m_failure = ProblemText(event);
        m_status = Failure(m_command, ProblemText(event));
        break;
    case Kind::Snapshot:
        EndProgress();
        std::cerr << "Snapshot of the settings saved to " << event.text << "\n";
        m_snapshotPath = event.text;
        break;
    case Kind::Plan:
        EndProgress();
        if (event.pages > 0) {
            ++m_targetsCompared;
            m_pagesCompared += event.pages;
            m_pagesWritten += event.pagesWritten;
        }
        std::cerr << TargetLabel("Target", event.target) << ": " << event.text << "\n";
        break;
    case Kind::SnapshotUnreadable:
        EndProgress();
        m_status =
            Failure(m_command, "cannot read the device's settings for a snapshot (" + DescribeFailure(event.context) +
                                   "); nothing was written. Give --no-snapshot to write without one");
        break;
    case Kind::Finished:
        m_health += event.context.Health;
        EndProgress();
        break;
    case Kind::Uploaded:
    case Kind::Left:
        EndProgress();
        break;
    }
}

std::string KeepOutcome(const usb::DeviceInfo& device, dfuse::OperationOutcome outcome)
{
    outcome.program = "nemora-cli";
    outcome.model = NamesOf(device.vid, device.pid, device.bcdDevice).model;
    outcome.serial = device.serial;
    outcome.port = DevicePort(device);
    std::string advice = dfuse::HubAdvice(outcome);
    std::string error;
    if (const auto folder = settings::TransferFolder(error))
        dfuse::RecordOutcome(*folder, std::move(outcome), error); // the outcome itself was said already
    return advice;
}

JobReporter::~JobReporter()
{
    if (!m_device)
        return;
    dfuse::OperationOutcome outcome;
    outcome.operation = std::string(m_command);
    outcome.ok = m_status == kExitOk;
    outcome.result = outcome.ok ? "done" : (m_failure.empty() ? "failed" : m_failure);
    if (m_failedContext)
        dfuse::DescribeFailedContext(*m_failedContext, outcome);
    outcome.health = m_health;
    if (const std::string advice = KeepOutcome(*m_device, std::move(outcome)); !advice.empty())
        std::cerr << advice << "\n";
}

std::string JobReporter::FirmwareChange(const std::vector<std::string>& userAreas) const
{
    return settings::DescribeFirmwareChange(m_pagesWritten, m_pagesCompared, m_targetsUpgraded > m_targetsCompared,
                                            userAreas);
}

std::optional<dfuse::WriteJournal> BeginRecordedWrite(const usb::DeviceInfo& device, std::string title,
                                                      std::string detail, const std::filesystem::path& file,
                                                      std::string hash, std::string resolves)
{
    std::string error;
    const auto folder = settings::TransferFolder(error);
    if (folder) {
        dfuse::WriteRecord record;
        record.program = "nemora-cli";
        record.model = NamesOf(device.vid, device.pid, device.bcdDevice).model;
        record.vid = device.vid;
        record.pid = device.pid;
        record.bcd = device.bcdDevice;
        record.serial = device.serial;
        record.port = DevicePort(device);
        record.title = std::move(title);
        record.detail = std::move(detail);
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
        record.file = (ec ? file : absolute).string();
        record.hash = std::move(hash);
        record.resolves = std::move(resolves);
        dfuse::WriteJournal journal(*folder, std::move(record));
        if (journal.Begin(error))
            return journal;
    }
    std::cerr << "This write is not recorded (" << error
              << "): if it is cut short, 'nemora-cli recover' will not "
                 "know of it\n";
    return std::nullopt;
}

std::string JobReporter::LabelFor(std::uint32_t operation, int target) const
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

std::string JobProblemText(dfuse::JobProblem problem, std::uint32_t model, const std::string& text)
{
    using dfuse::JobProblem;
    switch (problem) {
    case JobProblem::NoFileData:
        return "Unable to find data for that device from the file";
    case JobProblem::IdentityMismatch:
        return Format("This file is not supposed to be used with device,ID:0x%04x!!", unsigned{model});
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
    case JobProblem::SnapshotNotSaved:
        return "cannot save a snapshot of the settings: " + text + "; nothing was written";
    case JobProblem::Refused:
        break;
    }
    return text;
}

std::string JobReporter::ProblemText(const dfuse::JobEvent& event)
{
    return JobProblemText(event.problem, event.model, event.text);
}

void JobReporter::EndProgress()
{
    if (m_printer) {
        m_printer->Finish();
        m_printer.reset();
    }
}

// ---------------------------------------------------------------- user areas

int OpenAreaDevice(std::string_view command, const ParsedArgs& args, DeviceUse use, AreaDevice& device)
{
    if (const int status = OpenSession(command, args, true, use, device.session); status >= 0) {
        return status;
    }
    if (const int status = OpenLink(command, device.session, device.link); status >= 0) {
        return status;
    }
    if (device.link.mapping.empty()) {
        return Failure(command, "the device's memory map has no target");
    }
    device.identity.SetIds(device.link.vid, device.link.pid, device.link.bcdDevice);
    device.identity.UpdateGeometry();
    device.snapshotDue = use == DeviceUse::Writes && !args.Has(kNoSnapshotOption.name);
    device.snapshotBefore = SnapshotReason(command, args);
    return -1;
}

std::string SnapshotReason(std::string_view command, const ParsedArgs& args)
{
    std::string reason = "nemora-cli " + std::string(command);
    for (const std::string& positional : args.positionals) {
        reason += " " + std::filesystem::path(positional).filename().string();
    }
    return reason;
}

dfuse::SnapshotRequest SnapshotRequestFor(std::string_view command, const ParsedArgs& args,
                                          const dfuse::DeviceLink& link, const usb::DeviceInfo& device)
{
    if (args.Has(kNoSnapshotOption.name)) {
        return {};
    }
    CDeviceIdentity identity;
    identity.SetIds(link.vid, link.pid, link.bcdDevice);
    return settings::MakeSnapshotRequest(identity, device.serial, SnapshotReason(command, args));
}

int ReadArea(std::string_view command, AreaDevice& device, std::uint32_t address, std::uint32_t size,
             std::vector<std::uint8_t>& bytes)
{
    JobReporter reporter(command, true);
    reporter.RecordFor(device.session.device);
    const bool ok = dfuse::UploadArea(*device.session.library, device.link, address, size, bytes, std::ref(reporter));
    if (reporter.Status() != kExitOk) {
        return reporter.Status();
    }
    if (!ok) {
        return Failure(command, Format("the device answered %zu of the %u bytes at 0x%08X", bytes.size(),
                                       unsigned{size}, unsigned{address}));
    }
    // A whole user area read before any write is what the change report starts from.
    const CDeviceIdentity& id = device.identity;
    if (!device.logoWritten && !device.paramWritten) {
        if (!device.before)
            device.before.emplace();
        if (address == id.m_dwLogoAddress)
            device.before->logo = bytes;
        if (address == id.m_dwParamAddress)
            device.before->param = bytes;
    }
    return -1;
}

int WriteArea(std::string_view command, AreaDevice& device, std::uint32_t address, std::span<const std::uint8_t> bytes)
{
    return WriteStagingFile(command, device, settings::MakeStagingFile(device.identity, address, bytes));
}

int WriteStagingFile(std::string_view command, AreaDevice& device, const dfuse::DfuFile& file)
{
    std::string error;
    const auto folder = settings::TransferFolder(error);
    if (!folder) {
        return Failure(command, "no transfer folder: " + error);
    }
    const std::filesystem::path staging = *folder / settings::kStagingFileName;
    std::vector<std::uint8_t> serialized;
    if (const dfuse::Error e = dfuse::SerializeDfuFile(file, serialized)) {
        return Failure(command, FileProblem(staging.string(), e));
    }
    if (const dfuse::Error e = dfuse::WriteFileAtomically(staging, serialized)) {
        return Failure(command, FileProblem(staging.string(), e));
    }
    JobReporter reporter(command);
    reporter.RecordFor(device.session.device);
    // The staging file is what a write cut short is written again from.
    auto journal = BeginRecordedWrite(device.session.device, device.title, device.snapshotBefore, staging,
                                      dfuse::Sha256Hex(serialized), device.resolves);
    reporter.Journal(journal ? &*journal : nullptr);
    dfuse::SnapshotRequest snapshot;
    if (device.snapshotDue) {
        snapshot = settings::MakeSnapshotRequest(device.identity, device.session.device.serial, device.snapshotBefore);
    }
    // The staging file is the record of the last write; what is sent is the value it was written from.
    const bool ok =
        dfuse::DownloadFile(*device.session.library, device.link, file, std::ref(reporter), std::move(snapshot));
    if (journal)
        journal->End(ok && reporter.Status() == kExitOk);
    if (reporter.Status() != kExitOk) {
        return reporter.Status();
    }
    device.snapshotDue = false; // both areas are kept: the command's further writes need no other
    if (!reporter.SnapshotPath().empty() && !device.logoWritten && !device.paramWritten) {
        settings::SnapshotAreas kept = settings::ReadSnapshot(reporter.SnapshotPath(), device.identity);
        if (kept.error.empty())
            device.before = std::move(kept);
    }
    if (!ok)
        return Failure(command, "the area was written but not verified");
    for (const dfuse::Image& image : file.images) {
        for (const dfuse::Element& element : image.elements) {
            if (element.address == device.identity.m_dwLogoAddress)
                device.logoWritten = element.data;
            else if (element.address == device.identity.m_dwParamAddress)
                device.paramWritten = element.data;
        }
    }
    return -1;
}

void ReportChanges(const AreaDevice& device)
{
    static const std::vector<std::uint8_t> kUnknown;
    const auto change = [&](const std::optional<std::vector<std::uint8_t>>& written, bool logo) {
        settings::AreaChange area;
        area.written = written.has_value();
        if (area.written) {
            area.after = *written;
            const std::vector<std::uint8_t>& held = !device.before ? kUnknown
                                                    : logo         ? device.before->logo
                                                                   : device.before->param;
            // The area as the device held it, over the length the write covered.
            if (held.size() >= written->size())
                area.before = std::span<const std::uint8_t>(held.data(), written->size());
        }
        return area;
    };
    std::cout << "changed: "
              << settings::DescribeAreasChange(change(device.logoWritten, true), change(device.paramWritten, false),
                                               device.identity.m_nImageCount)
              << '\n';
}

} // namespace nemora::cli
