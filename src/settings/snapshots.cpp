#include "settings/snapshots.h"

#include "dfuse/flash_plan.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nemora::settings {
namespace {

constexpr std::string_view kExtension = ".vek";
constexpr std::size_t kStampLength = 15; // YYYYMMDD-HHMMSS
constexpr unsigned kMaxSequence = 9999;  // a name's sequence has at most four digits

bool IsDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsNamePart(std::string_view text, bool allowDash)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
               (allowDash && c == '-');
    });
}

std::string SafeSerial(std::string_view serial)
{
    std::string safe;
    for (char c : serial) {
        const bool kept =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-';
        safe.push_back(kept ? c : '_');
    }
    return safe.empty() ? std::string("unknown") : safe;
}

std::string Stamp(std::time_t when)
{
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// Newest first: by stamp, then by sequence.
bool Newer(const SnapshotInfo& a, const SnapshotInfo& b)
{
    return a.stamp != b.stamp ? a.stamp > b.stamp : a.sequence > b.sequence;
}

// Gives the file at `from` the name `to` unless some file already has it; 0, or the errno (EEXIST when the
// name is taken). `moved` says whether `from` is gone (renamed) rather than still there beside its new link.
int PlaceWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to, bool& moved)
{
    moved = false;
    if (::link(from.c_str(), to.c_str()) == 0) {
        return 0;
    }
    int err = errno;
#if defined(__linux__)
    // A filesystem without hard links may still rename without replacing.
    if (err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS) {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
            moved = true;
            return 0;
        }
        err = errno;
    }
#endif
    return err;
}

} // namespace

std::optional<std::filesystem::path> SnapshotFolder(std::string& error)
{
    std::filesystem::path base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
        base = data;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        base = std::filesystem::path(home) / ".local" / "share";
    } else {
        error = "neither XDG_DATA_HOME nor HOME is set";
        return std::nullopt;
    }
    // The areas are the user's own: nobody else reads them, nor puts a link in their way.
    const std::filesystem::path folder = base / "Nemora" / "snapshots";
    constexpr std::string_view kRemedy = "remove it, or set XDG_DATA_HOME to a folder of your own";
    if (!dfuse::MakeOwnFolder(folder.parent_path(), "the workspace folder", kRemedy, error) ||
        !dfuse::MakeOwnFolder(folder, "the snapshot folder", kRemedy, error)) {
        return std::nullopt;
    }
    return folder;
}

std::string SnapshotModelCode(const CDeviceIdentity& identity)
{
    CDeviceIdentity copy = identity;
    std::string code;
    if (copy.GetModelCode(code) == 0 && IsNamePart(code, false)) {
        return code;
    }
    return "M" + std::to_string(copy.m_wModelId);
}

std::string SnapshotInfo::DateText() const
{
    if (stamp.size() != kStampLength) {
        return stamp;
    }
    return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " + stamp.substr(9, 2) + ":" +
           stamp.substr(11, 2) + ":" + stamp.substr(13, 2);
}

std::optional<SnapshotInfo> ParseSnapshotName(const std::filesystem::path& path)
{
    std::string name = path.filename().string();
    if (name.size() <= kExtension.size() || !name.ends_with(kExtension)) {
        return std::nullopt;
    }
    name.resize(name.size() - kExtension.size());
    SnapshotInfo info;
    info.path = path;
    if (const auto dot = name.rfind('.'); dot != std::string::npos) {
        const std::string sequence = name.substr(dot + 1);
        if (!IsDigits(sequence) || sequence.size() > 4) {
            return std::nullopt;
        }
        info.sequence = static_cast<unsigned>(std::stoul(sequence));
        name.resize(dot);
    }
    if (name.size() < kStampLength + 4 || name[8] != '-' || name[kStampLength] != '-' ||
        !IsDigits(std::string_view(name).substr(0, 8)) || !IsDigits(std::string_view(name).substr(9, 6))) {
        return std::nullopt;
    }
    info.stamp = name.substr(0, kStampLength);
    const std::string rest = name.substr(kStampLength + 1);
    const auto dash = rest.find('-');
    if (dash == std::string::npos) {
        return std::nullopt;
    }
    info.modelCode = rest.substr(0, dash);
    info.serial = rest.substr(dash + 1);
    if (!IsNamePart(info.modelCode, false) || !IsNamePart(info.serial, true)) {
        return std::nullopt;
    }
    return info;
}

std::vector<SnapshotInfo> ListSnapshots(const std::filesystem::path& folder, std::string_view modelCode)
{
    std::vector<SnapshotInfo> found;
    std::error_code code;
    for (std::filesystem::directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
        if (!it->is_regular_file(code)) {
            continue;
        }
        if (auto info = ParseSnapshotName(it->path()); info && (modelCode.empty() || info->modelCode == modelCode)) {
            found.push_back(std::move(*info));
        }
    }
    std::sort(found.begin(), found.end(), Newer);
    return found;
}

