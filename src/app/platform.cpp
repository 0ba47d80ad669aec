#include "app/platform.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
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

} // namespace nemora::app::platform
