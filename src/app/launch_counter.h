#pragma once

#include <cstdint>
#include <filesystem>

// The launch-counter file "magic.vek" in the workspace folder: 8 bytes, a signed little-endian
// first-run marker (7 once the first-run driver installation has been started) followed by a signed
// little-endian launch count that saturates at 200. Both functions work on the folder they are given,
// create it if needed, and never touch anything outside it.
namespace nemora::app {

inline constexpr const char* kMagicFileName = "magic.vek";
inline constexpr std::int32_t kFirstRunDoneMarker = 7;
inline constexpr std::int32_t kMaxLaunchCount = 200;

struct LaunchCount {
    bool fileOk = false;          // false: the file could neither be opened nor created
    bool resetLayout = false;     // the caller deletes the saved layout and sets "ACC_CNT" to 0
    std::int32_t marker = 0;      // as read
    std::int32_t launchCount = 0; // as stored after this start
};

// Counts one start-up. A new file first gets the 4-byte marker 0, then the count at offset 4. Words a
// short file cannot hold read as 0. The layout reset is due when the marker is below 7.
LaunchCount CountLaunch(const std::filesystem::path& workspaceFolder);

enum class FirstRunCheck {
    CannotAccess, // the file cannot be opened: the caller reports it and installs nothing
    Due,          // the marker was not 7 and now is: the caller starts the driver installation
    NotDue,
};

// Once per installation: when the marker is not 7, stores 7 and answers Due. Never creates the file.
FirstRunCheck CheckFirstRun(const std::filesystem::path& workspaceFolder);

} // namespace nemora::app
