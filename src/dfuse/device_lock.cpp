#include "dfuse/device_lock.h"

#include "dfuse/dfu_file.h"
#include "i18n/translate.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <initializer_list>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace nemora::dfuse {
namespace {

constexpr std::chrono::milliseconds kPollInterval{50};
constexpr std::size_t kMaxCleanKey = 80;    // the readable part of a key; the hash keeps longer ones apart
constexpr std::size_t kMaxKeyLength = 200;  // well inside a file name's 255 bytes with ".lock"
constexpr std::size_t kMaxProgramName = 64; // what a busy message shows of the holder's name
constexpr const char* kRemedy = "remove it, or point NEMORA_LOCK_DIR to a folder of your own";

using i18n::Tr;

bool IsKeyChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '_' ||
           c == '-';
}

bool IsLockKey(const std::string& key)
{
    return !key.empty() && key.size() <= kMaxKeyLength && key != "." && key != ".." &&
           std::all_of(key.begin(), key.end(), IsKeyChar);
}

std::uint32_t Fnv1a(std::string_view text)
{
    std::uint32_t hash = 2166136261u;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

// Printable text only, so that a name read back from a file cannot garble a message.
std::string Printable(std::string_view text)
{
    std::string out;
    for (char c : text.substr(0, std::min(text.size(), kMaxProgramName))) {
        out.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c);
    }
    return out;
}

std::string ProgramName()
{
#if defined(__GLIBC__)
    if (program_invocation_short_name != nullptr && program_invocation_short_name[0] != '\0') {
        return Printable(program_invocation_short_name);
    }
#endif
    std::string comm;
    std::getline(std::ifstream("/proc/self/comm"), comm);
    return comm.empty() ? std::string("unknown") : Printable(comm);
}

// The lock file's line, rewritten in place: a reader sees the old line or the new one, never an empty file.
void WriteHolderLine(int fd)
{
    const std::string line = std::to_string(::getpid()) + " " + ProgramName() + "\n";
    if (::pwrite(fd, line.data(), line.size(), 0) != static_cast<ssize_t>(line.size()) ||
        ::ftruncate(fd, static_cast<off_t>(line.size())) != 0) {
        // The lock is held all the same; only another program's busy message loses the name.
    }
}

LockHolder ReadHolder(int fd)
{
    char text[256];
    const ssize_t n = ::pread(fd, text, sizeof text, 0);
    if (n <= 0) {
        return {};
    }
    std::string_view line(text, static_cast<std::size_t>(n));
    line = line.substr(0, line.find('\n'));
    const std::size_t space = line.find(' ');
    const std::string_view pid = line.substr(0, space);
    if (pid.empty() || pid.size() > 9 ||
        !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return {};
    }
    LockHolder holder;
    holder.pid = std::strtol(std::string(pid).c_str(), nullptr, 10);
    if (holder.pid <= 0) {
        return {};
    }
    if (space != std::string_view::npos) {
        holder.program = Printable(line.substr(space + 1));
    }
    return holder;
}

// The locks this process holds: one open file, carrying the flock, per key, and how many DeviceLocks share it.
struct Registry {
    struct Entry {
        int fd = -1;
        long count = 0;
    };
    std::mutex mutex;
    long pid = 0;
    std::map<std::string, Entry> held;

    // Called with the mutex held. A child forked from a holder inherits the parent's table and its open
    // files; those locks stay the parent's, so the child closes its copies without unlocking them.
    void ForgetInherited()
    {
        const long self = ::getpid();
        if (pid == self) {
            return;
        }
        for (const auto& entry : held) {
            ::close(entry.second.fd);
        }
        held.clear();
        pid = self;
    }
    // Called with the mutex held: another share of a key this process holds, if it holds it.
    bool Share(const std::string& key)
    {
        ForgetInherited();
        const auto it = held.find(key);
        if (it == held.end()) {
            return false;
        }
        ++it->second.count;
        return true;
    }
};

Registry& Locks()
{
    static Registry registry;
    return registry;
}

} // namespace

std::chrono::milliseconds DeviceLockWait()
{
    const char* text = std::getenv("NEMORA_LOCK_WAIT_MS");
    if (text == nullptr || text[0] == '\0' || std::strlen(text) > 9 ||
        !std::all_of(text, text + std::strlen(text), [](char c) { return c >= '0' && c <= '9'; })) {
        return kDeviceLockWait;
    }
    return std::chrono::milliseconds(std::strtol(text, nullptr, 10));
}

std::optional<std::filesystem::path> LockFolder(std::string& error)
{
    std::filesystem::path folder;
    if (const char* dir = std::getenv("NEMORA_LOCK_DIR"); dir != nullptr && dir[0] != '\0') {
        folder = dir;
        if (folder.has_parent_path() && !MakePrivateFolders(folder.parent_path(), error)) {
            return std::nullopt;
        }
    } else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
        folder = std::filesystem::path(runtime) / "Nemora";
    } else {
        folder = "/tmp/Nemora-" + std::to_string(::geteuid());
    }
    if (!MakeOwnFolder(folder, "the lock folder", kRemedy, error)) {
        return std::nullopt;
    }
    return folder;
}

