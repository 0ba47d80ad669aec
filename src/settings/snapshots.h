#pragma once

// Snapshots: both user areas of a device, read just before anything writes to its flash, kept as settings
// files so that what the user made on the device can be brought back.
//
// The folder is $XDG_DATA_HOME/Nemora/snapshots (else ~/.local/share/Nemora/snapshots); it and the
// Nemora folder above it must be the user's own (see MakeOwnFolder). A snapshot is named
// YYYYMMDD-HHMMSS-<model code>-<serial>.vek (UTC; a model without a catalogue row is "M" and its model
// id; characters of the serial other than letters, digits, '_' and '-' become '_'; a second snapshot of the
// same device within the same second gets ".2", ".3"... before ".vek"). Beside it, "<name>.info" says
// when it was taken, in which order among the device's snapshots, what it was taken before and the raw
// serial. The order, not the clock nor the name, tells which is newest: a clock set back or forward
// between two snapshots changes nothing. The newest kSnapshotsKept of each device (model and serial)
// are kept, and the one just written is never removed.

#include "device/device_identity.h"
#include "dfuse/flash_plan.h"
#include "dfuse/transfer_job.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nemora::settings {

inline constexpr std::size_t kSnapshotsKept = 50;

// The snapshot folder, made with mode 0700 when missing. Nothing, with `error` set, when it cannot be made.
std::optional<std::filesystem::path> SnapshotFolder(std::string& error);

// The model part of a snapshot's name: the catalogue's model code, else "M" and the model id.
std::string SnapshotModelCode(const CDeviceIdentity& identity);

// A snapshot file as its name and the note beside it describe it.
struct SnapshotInfo {
    std::filesystem::path path;
    std::string stamp;     // YYYYMMDD-HHMMSS
    unsigned sequence = 1; // 2, 3... for later snapshots within the same second
    std::string modelCode;
    std::string serial;      // as in the name
    std::string rawSerial;   // as the device gave it; empty without a note
    std::int64_t taken = 0;  // seconds since 1970 (UTC): the note's, else the file's modification time
    std::uint64_t order = 0; // 1, 2, ... among the device's snapshots; 0 without a note (older ones)
    std::string before;      // what it was taken before ("Write To Device (Power Line)"); empty if unknown

    std::string DateText() const;   // local time, "YYYY-MM-DD HH:MM:SS"
    std::string TakenUtc() const;   // "YYYY-MM-DDTHH:MM:SSZ"
    std::string BeforeText() const; // `before`, or "(not recorded)"
};

// The name part a serial number becomes.
std::string SnapshotSerialName(std::string_view serial);

// The description of a file name, or nothing when it is not a snapshot's name.
std::optional<SnapshotInfo> ParseSnapshotName(const std::filesystem::path& path);

// The snapshots in the folder, newest first; only those of the model when modelCode is not empty.
// Entries that are not plain files (links included) are left out.
std::vector<SnapshotInfo> ListSnapshots(const std::filesystem::path& folder, std::string_view modelCode = {});

// The snapshots of one device, newest first: its model, and its serial matched the way names are made.
std::vector<SnapshotInfo> DeviceSnapshots(const std::filesystem::path& folder, const CDeviceIdentity& identity,
                                          std::string_view serial);

struct SnapshotResult {
    std::filesystem::path path; // the file written
    std::string error;          // empty on success: what went wrong otherwise
};

// Writes the areas as a settings file named for the device and `when`, with its note (`before` says what
// it is taken before), then removes the oldest of that device's snapshots beyond kSnapshotsKept, never the
// one just written. The file is written whole or not at all.
SnapshotResult SaveSnapshot(const std::filesystem::path& folder, const CDeviceIdentity& identity,
                            std::string_view serial, std::span<const std::uint8_t> logoArea,
                            std::span<const std::uint8_t> paramArea, std::time_t when, std::string_view before = {});

// The areas of a snapshot for a device: its logo and parameter bytes, at that device's addresses.
struct SnapshotAreas {
    std::vector<std::uint8_t> logo;
    std::vector<std::uint8_t> param;
    std::string error; // empty on success
};
SnapshotAreas ReadSnapshot(const std::filesystem::path& path, const CDeviceIdentity& identity);

// The one-image file a restore downloads: both areas as two elements, under the device's ids.
dfuse::DfuFile MakeRestoreFile(const CDeviceIdentity& identity, const SnapshotAreas& areas);

// The device's two user areas, named "logo area" and "parameter area", in that order.
std::array<dfuse::NamedArea, 2> UserAreas(const CDeviceIdentity& identity);
// The names of the user areas the images write into, in that order.
std::vector<std::string> UserAreasTouched(const std::vector<dfuse::Image>& images, const CDeviceIdentity& identity);

// What a transfer job needs to take a snapshot of this device before it writes: the two areas to read,
// and a save that writes them into the snapshot folder.
dfuse::SnapshotRequest MakeSnapshotRequest(const CDeviceIdentity& identity, std::string serial,
                                           std::string before = {});

} // namespace nemora::settings
