#include "app/launch_counter.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <system_error>

namespace nemora::app {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File OpenExisting(const std::filesystem::path& path)
{
    return File(std::fopen(path.c_str(), "r+b"));
}

// Reads the signed little-endian word at offset; bytes past the end of the file read as 0.
std::int32_t ReadWord(std::FILE* f, long offset)
{
    std::uint8_t b[4] = {0, 0, 0, 0};
    if (std::fseek(f, offset, SEEK_SET) == 0) {
        const std::size_t got = std::fread(b, 1, sizeof b, f);
        if (got < sizeof b)
            std::fill(b, b + 4, 0); // a partial word counts as missing
    }
    const std::uint32_t v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return static_cast<std::int32_t>(v);
}

bool WriteWord(std::FILE* f, long offset, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fwrite(b, 1, sizeof b, f) == sizeof b;
}

long FileLength(std::FILE* f)
{
    if (std::fseek(f, 0, SEEK_END) != 0)
        return 0;
    return std::ftell(f);
}

} // namespace

LaunchCount CountLaunch(const std::filesystem::path& workspaceFolder)
{
    std::error_code ec;
    std::filesystem::create_directories(workspaceFolder, ec); // a failure shows up when opening the file

    const std::filesystem::path path = workspaceFolder / kMagicFileName;
    File f = OpenExisting(path);
    if (!f)
        f = File(std::fopen(path.c_str(), "w+b"));
    LaunchCount result;
    if (!f)
        return result;
    result.fileOk = true;

    std::int32_t count = 0;
    if (FileLength(f.get()) != 0) {
        result.marker = ReadWord(f.get(), 0);
        count = ReadWord(f.get(), 4);
    } else {
        WriteWord(f.get(), 0, 0);
    }
    result.resetLayout = result.marker < kFirstRunDoneMarker;
    // Saturating increment; a stored count at or above the limit (even a damaged huge one) stays at 200.
    result.launchCount = count >= kMaxLaunchCount ? kMaxLaunchCount : std::min(count + 1, kMaxLaunchCount);
    WriteWord(f.get(), 4, result.launchCount);
    std::fflush(f.get());
    return result;
}

FirstRunCheck CheckFirstRun(const std::filesystem::path& workspaceFolder)
{
    std::error_code ec;
    std::filesystem::create_directories(workspaceFolder, ec);
    File f = OpenExisting(workspaceFolder / kMagicFileName);
    if (!f)
        return FirstRunCheck::CannotAccess;
    if (ReadWord(f.get(), 0) == kFirstRunDoneMarker)
        return FirstRunCheck::NotDue;
    WriteWord(f.get(), 0, kFirstRunDoneMarker);
    std::fflush(f.get());
    return FirstRunCheck::Due;
}

} // namespace nemora::app
