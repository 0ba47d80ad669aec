#include "app/platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrl>

namespace nemora::app::platform {

QString WorkspaceFolder()
{
    const QByteArray overridden = qgetenv("NEMORA_WORKSPACE_DIR");
    if (!overridden.isEmpty())
        return QString::fromLocal8Bit(overridden);
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Nemora";
}

QString RuntimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder;
}

std::optional<bool> LockKeyState(LockKey key)
{
#if defined(Q_OS_LINUX)
    // Keyboard LEDs are published by the input layer as /sys/class/leds/inputN::capslock and so on.
    const char* suffix = key == LockKey::Caps ? "::capslock" : key == LockKey::Num ? "::numlock" : "::scrolllock";
    const QDir leds("/sys/class/leds");
    const QStringList entries = leds.entryList({QStringLiteral("*") + suffix}, QDir::Dirs | QDir::System);
    if (entries.isEmpty())
        return std::nullopt;
    bool on = false;
    for (const QString& entry : entries) {
        QFile brightness(leds.filePath(entry + "/brightness"));
        if (brightness.open(QIODevice::ReadOnly))
            on = on || brightness.readAll().trimmed().toInt() > 0;
    }
    return on;
#else
    (void)key;
    return std::nullopt;
#endif
}

int OpenDocument(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return info.dir().exists() ? 2 : 3;
    if (!info.isReadable())
        return 5;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath())) ? 42 : 31;
}

int StartProgram(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return info.dir().exists() ? 2 : 3;
    if (!info.isExecutable())
        return 5;
    return QProcess::startDetached(info.absoluteFilePath(), {}) ? 42 : 31;
}

int RunProgram(const QString& path, std::function<void(const nemora::device::InstallerExit&)> onEnd)
{
    const QFileInfo info(path);
    if (!info.exists())
        return info.dir().exists() ? 2 : 3;
    if (!info.isExecutable())
        return 5;
    // Not owned by any window: it deletes itself when the program ends, and the caller guards onEnd. When
    // the console quits first (the installer still waiting for the password), the installer is asked to
    // stop, then made to: nothing of it outlives the console, and its end is told to no one.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(info.absoluteFilePath());
    process->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, process, [process] {
        QObject::disconnect(process, &QProcess::finished, nullptr, nullptr);
        if (process->state() == QProcess::NotRunning)
            return;
        process->terminate();
        if (!process->waitForFinished(3000)) {
            process->kill();
            process->waitForFinished(1000);
        }
    });
    QObject::connect(process, &QProcess::finished, process,
                     [process, onEnd = std::move(onEnd)](int nExitCode, QProcess::ExitStatus status) {
                         nemora::device::InstallerExit exit;
                         exit.bCrashed = status == QProcess::CrashExit;
                         exit.nExitStatus = nExitCode;
                         exit.strOutput = process->readAllStandardOutput().toStdString();
                         exit.strErrors = process->readAllStandardError().toStdString();
                         process->deleteLater();
                         if (onEnd)
                             onEnd(exit);
                     });
    process->start();
    // Starting is quick (fork and exec); the run itself is not waited for.
    if (!process->waitForStarted(5000)) {
        delete process;
        return 31;
    }
    return 42;
}

QString InstalledProgramFolder()
{
    // NEMORA_BINDIR_TO_PROGRAMS: the install's bin folder to its libexec/nemora, e.g. "../libexec/nemora".
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + "/" + QStringLiteral(NEMORA_BINDIR_TO_PROGRAMS));
}

SystemVersion GetSystemVersion()
{
    // "6.1.0-18-amd64" and the like.
    const QStringList parts = QSysInfo::kernelVersion().split('.');
    SystemVersion version;
    if (!parts.isEmpty())
        version.major = parts[0].toUInt();
    if (parts.size() > 1)
        version.minor = QString(parts[1]).remove(QRegularExpression("[^0-9].*$")).toUInt();
    return version;
}

bool IsSystem64Bit()
{
    return QSysInfo::currentCpuArchitecture().contains("64");
}

} // namespace nemora::app::platform
