#include "settings/snapshots.h"

#include "dfuse/flash_plan.h"
#include "i18n/translate.h"
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

using i18n::Fill;
using i18n::Tr;

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

std::string Format(std::time_t when, const char* format, bool utc)
{
    std::tm parts{};
    if (utc)
        ::gmtime_r(&when, &parts);
    else
        ::localtime_r(&when, &parts);
    char text[32];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

// Newest first: snapshots with a note by their order (they are newer than any without one), then by the
// time taken, then by the name.
bool Newer(const SnapshotInfo& a, const SnapshotInfo& b)
{
    if (a.order != b.order)
        return a.order > b.order;
    if (a.taken != b.taken)
        return a.taken > b.taken;
    return a.stamp != b.stamp ? a.stamp > b.stamp : a.sequence > b.sequence;
}

std::filesystem::path NotePath(const std::filesystem::path& snapshot)
{
    std::filesystem::path note = snapshot;
    note += ".info";
    return note;
}

constexpr std::size_t kMaxNoteSize = 4096;

// The note's fields, when it is a plain file of a sensible size; nothing is read through a link.
void ReadNote(SnapshotInfo& info)
{
    const std::filesystem::path note = NotePath(info.path);
    const int fd = ::open(note.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        static_cast<std::size_t>(st.st_size) <= kMaxNoteSize) {
        text.resize(static_cast<std::size_t>(st.st_size));
        const ssize_t got = ::read(fd, text.data(), text.size());
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    ::close(fd);
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "taken" && IsDigits(value) && value.size() <= 12)
            info.taken = std::stoll(value);
        else if (key == "order" && IsDigits(value) && value.size() <= 12)
            info.order = std::stoull(value);
        else if (key == "before")
            info.before = value;
        else if (key == "serial")
            info.rawSerial = value;
    }
}

// One line of a note: no line breaks of its own.
std::string NoteValue(std::string_view text)
{
    std::string value;
    for (char c : text)
        value.push_back(c == '\n' || c == '\r' ? ' ' : c);
    return value;
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
        error = Tr("Snapshots", "neither XDG_DATA_HOME nor HOME is set");
        return std::nullopt;
    }
    // The areas are the user's own: nobody else reads them, nor puts a link in their way.
    const std::filesystem::path folder = base / "Nemora" / "snapshots";
    const std::string remedy = Tr("Snapshots", "remove it, or set XDG_DATA_HOME to a folder of your own");
    if (!dfuse::MakeOwnFolder(folder.parent_path(), Tr("Snapshots", "the workspace folder"), remedy, error) ||
        !dfuse::MakeOwnFolder(folder, Tr("Snapshots", "the snapshot folder"), remedy, error)) {
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
    return Format(static_cast<std::time_t>(taken), "%Y-%m-%d %H:%M:%S", false);
}

std::string SnapshotInfo::TakenUtc() const
{
    return Format(static_cast<std::time_t>(taken), "%Y-%m-%dT%H:%M:%SZ", true);
}

std::string SnapshotInfo::BeforeText() const
{
    return before.empty() ? Tr("Snapshots", "(not recorded)") : before;
}

std::string SnapshotSerialName(std::string_view serial)
{
    return SafeSerial(serial);
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
        std::error_code statCode;
        const std::filesystem::file_status status = it->symlink_status(statCode);
        if (statCode || !std::filesystem::is_regular_file(status)) {
            continue; // a link planted among them is never read through
        }
        if (auto info = ParseSnapshotName(it->path()); info && (modelCode.empty() || info->modelCode == modelCode)) {
            struct stat st {};
            if (::lstat(info->path.c_str(), &st) == 0)
                info->taken = st.st_mtime;
            ReadNote(*info);
            found.push_back(std::move(*info));
        }
    }
    std::sort(found.begin(), found.end(), Newer);
    return found;
}

std::vector<SnapshotInfo> DeviceSnapshots(const std::filesystem::path& folder, const CDeviceIdentity& identity,
                                          std::string_view serial)
{
    const std::string name = SafeSerial(serial);
    std::vector<SnapshotInfo> mine;
    for (SnapshotInfo& info : ListSnapshots(folder, SnapshotModelCode(identity))) {
        // The raw serial tells apart two serials that clean to the same name.
        if (info.serial == name && (info.rawSerial.empty() || serial.empty() || info.rawSerial == serial))
            mine.push_back(std::move(info));
    }
    return mine;
}

