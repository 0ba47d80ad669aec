#pragma once

// One writer per device across programs: the console, nemora-cli and anything else of ours take a device's
// lock before they write to it, and a second program is told who has it instead of interleaving its
// requests with the first one's.
//
// A lock is an flock(2) on <LockFolder>/<key>.lock. The kernel drops it when its holder dies, so a lock left
// by a crashed run is simply taken over; the file stays (deleting it would race with a program about to
// lock it) and holds the holder's one line "PID PROGRAM" for the busy message. Within one process the lock is
// shared: a second Acquire of a key this process holds succeeds at once, and the lock goes with its last
// holder, so the console's two pages, or a command holding the lock across several jobs, never wait for
// themselves.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace nemora::dfuse {

// How long Acquire waits by default for another program to let go of a device.
inline constexpr std::chrono::milliseconds kDeviceLockWait{3000};

// kDeviceLockWait, or the milliseconds NEMORA_LOCK_WAIT_MS gives (a plain non-negative number; anything
// else is ignored).
std::chrono::milliseconds DeviceLockWait();

// Who holds a device's lock, as its lock file says (pid 0 and an empty program when the file does not say).
struct LockHolder {
    long pid = 0;
    std::string program;
};

// The folder of the lock files: $NEMORA_LOCK_DIR, else $XDG_RUNTIME_DIR/Nemora, else /tmp/Nemora-<uid>.
// Made with mode 0700 when missing (missing parents of $NEMORA_LOCK_DIR too). A folder that is a symbolic
// link, not a folder, or not owned by this user is refused: nothing, with `error` naming the folder and what
// to do. A folder of this user's that others may enter is tightened to 0700.
std::optional<std::filesystem::path> LockFolder(std::string& error);

// The name a device's lock goes under: its serial number when it has one, else its path upper-cased, with
// every character but [A-Za-z0-9._-] turned into '_' and a short hash of the raw text appended, so that two
// devices whose names clean to the same text still get locks of their own.
std::string DeviceLockKey(std::string_view serial, std::string_view devicePath);

// An exclusive lock on one device, held from Acquire until Release() or the destructor. Movable, not
// copyable; a moved-from lock holds nothing. Acquire and Release may be called from any thread. A process
// forked from a holder does not hold the lock: its copies release nothing.
class DeviceLock {
public:
    enum class Outcome {
        Taken,  // `lock` holds it; the lock file names this process
        Busy,   // another program held it for the whole wait; `holder` says who, as far as its file tells
        Failed, // the folder or the file cannot be made or opened, or the key is not a file name: `error` says
    };

    DeviceLock() = default;
    ~DeviceLock();
    DeviceLock(DeviceLock&& other) noexcept;
    DeviceLock& operator=(DeviceLock&& other) noexcept;
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // Takes the lock of `key` (a DeviceLockKey) into `lock`, trying every 50 ms for up to `wait` while another
    // process holds it. What `lock` held before is released once the new lock is taken; on Busy or Failed it
    // is left as it was. On Taken the file is rewritten with this process's pid and short program name.
    static Outcome Acquire(const std::string& key, std::chrono::milliseconds wait, DeviceLock& lock, LockHolder& holder,
                           std::string& error);

    bool Held() const { return m_held; }
    const std::string& Key() const { return m_key; }
    // Lets go of this share of the lock; the lock itself goes with the process's last share. Idempotent.
    void Release();

private:
    std::string m_key;
    long m_owner = 0; // the process that took it; a forked child's copy is not a share
    bool m_held = false;
};

// "<program> (process N)" for a busy message, "process N" without a program name, or "another program"
// when the holder is unknown.
std::string DescribeHolder(const LockHolder& holder);

// "<model> <serial> is busy: <holder> is using it", the device named by its path when it has no serial and
// as "Device" when its model is not known.
std::string BusyText(std::string_view model, std::string_view serial, std::string_view devicePath,
                     const LockHolder& holder);

} // namespace nemora::dfuse
