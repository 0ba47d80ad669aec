#pragma once

// The outcome of the last operations on each device, kept in a small file of the state folder so that a
// diagnostic report can say what happened even after the program that ran them has ended. Written whole
// or not at all; the newest kOutcomesKept records stay.

#include "dfuse/dfuse_contract.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace nemora::dfuse {

inline constexpr std::size_t kOutcomesKept = 20;
inline constexpr const char* kOutcomesFileName = "outcomes.tsv";

struct OperationOutcome {
    std::string when;      // UTC, "YYYY-MM-DDTHH:MM:SSZ"; filled in by RecordOutcome when empty
    std::string program;   // "nemora" or "nemora-cli"
    std::string model;     // the catalogue's model name, or empty
    std::string serial;    // the device's serial number, or empty
    std::string port;      // where the device sat ("1-3.2"), or empty
    std::string operation; // "flash", "read", "leave", "Write To Device (Power Line)"...
    bool ok = false;
    std::string result; // the outcome's own words
    // Where it failed: the operation that ran (UPGRADE, ERASE, UPLOAD, RETURN) and the device's state and
    // status as the DFU names them; empty after a success.
    std::string phase;
    std::string dfuState;
    std::string dfuStatus;
    std::string error; // the operation's error in brief ("unexpected error (device gone or link failed)")
    LinkHealth health; // the requests sent and the trouble met
};

// The failure fields of an outcome, from the failed operation's record.
void DescribeFailedContext(const DFUThreadContext& context, OperationOutcome& outcome);

// "52 requests, 0 stalls, 0 timeouts, 0 status errors, 0 recoveries".
std::string HealthText(const LinkHealth& health);

// For a failure that came of stalls, timeouts or a failed link on a device behind a hub (its port has a
// dot, "1-3.2"): the advice to try a port of the computer itself or another cable. Empty otherwise.
std::string HubAdvice(const OperationOutcome& outcome);

// Adds the outcome to the folder's file. False with `error` set when it cannot be written (the file is then
// as it was).
bool RecordOutcome(const std::filesystem::path& folder, OperationOutcome outcome, std::string& error);

// The outcomes kept in the folder, oldest first; nothing when there is no file. Lines that do not parse
// are left out.
std::vector<OperationOutcome> ReadOutcomes(const std::filesystem::path& folder);

} // namespace nemora::dfuse