std::string DeviceLockKey(std::string_view serial, std::string_view devicePath)
{
    std::string raw;
    if (!serial.empty()) {
        raw = serial;
    } else {
        raw = devicePath;
        std::transform(raw.begin(), raw.end(), raw.begin(),
                       [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    }
    std::string key;
    for (char c : std::string_view(raw).substr(0, std::min(raw.size(), kMaxCleanKey))) {
        key.push_back(IsKeyChar(c) ? c : '_');
    }
    if (key.empty()) {
        key = "device";
    }
    // A serial and a path that read the same are still two devices.
    char hash[16];
    std::snprintf(hash, sizeof hash, "-%08x", Fnv1a((serial.empty() ? "path:" : "serial:") + raw));
    return key + hash;
}

DeviceLock::~DeviceLock()
{
    Release();
}

DeviceLock::DeviceLock(DeviceLock&& other) noexcept
    : m_key(std::move(other.m_key)), m_owner(other.m_owner), m_held(other.m_held)
{
    other.m_held = false;
}

DeviceLock& DeviceLock::operator=(DeviceLock&& other) noexcept
{
    if (this != &other) {
        Release();
        m_key = std::move(other.m_key);
        m_owner = other.m_owner;
        m_held = other.m_held;
        other.m_held = false;
    }
    return *this;
}

DeviceLock::Outcome DeviceLock::Acquire(const std::string& key, std::chrono::milliseconds wait, DeviceLock& lock,
                                        LockHolder& holder, std::string& error)
{
    holder = {};
    if (!IsLockKey(key)) {
        error = "\"" + key + "\" cannot name a device lock";
        return Outcome::Failed;
    }
    Registry& locks = Locks();
    DeviceLock taken;
    taken.m_key = key;
    taken.m_owner = ::getpid();

    bool shared = false;
    {
        const std::lock_guard<std::mutex> guard(locks.mutex);
        shared = locks.Share(key);
    }
    if (!shared) {
        const auto folder = LockFolder(error);
        if (!folder) {
            return Outcome::Failed;
        }
        const std::filesystem::path path = *folder / (key + ".lock");
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = errno == ELOOP ? "the lock file " + path.string() + " is a symbolic link: " + kRemedy
                                   : "cannot open the lock file " + path.string() + ": " + std::strerror(errno);
            return Outcome::Failed;
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            error = "the lock file " + path.string() + " is not a plain file: " + kRemedy;
            ::close(fd);
            return Outcome::Failed;
        }
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            {
                const std::lock_guard<std::mutex> guard(locks.mutex);
                // Another thread of ours may have taken it while this one waited.
                if (locks.Share(key)) {
                    ::close(fd);
                    break;
                }
                if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                    WriteHolderLine(fd);
                    locks.held[key] = Registry::Entry{fd, 1};
                    break;
                }
                if (errno != EWOULDBLOCK && errno != EINTR) {
                    error = "cannot lock " + path.string() + ": " + std::strerror(errno);
                    ::close(fd);
                    return Outcome::Failed;
                }
            }
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                holder = ReadHolder(fd);
                ::close(fd);
                return Outcome::Busy;
            }
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline - now));
        }
    }
    taken.m_held = true;
    lock = std::move(taken); // lets go of what `lock` held only now, outside the registry's mutex
    return Outcome::Taken;
}

void DeviceLock::Release()
{
    if (!m_held) {
        return;
    }
    m_held = false;
    if (m_owner != ::getpid()) {
        return; // a forked child's copy: the lock is the parent's
    }
    Registry& locks = Locks();
    const std::lock_guard<std::mutex> guard(locks.mutex);
    locks.ForgetInherited();
    const auto it = locks.held.find(m_key);
    if (it == locks.held.end() || --it->second.count > 0) {
        return;
    }
    // The file stays: unlinking it would let a program that opened it just now lock a file nobody else sees.
    ::flock(it->second.fd, LOCK_UN);
    ::close(it->second.fd);
    locks.held.erase(it);
}

namespace {

// Who holds a lock, in the words `Tr` gives: the source text for the reports, i18n::Tr for the console.
template <typename Say>
std::string HolderText(const LockHolder& holder, Say Tr)
{
    if (holder.pid <= 0) {
        return holder.program.empty() ? Tr("DeviceLock", "another program") : holder.program;
    }
    const std::string process = i18n::Fill(Tr("DeviceLock", "process %1"), {std::to_string(holder.pid)});
    return holder.program.empty() ? process : holder.program + " (" + process + ")";
}

} // namespace

std::string DescribeHolder(const LockHolder& holder)
{
    return HolderText(holder, [](const char*, const char* source) { return std::string(source); });
}

std::string BusyText(std::string_view model, std::string_view serial, std::string_view devicePath,
                     const LockHolder& holder)
{
    // Shown to the user, so in the user's language; DescribeHolder stays as the reports keep it.
    const std::string who = HolderText(holder, i18n::Tr);
    const std::string device = model.empty() ? Tr("DeviceLock", "Device") : std::string(model);
    return i18n::Fill(Tr("DeviceLock", "%1 %2 is busy: %3 is using it"),
                      {device, serial.empty() ? devicePath : serial, who});
}

} // namespace nemora::dfuse
