#include "report/diagnostic_report.h"

#include "device/device_identity.h"
#include "dfuse/device_lock.h"
#include "dfuse/device_operations.h"
#include "dfuse/dfuse_contract.h"
#include "settings/settings_file.h"
#include "settings/snapshots.h"
#include "version/version.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace nemora::report {

namespace fs = std::filesystem;

namespace {

// Where udev reads rules, the administrator's first.
constexpr const char* kRuleFolders[] = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d",
                                        "/lib/udev/rules.d"};
constexpr const char* kRuleName = "70-nemora.rules";
constexpr std::uintmax_t kMaxRuleFile = 256 * 1024;

std::string Hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string ReadSmallFile(const fs::path& path, std::uintmax_t limit = kMaxRuleFile)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) > limit)
        return {};
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string SystemName()
{
    std::istringstream release(ReadSmallFile("/etc/os-release"));
    std::string line;
    while (std::getline(release, line)) {
        if (line.starts_with("PRETTY_NAME=")) {
            std::string name = line.substr(12);
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
                name = name.substr(1, name.size() - 2);
            return name;
        }
    }
    return "unknown";
}

std::string KernelName()
{
    utsname name{};
    if (uname(&name) != 0)
        return "unknown";
    return std::string(name.sysname) + " " + name.release + " (" + name.machine + ")";
}

std::string SessionType()
{
    if (const char* type = std::getenv("XDG_SESSION_TYPE"); type && *type)
        return type;
    if (std::getenv("WAYLAND_DISPLAY"))
        return "wayland";
    if (std::getenv("DISPLAY"))
        return "x11";
    return "none (no desktop session)";
}

// A rule line that names both ids (udev writes them in lower case; either case is taken).
bool NamesIds(const std::string& line, std::uint16_t vid, std::uint16_t pid)
{
    const std::string lower = Lower(line);
    return lower.find("idvendor}==\"" + Hex4(vid) + "\"") != std::string::npos &&
           lower.find("idproduct}==\"" + Hex4(pid) + "\"") != std::string::npos;
}

// The rule file that gives this VID and PID to the seat's user, or empty.
std::string UaccessRule(std::uint16_t vid, std::uint16_t pid)
{
    for (const char* folder : kRuleFolders) {
        std::error_code ec;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
            if (entry.path().extension() != ".rules")
                continue;
            std::istringstream rules(ReadSmallFile(entry.path()));
            std::string line;
            while (std::getline(rules, line)) {
                if (!line.starts_with("#") && NamesIds(line, vid, pid) && line.find("uaccess") != std::string::npos)
                    return entry.path().string();
            }
        }
    }
    return {};
}

std::string RulePath()
{
    for (const char* folder : kRuleFolders) {
        std::error_code ec;
        const fs::path path = fs::path(folder) / kRuleName;
        if (fs::is_regular_file(path, ec))
            return path.string();
    }
    return {};
}

std::string OwnerOf(const struct stat& st)
{
    const passwd* user = getpwuid(st.st_uid);
    const group* grp = getgrgid(st.st_gid);
    return (user ? std::string(user->pw_name) : std::to_string(st.st_uid)) + ":" +
           (grp ? std::string(grp->gr_name) : std::to_string(st.st_gid));
}

// The device node of a device at a port, from sysfs.
void FindNode(const std::string& port, DeviceAccess& access)
{
    if (port.empty())
        return;
    const fs::path sys = fs::path("/sys/bus/usb/devices") / port;
    const std::string bus = ReadSmallFile(sys / "busnum", 64), dev = ReadSmallFile(sys / "devnum", 64);
    if (bus.empty() || dev.empty())
        return;
    char node[64];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", std::atoi(bus.c_str()), std::atoi(dev.c_str()));
    access.node = node;
    struct stat st {};
    if (stat(node, &st) == 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        access.nodeMode = mode;
        access.nodeOwner = OwnerOf(st);
    }
}

