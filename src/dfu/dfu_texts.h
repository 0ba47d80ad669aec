#pragma once

// The texts of the DFU engine window that follow from numbers alone: sector lists of the target list,
// transfer size and elapsed time, phase texts, the decoded failure report, and the small tables the
// engine consults (option-byte families, file identity).
// Platform-free, so they are tested without a window.

#include "dfuse/device_link.h"
#include "dfuse/dfuse_contract.h"
#include "dfuse/memory_map.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace nemora::dfu {

// Whose words a text is in: the user's language, or the source text as the outcome records keep it.
enum class Words { Shown, Recorded };

// "%i b" below 1 KiB, "%i Kb" (whole KiB) below 1 MiB, else "%i Mb" (whole MiB).
std::string SectorSizeText(std::uint32_t size);
// One line per sector, joined by "\n": "Sector %03i\t0x%08X\t0x%08X\t%s\t" then R, W and E (no E for the
// option-byte target).
std::string SectorListText(const nemora::dfuse::MappingTarget& target);

// "%i KB(%i Bytes) of %i KB(%i Bytes)" for percent p of S bytes; p = 0 gives the launch text.
std::string TransferSizeText(std::uint32_t size, std::uint32_t percent);
// "HH:MM:SS" of an elapsed time in seconds; hours wrap at 24, a negative time counts as 0.
std::string ElapsedText(std::int64_t seconds);
// The phase text that follows the device name on the bar while an operation runs.
std::string PhaseText(std::uint32_t operation, int target, std::uint32_t percent, Words words = Words::Shown);

// The option-byte families live with the link that probes them.
using dfuse::OptionByteFamily;
using dfuse::OptionByteFamilyFor;

// The file suits the device when VID and PID texts are equal and the bcdDevice values agree apart from the
// six firmware-version bits. The device's model is its bcdDevice text read as hexadecimal, low six bits cleared.
std::uint32_t DeviceModelFromBcdText(const std::string& deviceBcdText);
bool FileSuitsDevice(const std::string& devVid, const std::string& devPid, const std::string& devBcd,
                     const std::string& fileVid, const std::string& filePid, const std::string& fileBcd);

// The lines of the failure report, each ending in "\n"; values outside the tables in hexadecimal.
std::string ErrorCodeLine(std::uint32_t errorCode, Words words = Words::Shown);
std::string OperationLine(std::uint32_t operation); // empty for erase and unknown operations
std::string StateLine(std::uint8_t state);
std::string StatusLine(std::uint8_t status);
std::string RequestLine(std::uint32_t request);

struct FailureReport {
    std::string errorLine;   // shown on the bar
    std::string errorRecord; // errorLine in the words the outcome records keep
    std::string message;     // shown in the message box
};
FailureReport BuildFailureReport(const nemora::dfuse::DFUThreadContext& context, const std::string& deviceName,
                                 int currentTarget);

} // namespace nemora::dfu