SnapshotResult SaveSnapshot(const std::filesystem::path& folder, const CDeviceIdentity& identity,
                            std::string_view serial, std::span<const std::uint8_t> logoArea,
                            std::span<const std::uint8_t> paramArea, std::time_t when, std::string_view before)
{
    SnapshotResult result;
    const std::string model = SnapshotModelCode(identity);
    const std::string device = SafeSerial(serial);
    const std::string base = Format(when, "%Y%m%d-%H%M%S", true) + "-" + model + "-" + device;
    std::uint64_t order = 1;
    for (const SnapshotInfo& info : DeviceSnapshots(folder, identity, serial))
        order = std::max(order, info.order + 1);
    result.path = folder / (base + std::string(kExtension));

    std::vector<std::uint8_t> bytes;
    if (const dfuse::Error error = dfuse::SerializeDfuFile(MakeSettingsFile(identity, logoArea, paramArea), bytes)) {
        result.error = Fill(Tr("Snapshots", "cannot write the snapshot %1: %2"), {result.path.string(), error.message});
        return result;
    }
    std::string why;
    const auto temporary =
        dfuse::WriteTemporaryFile(folder, base, bytes, 0600, true, why); // no listing reads dot names
    if (!temporary) {
        result.error = Fill(Tr("Snapshots", "cannot write the snapshot %1: %2"), {result.path.string(), why});
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
        result.error = Fill(Tr("Snapshots", "cannot write the snapshot %1: %2"),
                            {result.path.string(), err == EEXIST ? Tr("Snapshots", "every name of that second is taken")
                                                                 : std::string(std::strerror(err))});
        return result;
    }

    // The note: when, in which order and before what. Without it the snapshot is still whole, only older
    // than any with a note.
    const std::string note = "taken=" + std::to_string(static_cast<long long>(when)) +
                             "\norder=" + std::to_string(order) + "\nbefore=" + NoteValue(before) +
                             "\nserial=" + NoteValue(serial) + "\n";
    if (const auto written = dfuse::WriteTemporaryFile(
            folder, base, std::span(reinterpret_cast<const std::uint8_t*>(note.data()), note.size()), 0600, true,
            why)) {
        if (::rename(written->c_str(), NotePath(result.path).c_str()) != 0)
            ::unlink(written->c_str());
    }

    std::vector<SnapshotInfo> mine = DeviceSnapshots(folder, identity, serial);
    std::erase_if(mine, [&](const SnapshotInfo& info) { return info.path == result.path; });
    std::error_code code;
    for (std::size_t i = kSnapshotsKept - 1; i < mine.size(); ++i) {
        std::filesystem::remove(mine[i].path, code);
        std::filesystem::remove(NotePath(mine[i].path), code);
    }
    return result;
}

SnapshotAreas ReadSnapshot(const std::filesystem::path& path, const CDeviceIdentity& identity)
{
    SnapshotAreas areas;
    const dfuse::ParseResult parsed = dfuse::ReadDfuFile(path, true, dfuse::kMaxSettingsFileSize);
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
        areas.error =
            Fill(Tr("Snapshots", "%1 does not hold both areas of this device's model whole"), {path.string()});
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

dfuse::SnapshotRequest MakeSnapshotRequest(const CDeviceIdentity& identity, std::string serial, std::string before)
{
    dfuse::SnapshotRequest request;
    request.areas = {{identity.m_dwLogoAddress, identity.m_dwLogoSize},
                     {identity.m_dwParamAddress, identity.m_dwParamSize}};
    request.save = [identity, serial = std::move(serial), before = std::move(before)](
                       const std::vector<std::vector<std::uint8_t>>& bytes, std::string& text) {
        const auto folder = SnapshotFolder(text);
        if (!folder) {
            return false;
        }
        if (bytes.size() != 2) {
            text = Tr("Snapshots", "the snapshot did not get both areas");
            return false;
        }
        const SnapshotResult saved =
            SaveSnapshot(*folder, identity, serial, bytes[0], bytes[1], std::time(nullptr), before);
        text = saved.error.empty() ? saved.path.string() : saved.error;
        return saved.error.empty();
    };
    return request;
}

} // namespace nemora::settings