std::string SectorLine(const dfuse::MappingTarget& target)
{
    std::string line = "alt " + std::to_string(target.bAlternate) + " \"" + target.szName + "\":";
    for (std::size_t i = 0; i < target.sectors.size();) {
        const dfuse::MappingSector& first = target.sectors[i];
        std::size_t n = 1;
        while (i + n < target.sectors.size() && target.sectors[i + n].dwSectorSize == first.dwSectorSize &&
               target.sectors[i + n].bSectorType == first.bSectorType &&
               target.sectors[i + n].dwStartAddress == target.sectors[i + n - 1].End())
            ++n;
        char text[160];
        const std::uint32_t size = first.dwSectorSize;
        std::snprintf(text, sizeof text, "%s 0x%08X, %zu x %u %s", i ? ";" : "", unsigned{first.dwStartAddress}, n,
                      size % 1024 == 0 ? size / 1024 : size, size % 1024 == 0 ? "KiB" : "bytes");
        line += text;
        line += std::string(first.IsReadable() ? " readable" : "") + (first.IsErasable() ? " erasable" : "") +
                (first.IsWritable() ? " writable" : "");
        i += n;
    }
    return line;
}

const char* LinkProblem(dfuse::LinkOutcome outcome)
{
    switch (outcome) {
    case dfuse::LinkOutcome::Ok:
        return "";
    case dfuse::LinkOutcome::NotOpened:
        return "it cannot be opened";
    case dfuse::LinkOutcome::NoDeviceDescriptor:
        return "it gives no device descriptor";
    case dfuse::LinkOutcome::NoDfuDescriptor:
        return "it gives no DFU functional descriptor";
    case dfuse::LinkOutcome::BadVersion:
        return "its DFU version is not DfuSe's (0x011A)";
    case dfuse::LinkOutcome::NoVersion:
        return "its DFU functional descriptor gives no DFU version";
    case dfuse::LinkOutcome::NoMapping:
        return "its memory map cannot be decoded";
    }
    return "unknown";
}

void ReadDevice(usb::Transport& transport, dfuse::IDfuseLibrary& library, const ReportOptions& options, bool simulated,
                DeviceFacts& d)
{
    d.port = usb::LocationOfPath(d.info.path);
    const CatalogueNames names = NamesOf(d.info.vid, d.info.pid, d.info.bcdDevice);
    d.product = names.product;
    d.model = names.model;
    d.firmware = names.firmware;

    if (!simulated)
        FindNode(d.port, d.access);
    d.access.uaccessRule = UaccessRule(d.info.vid, d.info.pid);
    d.access.uaccess = !d.access.uaccessRule.empty();

    if (options.busy && options.busy(d.info.path)) {
        d.access.canOpen = true;
        d.linkProblem = "a transfer of this program runs on it: not opened for the report";
        return;
    }
    // Another program writing to it keeps its lock: the report waits for nobody and sends nothing then.
    dfuse::DeviceLock lock;
    dfuse::LockHolder holder;
    std::string error;
    if (dfuse::DeviceLock::Acquire(dfuse::DeviceLockKey(d.info.serial, d.info.path), std::chrono::milliseconds(0), lock,
                                   holder, error) == dfuse::DeviceLock::Outcome::Busy) {
        d.access.canOpen = true;
        d.linkProblem = dfuse::DescribeHolder(holder) + " is using it: not opened for the report";
        return;
    }
    std::unique_ptr<usb::DeviceHandle> handle;
    const usb::Status opened = transport.Open(d.info.path, handle);
    handle.reset();
    d.access.canOpen = opened == usb::Status::Ok;
    if (!d.access.canOpen) {
        d.access.reason = opened == usb::Status::Access ? "permission denied: this user may not open the device"
                                                        : std::string("the transport says ") + usb::StatusName(opened);
        d.linkProblem = "it cannot be opened";
        return;
    }
    dfuse::DeviceLink link;
    dfuse::LinkDescriptors descriptors;
    const dfuse::LinkOutcome outcome = library.Operations().OpenLink(d.info.path, link, descriptors);
    d.linkProblem = LinkProblem(outcome);
    if (outcome != dfuse::LinkOutcome::NoDfuDescriptor && outcome != dfuse::LinkOutcome::NotOpened &&
        outcome != dfuse::LinkOutcome::NoDeviceDescriptor) {
        const auto& f = descriptors.dfu;
        d.dfu =
            DfuFunctional{f[2], static_cast<std::uint16_t>(f[3] | f[4] << 8),
                          static_cast<std::uint16_t>(f[5] | f[6] << 8), static_cast<std::uint16_t>(f[7] | f[8] << 8)};
    }
    for (const dfuse::MappingTarget& target : link.mapping)
        d.memoryMap.push_back(SectorLine(target));
    d.readProtected = link.readProtected;
}

