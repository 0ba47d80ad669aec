#pragma once

// Snapshots: both user areas of a device, read just before anything writes to its flash, kept as settings
// files so that what the user made on the device can be brought back.
//
// The folder is $XDG_DATA_HOME/Nemora/snapshots (else ~/.local/share/Nemora/snapshots), mode 0700. A
// snapshot is named YYYYMMDD-HHMMSS-<model code>-<serial>.vek (local time; a model without a catalogue
// row is "M" and its model id; characters of the serial other than letters, digits, '_' and '-' become '_';
// a second snapshot of the same device within the same second gets ".2", ".3"... before ".vek"). The
// newest kSnapshotsKept of each device (model and serial) are kept.

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

// A snapshot file as its name describes it.
struct SnapshotInfo {
    std::filesystem::path path;
    std::string stamp;     // YYYYMMDD-HHMMSS
    unsigned sequence = 1; // 2, 3... for later snapshots within the same second
    std::string modelCode;
    std::string serial;

    std::string DateText() const; // "YYYY-MM-DD HH:MM:SS"
};

// The description of a file name, or nothing when it is not a snapshot's name.
std::optional<SnapshotInfo> ParseSnapshotName(const std::filesystem::path& path);

// The snapshots in the folder, newest first; only those of the model when modelCode is not empty.
std::vector<SnapshotInfo> ListSnapshots(const std::filesystem::path& folder, std::string_view modelCode = {});

struct SnapshotResult {
    std::filesystem::path path; // the file written
    std::string error;          // empty on success: what went wrong otherwise
};

// Writes the areas as a settings file named for the device and `when`, then removes the oldest of that
// device's snapshots beyond kSnapshotsKept. The file is written whole or not at all.
SnapshotResult SaveSnapshot(const std::filesystem::path& folder, const CDeviceIdentity& identity,
                            std::string_view serial, std::span<const std::uint8_t> logoArea,
                            std::span<const std::uint8_t> paramArea, std::time_t when);

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
dfuse::SnapshotRequest MakeSnapshotRequest(const CDeviceIdentity& identity, std::string serial);

} // namespace nemora::settings
