#pragma once

// A report a user can send when something does not work: the program, the system, each attached device
// (its descriptors, memory map and whether this user may open it), the udev rule, the outcomes of the last
// operations, the program's folders and whether virtual devices are in use. Every fact is found by the
// program itself. Serial numbers are shortened to their last four characters unless asked for; no file's
// contents and no folder but the program's own are named.

#include "dfuse/outcome_log.h"
#include "usb/transport.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nemora::dfuse {
class IDfuseLibrary;
}

namespace nemora::report {

struct ReportOptions {
    std::string program;               // "nemora" or "nemora-cli"
    std::string qtVersion;             // empty when the program runs without Qt
    std::vector<std::string> logLines; // the console's Log pane
    // True for a device whose link must not be opened now (a transfer of this program runs on it).
    std::function<bool(const std::string& path)> busy;
};

struct DfuFunctional {
    std::uint8_t attributes = 0;
    std::uint16_t detachTimeout = 0; // ms
    std::uint16_t transferSize = 0;
    std::uint16_t dfuVersion = 0;
};

struct DeviceAccess {
    bool canOpen = false;
    std::string reason;      // why not, in words
    std::string node;        // "/dev/bus/usb/001/004", or empty when there is none (a virtual device)
    std::string nodeMode;    // "0664"
    std::string nodeOwner;   // "root:plugdev"
    bool uaccess = false;    // an installed udev rule tags this VID and PID with uaccess
    std::string uaccessRule; // the file of that rule
};

struct DeviceFacts {
    usb::DeviceInfo info;
    std::string port;
    std::string product, model, firmware; // the catalogue's, or the texts shown when it is not catalogued
    std::string linkProblem;              // why the descriptors could not be read; empty when they were
    std::optional<DfuFunctional> dfu;
    std::vector<std::string> memoryMap; // one line per target: alternate, name, address and sectors
    bool readProtected = false;
    DeviceAccess access;
    bool ruleNamesDevice = false; // Nemora's installed rule names this VID and PID
};

struct SnapshotCount {
    std::string model; // the model code in the snapshots' names
    std::string serial;
    std::size_t count = 0;
};

struct FolderFacts {
    std::string what; // "workspace", "transfer", "snapshots"
    std::string path;
    bool exists = false;
    bool isPrivate = false;               // this user's, and closed to others
    std::vector<SnapshotCount> snapshots; // for the snapshot folder, per device
};

struct Report {
    std::string program, programVersion, qtVersion, libusbVersion;
    std::string system, kernel, session;
    bool root = false;
    bool simulated = false;
    std::vector<DeviceFacts> devices;
    std::string listProblem; // why the devices could not be listed
    bool ruleInstalled = false;
    std::string rulePath;
    std::vector<dfuse::OperationOutcome> outcomes; // oldest first
    std::vector<FolderFacts> folders;
    std::vector<std::string> advice;
    std::vector<std::string> logLines;
};

Report CollectReport(usb::Transport& transport, dfuse::IDfuseLibrary& library, const ReportOptions& options);

// "…M001" for "NEMORASIM001", the whole serial when asked; "(none)" when empty.
std::string ShownSerial(std::string_view serial, bool includeSerials);

// The report as text. With includeSerials false, every serial number in it (the Log's lines too) is
// shortened.
std::string ReportText(const Report& report, bool includeSerials);

// Every serial the report knows of, as ShownSerial shows it, put in place of the whole one in text; and,
// whatever includeSerials says, a path under the home folder that is none of the program's own folders
// shortened to its file name.
std::string Redact(const Report& report, std::string text, bool includeSerials);

} // namespace nemora::report