FolderFacts Folder(std::string what, const fs::path& path)
{
    FolderFacts facts;
    facts.what = std::move(what);
    facts.path = path.string();
    struct stat st {};
    facts.exists = lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    facts.isPrivate = facts.exists && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
    return facts;
}

fs::path WorkspacePath()
{
    if (const char* dir = std::getenv("NEMORA_WORKSPACE_DIR"); dir && *dir)
        return dir;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
        return fs::path(data) / "Nemora";
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : "") / ".local" / "share" / "Nemora";
}

void Replace(std::string& text, const std::string& from, const std::string& to)
{
    if (from.empty() || from == to)
        return;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

std::string ShownSerial(std::string_view serial, bool includeSerials)
{
    if (serial.empty())
        return "(none)";
    if (includeSerials || serial.size() <= 4)
        return std::string(serial);
    return "\u2026" + std::string(serial.substr(serial.size() - 4));
}

// A path under the home folder that is none of the program's own folders keeps only its file name: the
// report names no folder of the user's but the program's.
std::string HidePrivatePaths(const Report& report, std::string text)
{
    const char* home = std::getenv("HOME");
    if (!home || std::string_view(home).size() < 2)
        return text;
    const std::string prefix = std::string(home) + "/";
    for (std::size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) {
        std::size_t end = at;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) && text[end] != '"' &&
               text[end] != '\'' && text[end] != ')' && text[end] != ',')
            ++end;
        const std::string path = text.substr(at, end - at);
        const bool own = std::any_of(report.folders.begin(), report.folders.end(), [&](const FolderFacts& f) {
            return !f.path.empty() && (path == f.path || path.starts_with(f.path + "/"));
        });
        if (own)
            continue;
        const std::string shown = "\u2026/" + fs::path(path).filename().string();
        text.replace(at, path.size(), shown);
    }
    return text;
}

std::string Redact(const Report& report, std::string text, bool includeSerials)
{
    text = HidePrivatePaths(report, std::move(text));
    if (includeSerials)
        return text;
    std::vector<std::string> serials;
    for (const DeviceFacts& d : report.devices)
        serials.push_back(d.info.serial);
    for (const dfuse::OperationOutcome& o : report.outcomes)
        serials.push_back(o.serial);
    for (const FolderFacts& f : report.folders)
        for (const SnapshotCount& c : f.snapshots)
            serials.push_back(c.serial);
    // Longest first, so that a serial inside another is not cut first.
    std::sort(serials.begin(), serials.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const std::string& serial : serials) {
        if (serial.size() > 4)
            Replace(text, serial, ShownSerial(serial, false));
    }
    return text;
}