SnapshotResult SaveSnapshot(const std::filesystem::path& folder, const CDeviceIdentity& identity,
                            std::string_view serial, std::span<const std::uint8_t> logoArea,
                            std::span<const std::uint8_t> paramArea, std::time_t when)
{
    SnapshotResult result;
    const std::string model = SnapshotModelCode(identity);
    const std::string device = SafeSerial(serial);
    const std::string base = Stamp(when) + "-" + model + "-" + device;
    result.path = folder / (base + std::string(kExtension));

    std::vector<std::uint8_t> bytes;
    if (const dfuse::Error error = dfuse::SerializeDfuFile(MakeSettingsFile(identity, logoArea, paramArea), bytes)) {
        result.error = "cannot write the snapshot " + result.path.string() + ": " + error.message;
        return result;
    }
    std::string why;
    const auto temporary =
        dfuse::WriteTemporaryFile(folder, base, bytes, 0600, true, why); // no listing reads dot names
    if (!temporary) {
        result.error = "cannot write the snapshot " + result.path.string() + ": " + why;
        return result;
    }
    // The file comes into being whole under a name nobody holds: another program saving a snapshot of the
    // same device in the same second takes the next name instead of writing over this one.
    bool moved = false;
    int err = EEXIST;
    for (unsigned sequence = 1; err == EEXIST && sequence <= kMaxSequence; ++sequence) {
        if (sequence > 1) {
            result.path = folder / (base + "." + std::to_string(sequence) + std::string(kExtension));
        }
        err = PlaceWithoutReplacing(*temporary, result.path, moved);
    }
    if (!moved) {
        ::unlink(temporary->c_str());
    }
    if (err != 0) {
        result.error = "cannot write the snapshot " + result.path.string() + ": " +
                       (err == EEXIST ? std::string("every name of that second is taken") : std::strerror(err));
        return result;
    }

    std::vector<SnapshotInfo> mine;
    for (SnapshotInfo& info : ListSnapshots(folder, model)) {
        if (info.serial == device) {
            mine.push_back(std::move(info));
        }
    }
    std::error_code code;
    for (std::size_t i = kSnapshotsKept; i < mine.size(); ++i) {
        std::filesystem::remove(mine[i].path, code);
    }
    return result;
}

SnapshotAreas ReadSnapshot(const std::filesystem::path& path, const CDeviceIdentity& identity)
{
    SnapshotAreas areas;
    const dfuse::ParseResult parsed = dfuse::ReadDfuFile(path);
    if (!parsed.file) {
        areas.error = path.string() + ": " + parsed.error.message;
        return areas;
    }
    for (const SettingsElement& element : SettingsElements(*parsed.file)) {
        if (element.imageName == kLogoImageName && element.address == identity.m_dwLogoAddress &&
            element.bytes.size() == identity.m_dwLogoSize) {
            areas.logo = element.bytes;
        } else if (element.imageName == kParamImageName && element.address == identity.m_dwParamAddress &&
                   element.bytes.size() == identity.m_dwParamSize) {
            areas.param = element.bytes;
        }
    }
    if (areas.logo.empty() || areas.param.empty()) {
        areas.error = path.string() + " does not hold both areas of this device's model whole";
        areas.logo.clear();
        areas.param.clear();
    }
    return areas;
}

dfuse::DfuFile MakeRestoreFile(const CDeviceIdentity& identity, const SnapshotAreas& areas)
{
    dfuse::Image image{0, kStagingImageName, {}};
    image.elements.push_back({identity.m_dwLogoAddress, areas.logo});
    image.elements.push_back({identity.m_dwParamAddress, areas.param});
    std::sort(image.elements.begin(), image.elements.end(),
              [](const dfuse::Element& a, const dfuse::Element& b) { return a.address < b.address; });
    return dfuse::DfuFile{identity.m_wVid, identity.m_wPid, identity.m_wBcdDevice, {std::move(image)}};
}

std::array<dfuse::NamedArea, 2> UserAreas(const CDeviceIdentity& identity)
{
    return {{{"logo area", identity.m_dwLogoAddress, identity.m_dwLogoSize, 0},
             {"parameter area", identity.m_dwParamAddress, identity.m_dwParamSize, 0}}};
}

std::vector<std::string> UserAreasTouched(const std::vector<dfuse::Image>& images, const CDeviceIdentity& identity)
{
    const std::array<dfuse::NamedArea, 2> areas = UserAreas(identity);
    std::vector<std::string> touched;
    for (const dfuse::AreaHit& hit : dfuse::AreasTouched(images, areas)) {
        touched.push_back(hit.name);
    }
    return touched;
}

dfuse::SnapshotRequest MakeSnapshotRequest(const CDeviceIdentity& identity, std::string serial)
{
    dfuse::SnapshotRequest request;
    request.areas = {{identity.m_dwLogoAddress, identity.m_dwLogoSize},
                     {identity.m_dwParamAddress, identity.m_dwParamSize}};
    request.save = [identity, serial = std::move(serial)](const std::vector<std::vector<std::uint8_t>>& bytes,
                                                          std::string& text) {
        const auto folder = SnapshotFolder(text);
        if (!folder) {
            return false;
        }
        if (bytes.size() != 2) {
            text = "the snapshot did not get both areas";
            return false;
        }
        const SnapshotResult saved = SaveSnapshot(*folder, identity, serial, bytes[0], bytes[1], std::time(nullptr));
        text = saved.error.empty() ? saved.path.string() : saved.error;
        return saved.error.empty();
    };
    return request;
}

} // namespace nemora::settings
