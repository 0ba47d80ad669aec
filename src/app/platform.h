#pragma once

#include "device/driver_install.h"

#include <QString>

#include <functional>
#include <optional>

// The few places where the console asks the operating system directly.
namespace nemora::app::platform {

// The per-user workspace folder (…/Nemora), NEMORA_WORKSPACE_DIR when set. Not created here.
QString WorkspaceFolder();

// Where the single-instance lock lives.
QString RuntimeFolder();

enum class LockKey { Caps, Num, Scroll };
// The state of a lock key, or nothing when the system does not tell.
std::optional<bool> LockKeyState(LockKey key);

// Opens a document with the desktop's default application. Returns a value of 32 or more on success
// and the shell's failure numbers otherwise: 2 file not found, 3 path not found, 5 access denied,
// 31 no application for it.
int OpenDocument(const QString& path);

// Starts a program without waiting for it. Same numbers as OpenDocument: 32 or more on success, 2 file not
// found, 3 path not found, 5 access denied (not executable), 31 could not be started.
int StartProgram(const QString& path);

// Starts a program and watches it: when it ends, onEnd gets its exit status and output, later, from the
// event loop (the program's standard input is empty). Returns like StartProgram; onEnd is called only
// when the program started.
int RunProgram(const QString& path, std::function<void(const nemora::device::InstallerExit&)> onEnd);

// The installation's own folder for programs the console starts (libexec/nemora), found from the
// executable's folder, so that a moved installation finds its own. It need not exist.
QString InstalledProgramFolder();

struct SystemVersion {
    unsigned major = 0;
    unsigned minor = 0;
};
// The running system's version: the kernel's major and minor numbers on Linux.
SystemVersion GetSystemVersion();
// True when the operating system is 64-bit (whatever this build is).
bool IsSystem64Bit();

} // namespace nemora::app::platform