Report CollectReport(usb::Transport& transport, dfuse::IDfuseLibrary& library, const ReportOptions& options)
{
    Report r;
    r.program = options.program;
    r.programVersion = std::string(version::ProjectVersion());
    r.qtVersion = options.qtVersion;
    r.libusbVersion = version::LibusbVersion();
    r.system = SystemName();
    r.kernel = KernelName();
    r.session = SessionType();
    r.root = geteuid() == 0;
    r.simulated = std::getenv("NEMORA_SIM") != nullptr;
    r.logLines = options.logLines;

    std::vector<usb::DeviceInfo> listed;
    if (const usb::Status status = transport.Enumerate(listed); status != usb::Status::Ok)
        r.listProblem = std::string("the devices cannot be listed (") + usb::StatusName(status) + ")";
    r.rulePath = RulePath();
    r.ruleInstalled = !r.rulePath.empty();
    const std::string rule = r.ruleInstalled ? ReadSmallFile(r.rulePath) : std::string();
    for (const usb::DeviceInfo& info : listed) {
        DeviceFacts d;
        d.info = info;
        ReadDevice(transport, library, options, r.simulated, d);
        std::istringstream lines(rule);
        for (std::string line; std::getline(lines, line);)
            d.ruleNamesDevice = d.ruleNamesDevice || (!line.starts_with("#") && NamesIds(line, info.vid, info.pid));
        r.devices.push_back(std::move(d));
    }

    std::string error;
    const std::size_t workspaceAt = r.folders.size();
    if (const auto transfer = settings::TransferFolder(error)) {
        r.folders.push_back(Folder("transfer", *transfer));
        r.outcomes = dfuse::ReadOutcomes(*transfer);
    }
    if (const auto snapshots = settings::SnapshotFolder(error)) {
        FolderFacts facts = Folder("snapshots", *snapshots);
        std::map<std::pair<std::string, std::string>, std::size_t> counts;
        for (const settings::SnapshotInfo& s : settings::ListSnapshots(*snapshots))
            ++counts[{s.modelCode, s.rawSerial.empty() ? s.serial : s.rawSerial}];
        for (const auto& [key, count] : counts)
            facts.snapshots.push_back({key.first, key.second, count});
        r.folders.push_back(std::move(facts));
    }
    // After the others: the snapshot folder lies in it.
    r.folders.insert(r.folders.begin() + static_cast<std::ptrdiff_t>(workspaceAt),
                     Folder("workspace", WorkspacePath()));

    // The newest outcome of each attached device speaks for its link.
    for (const DeviceFacts& d : r.devices) {
        for (auto o = r.outcomes.rbegin(); o != r.outcomes.rend(); ++o) {
            if (o->serial == d.info.serial && (!o->serial.empty() || o->port == d.port)) {
                if (std::string advice = dfuse::HubAdvice(*o); !advice.empty())
                    r.advice.push_back(d.model + ": " + advice);
                break;
            }
        }
    }
    return r;
}

