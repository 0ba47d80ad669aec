#pragma once

// What the device commands of nemora-cli share: picking the device, opening its link, and following a
// transfer job with progress and messages on stderr.

#include "cli/cli.h"
#include "device/device_identity.h"
#include "dfuse/device_link.h"
#include "dfuse/dfuse_library.h"
#include "dfuse/transfer_job.h"
#include "usb/transport.h"

#include <cstdio>
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

struct Session {
    std::unique_ptr<usb::Transport> transport;
    std::unique_ptr<dfuse::DfuseLibrary> library;
    usb::DeviceInfo device;
};

// Opens the transport and picks the device: --device PATH, else the first listed (update mode first).
// Returns an exit status, or -1 when the session is ready.
int OpenSession(std::string_view command, const ParsedArgs& args, bool needDfuMode, Session& session);

// "Verb 00".
std::string TargetLabel(std::string_view verb, int target);

// Opens the device's link: descriptors, protocol version and memory map. Returns an exit status, or -1.
int OpenLink(std::string_view command, Session& session, dfuse::DeviceLink& link);

// Prints a job's events on stderr as they come: progress, each target's outcome, and failures, and keeps
// the exit status. Uploaded elements are kept in `elements`.
class JobReporter {
public:
    explicit JobReporter(std::string_view command, bool reading = false) : m_command(command), m_reading(reading) {}

    void operator()(const dfuse::JobEvent& event);
    int Status() const { return m_status; }
    std::vector<dfuse::JobEvent> elements;

private:
    std::string LabelFor(std::uint32_t operation, int target) const;
    static std::string ProblemText(const dfuse::JobEvent& event);
    void EndProgress();

    std::string_view m_command;
    bool m_reading;
    std::string m_label;
    std::optional<ProgressPrinter> m_printer;
    int m_status = kExitOk;
};

// A device in update mode opened for its user areas: the session, its link and its identity (geometry
// and areas derived).
struct AreaDevice {
    Session session;
    dfuse::DeviceLink link;
    CDeviceIdentity identity;
};
// Returns an exit status, or -1 when the device is ready.
int OpenAreaDevice(std::string_view command, const ParsedArgs& args, AreaDevice& device);

// Reads `size` bytes at `address` of the device's first target into `bytes`, the way the console reads an
// area. Returns an exit status, or -1.
int ReadArea(std::string_view command, AreaDevice& device, std::uint32_t address, std::uint32_t size,
             std::vector<std::uint8_t>& bytes);

// Writes an area the way the console does: a one-image staging file in the transfer folder, then erase,
// download and verify. Returns an exit status, or -1.
int WriteArea(std::string_view command, AreaDevice& device, std::uint32_t address, std::span<const std::uint8_t> bytes);

} // namespace nemora::cli
