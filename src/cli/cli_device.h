#pragma once

// What the device commands of nemora-cli share: picking the device, opening its link, and following a
// transfer job with progress and messages on stderr.

#include "cli/cli.h"
#include "device/device_identity.h"
#include "dfuse/device_link.h"
#include "dfuse/device_lock.h"
#include "dfuse/dfuse_library.h"
#include "dfuse/outcome_log.h"
#include "dfuse/transfer_job.h"
#include "dfuse/write_journal.h"
#include "settings/snapshots.h"
#include "usb/transport.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nemora::cli {

// printf-style formatting into a string, for messages.
template <class... Values>
std::string Format(const char* format, Values... values)
{
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// The failed operation's record in words: code, request, and the device's status unless the link failed.
std::string DescribeFailure(const dfuse::DFUThreadContext& context);

// A bar redrawn in place on a terminal; plain lines every 10 percent otherwise.
class ProgressPrinter {
public:
    explicit ProgressPrinter(std::string label);
    void operator()(std::uint32_t percent);
    void Finish();

private:
    std::string m_label;
    bool m_tty;
    int m_last = -1;
};

// The options that choose a device, taken by every device command.
inline constexpr OptionSpec kDevicePathOption{"--device", true};
inline constexpr OptionSpec kSerialOption{"--serial", true};
inline constexpr OptionSpec kWaitOption{"--wait", false, false, true};
// Taken by every command that writes to the device's flash.
inline constexpr OptionSpec kNoSnapshotOption{"--no-snapshot", false};
#define NEMORA_CLI_SNAPSHOT_HELP                                                                                       \
    "  --no-snapshot     write even when the device's settings cannot be read for a snapshot first\n"
#define NEMORA_CLI_DEVICE_OPTIONS_HELP                                                                                 \
    "  --device PATH     the device with that path ('nemora-cli list' shows them)\n"                                   \
    "  --serial SERIAL   the device with that USB serial number\n"                                                     \
    "  --wait[=SECONDS]  wait until such a device is attached (no SECONDS: as long as it takes)\n"

// Whether the command changes the device. A command that writes never guesses: with several devices to
// choose from and none named, it refuses (exit status 2).
enum class DeviceUse { Reads, Writes };

// What a command asks for.
struct DeviceRequest {
    std::optional<std::string> path;
    std::optional<std::string> serial;
    bool needDfuMode = true;
    DeviceUse use = DeviceUse::Reads;
};

// The pick among the listed devices.
struct DeviceChoice {
    enum class Kind { Chosen, Ambiguous, Missing };
    Kind kind = Kind::Missing;
    usb::DeviceInfo device; // Chosen
    std::string message;    // Ambiguous: the devices to choose from; Missing: why none fits
    std::string note;       // Chosen by default among several: which one was taken
};
DeviceChoice ChooseDevice(const std::vector<usb::DeviceInfo>& devices, const DeviceRequest& request);

// Where a device sits ("1-3"), from its path; empty when the path does not say.
std::string DevicePort(const usb::DeviceInfo& device);
// "PATH (serial S, port P)".
std::string DescribeDevice(const usb::DeviceInfo& device);

// --wait[=SECONDS]: not given, given without a limit, or given with one.
struct WaitOption {
    bool wait = false;
    std::optional<std::chrono::seconds> limit;
};

// Reads --wait[=SECONDS] into `wait`. Returns an exit status for a bad value, or -1.
int ParseWaitOption(std::string_view command, const ParsedArgs& args, WaitOption& wait);

struct Session {
    dfuse::DeviceLock lock; // the device's, for as long as the session lives (let go of last)
    std::unique_ptr<usb::Transport> transport;
    std::unique_ptr<dfuse::DfuseLibrary> library;
    usb::DeviceInfo device;
    WaitOption wait;
};

// Opens the transport, picks the device (see ChooseDevice), waiting for it with --wait, and takes the
// device's lock, waiting a few seconds (NEMORA_LOCK_WAIT_MS) for another program to let go of it. Returns
// an exit status (1 with "<model> <serial> is busy: ..." when it did not), or -1 when the session is ready.
int OpenSession(std::string_view command, const ParsedArgs& args, bool needDfuMode, DeviceUse use, Session& session);

// Waits (arrival events, or the transport's polling) until `pick` finds a device in the listing, up to
// `wait.limit`. True with the device; false when the time ran out or the devices cannot be listed.
bool WaitForDevice(usb::Transport& transport, const WaitOption& wait,
                   const std::function<std::optional<usb::DeviceInfo>(const std::vector<usb::DeviceInfo>&)>& pick,
                   usb::DeviceInfo& found);

// "Verb 00".
std::string TargetLabel(std::string_view verb, int target);

// Opens the device's link: descriptors, protocol version and memory map. Returns an exit status, or -1.
int OpenLink(std::string_view command, Session& session, dfuse::DeviceLink& link);

// Keeps an operation's outcome for the device in the state folder (model, serial and port filled in), and
// returns the hub advice it calls for, empty when none.
std::string KeepOutcome(const usb::DeviceInfo& device, dfuse::OperationOutcome outcome);

// A job's problem in the words every device command uses (`text` is the whole text of a refusal).
std::string JobProblemText(dfuse::JobProblem problem, std::uint32_t model, const std::string& text);

// Prints a job's events on stderr as they come: progress, each target's outcome, and failures, and keeps
// the exit status. Uploaded elements are kept in `elements`.
class JobReporter {
public:
    explicit JobReporter(std::string_view command, bool reading = false) : m_command(command), m_reading(reading) {}
    // Records the job's outcome for the device in the state folder (the diagnostic report shows it), and
    // after a failure that points at a hub says what to try.
    ~JobReporter();
    JobReporter(const JobReporter&) = delete;
    JobReporter& operator=(const JobReporter&) = delete;

    // The device the job runs on; without it nothing is recorded.
    void RecordFor(const usb::DeviceInfo& device) { m_device = device; }
    // The record of the write the job makes: every event goes to it too.
    void Journal(dfuse::WriteJournal* journal) { m_journal = journal; }
    void operator()(const dfuse::JobEvent& event);
    int Status() const { return m_status; }
    std::vector<dfuse::JobEvent> elements;
    // The snapshot the job saved; empty when it saved none.
    const std::string& SnapshotPath() const { return m_snapshotPath; }
    // What a firmware write changed: the pages written of those compared, and the user areas it wrote.
    std::string FirmwareChange(const std::vector<std::string>& userAreas) const;

private:
    std::string LabelFor(std::uint32_t operation, int target) const;
    static std::string ProblemText(const dfuse::JobEvent& event);
    void EndProgress();

    std::string_view m_command;
    bool m_reading;
    std::string m_label;
    std::optional<ProgressPrinter> m_printer;
    int m_status = kExitOk;
    std::optional<usb::DeviceInfo> m_device;
    std::string m_failure; // the words of the first failure
    std::optional<dfuse::DFUThreadContext> m_failedContext;
    dfuse::LinkHealth m_health;
    dfuse::WriteJournal* m_journal = nullptr;
    std::string m_snapshotPath;
    std::size_t m_pagesCompared = 0;
    std::size_t m_pagesWritten = 0;
    int m_targetsCompared = 0;
    int m_targetsUpgraded = 0;
};

// A write kept in the state folder from before it starts until it verified, so that one cut short can be
// finished later ('nemora-cli recover'). Nothing, with one line on stderr, when the state folder cannot
// take it: the write goes ahead unrecorded.
std::optional<dfuse::WriteJournal> BeginRecordedWrite(const usb::DeviceInfo& device, std::string title,
                                                      std::string detail, const std::filesystem::path& file,
                                                      std::string hash, std::string resolves = {});

// A device in update mode opened for its user areas: the session, its link and its identity (geometry
// and areas derived).
struct AreaDevice {
    Session session;
    dfuse::DeviceLink link;
    CDeviceIdentity identity;
    bool snapshotDue = false;   // the next write keeps both areas as a snapshot first (once per command)
    std::string snapshotBefore; // what that snapshot is taken before
    // For the change report: both areas as they were before the command's first write (from its snapshot,
    // or from the command's own read of an area), and each area as the command last wrote it.
    std::optional<settings::SnapshotAreas> before;
    std::optional<std::vector<std::uint8_t>> logoWritten;
    std::optional<std::vector<std::uint8_t>> paramWritten;
    std::string title = "settings write"; // what the write records call the command's writes
    std::string resolves;                 // the write cut short the command's writes finish
};

// "changed: NI 200 -> 900; screen 7 changed; nothing else" on stdout, for what the command wrote.
void ReportChanges(const AreaDevice& device);
// After a device left update mode: waits (10 s, or --wait's limit) for the same device, by serial else port,
// to come back, and says on stdout in which mode and with which firmware. Returns the exit status.
int AwaitReturn(std::string_view command, usb::Transport& transport, const usb::DeviceInfo& left, WaitOption wait);

// How a firmware write goes: verified, compared first, the snapshot it keeps, and the write cut short it
// finishes (its id).
struct FirmwareWrite {
    bool verify = true;
    bool smart = true;
    dfuse::SnapshotRequest snapshot;
    std::string resolves;
};
// Writes the file (read from `path`) into the device behind the link, as 'flash' does, and says on stdout
// what it changed. Returns the exit status.
int WriteFirmware(std::string_view command, Session& session, const dfuse::DeviceLink& link, const std::string& path,
                  const dfuse::DfuFile& file, FirmwareWrite options);

// flash FILE --all: every suitable device at once. Returns the exit status.
int RunFlashAll(const ParsedArgs& args, const dfuse::DfuFile& file);

// Returns an exit status, or -1 when the device is ready.
int OpenAreaDevice(std::string_view command, const ParsedArgs& args, DeviceUse use, AreaDevice& device);

// Reads `size` bytes at `address` of the device's first target into `bytes`, the way the console reads an
// area. Returns an exit status, or -1.
int ReadArea(std::string_view command, AreaDevice& device, std::uint32_t address, std::uint32_t size,
             std::vector<std::uint8_t>& bytes);

// What a write reads and keeps first: both user areas of the device behind the link, saved as a snapshot
// under its serial number, noted as taken before the command. Empty with --no-snapshot.
dfuse::SnapshotRequest SnapshotRequestFor(std::string_view command, const ParsedArgs& args,
                                          const dfuse::DeviceLink& link, const usb::DeviceInfo& device);

// "nemora-cli settings set ni=5": what a command's snapshot is taken before.
std::string SnapshotReason(std::string_view command, const ParsedArgs& args);

// Writes an area the way the console does: a one-image staging file in the transfer folder, then erase,
// download and verify. Returns an exit status, or -1.
int WriteArea(std::string_view command, AreaDevice& device, std::uint32_t address, std::span<const std::uint8_t> bytes);
// The same for a staging file of the caller's (one image for the first target).
int WriteStagingFile(std::string_view command, AreaDevice& device, const dfuse::DfuFile& file);

} // namespace nemora::cli