std::string ReportText(const Report& r, bool includeSerials)
{
    std::ostringstream out;
    out << "Nemora diagnostic report\n\n";
    out << "Program: " << r.program << " " << r.programVersion << "\n";
    if (!r.qtVersion.empty())
        out << "Qt: " << r.qtVersion << "\n";
    out << "libusb: " << r.libusbVersion << "\n";
    out << "System: " << r.system << "; " << r.kernel << "\n";
    out << "Desktop session: " << r.session << "\n";
    out << "Running as root: " << (r.root ? "yes" : "no") << "\n";
    out << "Virtual devices: "
        << (r.simulated ? "in use (NEMORA_SIM is set): the devices below are simulated, not real hardware"
                        : "not in use")
        << "\n\n";

    out << "Devices: " << r.devices.size() << (r.listProblem.empty() ? "" : " (" + r.listProblem + ")") << "\n";
    for (std::size_t i = 0; i < r.devices.size(); ++i) {
        const DeviceFacts& d = r.devices[i];
        char ids[96];
        std::snprintf(ids, sizeof ids, "VID 0x%04X, PID 0x%04X, bcdDevice 0x%04X", unsigned{d.info.vid},
                      unsigned{d.info.pid}, unsigned{d.info.bcdDevice});
        out << "  " << i + 1 << ". " << d.model << " in "
            << (d.info.mode == usb::InterfaceMode::Dfu ? "update" : "application") << " mode\n";
        out << "     Path: " << d.info.path << "\n";
        out << "     Port: " << (d.port.empty() ? "unknown" : d.port)
            << (d.port.find('.') != std::string::npos ? " (behind a hub)" : "") << "\n";
        out << "     " << ids << "\n";
        out << "     Catalogue: product \"" << d.product << "\", model \"" << d.model << "\", firmware " << d.firmware
            << "\n";
        out << "     Serial: " << ShownSerial(d.info.serial, includeSerials) << "\n";
        if (d.dfu) {
            char dfu[160];
            std::snprintf(
                dfu, sizeof dfu,
                "DFU: attributes 0x%02X (%s%s%s%s), detach timeout %u ms, transfer size %u, DFU version 0x%04X",
                unsigned{d.dfu->attributes}, d.dfu->attributes & 1 ? "download " : "",
                d.dfu->attributes & 2 ? "upload " : "", d.dfu->attributes & 4 ? "manifestation-tolerant " : "",
                d.dfu->attributes & 8 ? "will-detach" : "", unsigned{d.dfu->detachTimeout},
                unsigned{d.dfu->transferSize}, unsigned{d.dfu->dfuVersion});
            out << "     " << dfu << "\n";
        }
        if (!d.memoryMap.empty()) {
            out << "     Memory map" << (d.readProtected ? " (the flash is read-protected)" : "") << ":\n";
            for (const std::string& line : d.memoryMap)
                out << "       " << line << "\n";
        }
        if (!d.linkProblem.empty())
            out << "     Descriptors not read: " << d.linkProblem << "\n";
        if (d.access.canOpen) {
            out << "     Access: this user can open it\n";
        } else {
            out << "     Access: this user cannot open it: " << d.access.reason << "\n";
            if (!d.access.node.empty())
                out << "       Device node " << d.access.node << ", mode "
                    << (d.access.nodeMode.empty() ? "?" : d.access.nodeMode) << ", owner "
                    << (d.access.nodeOwner.empty() ? "?" : d.access.nodeOwner) << "\n";
            else
                out << "       No device node" << (r.simulated ? " (a virtual device)" : " found") << "\n";
            out << "       A uaccess rule covers it: "
                << (d.access.uaccess ? "yes (" + d.access.uaccessRule + ")"
                                     : std::string("no; 'nemora-cli install-udev-rule' installs one"))
                << "\n";
        }
        if (r.ruleInstalled)
            out << "     Nemora's udev rule names it: " << (d.ruleNamesDevice ? "yes" : "no") << "\n";
    }
    out << "\nudev rule: " << (r.ruleInstalled ? "installed at " + r.rulePath : std::string("not installed")) << "\n";

    out << "\nLast operations (oldest first): " << (r.outcomes.empty() ? "none recorded" : "") << "\n";
    for (const dfuse::OperationOutcome& o : r.outcomes) {
        out << "  " << o.when << " " << o.program << " " << o.operation << " on " << (o.model.empty() ? "?" : o.model)
            << " " << ShownSerial(o.serial, includeSerials) << (o.port.empty() ? "" : " at port " + o.port) << ": "
            << (o.ok ? "ok" : "failed");
        if (!o.ok && !o.phase.empty())
            out << " in " << o.phase << " (" << o.dfuState << ", " << o.dfuStatus << ", " << o.error << ")";
        out << " - " << o.result << "\n";
        if (o.health.requests > 0)
            out << "    link: " << dfuse::HealthText(o.health) << "\n";
    }

    out << "\nFolders:\n";
    for (const FolderFacts& f : r.folders) {
        out << "  " << f.what << ": " << f.path << " - "
            << (!f.exists     ? "missing"
                : f.isPrivate ? "private"
                              : "OPEN TO OTHER USERS")
            << "\n";
        for (const SnapshotCount& c : f.snapshots)
            out << "    " << c.model << " " << ShownSerial(c.serial, includeSerials) << ": " << c.count
                << (c.count == 1 ? " snapshot" : " snapshots") << "\n";
    }
    if (!r.advice.empty()) {
        out << "\nAdvice:\n";
        for (const std::string& line : r.advice)
            out << "  " << line << "\n";
    }
    if (!r.logLines.empty()) {
        out << "\nLog:\n";
        for (const std::string& line : r.logLines)
            out << "  " << line << "\n";
    }
    return Redact(r, out.str(), includeSerials);
}

} // namespace nemora::report
