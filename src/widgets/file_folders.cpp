#include "widgets/file_folders.h"

#include "widgets/message_box_dialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

namespace nemora::widgets {

namespace {

constexpr const char* kGroup = "FileDialogs";

const char* KeyOf(FileDialogKind kind)
{
    switch (kind) {
    case FileDialogKind::Firmware:
        return "Firmware";
    case FileDialogKind::SettingsFile:
        return "SettingsFile";
    case FileDialogKind::PictureImport:
        return "PictureImport";
    case FileDialogKind::PictureExport:
        return "PictureExport";
    case FileDialogKind::Log:
        return "Log";
    }
    return "Other";
}

} // namespace

QString StartFolder(FileDialogKind kind)
{
    QSettings settings(kSettingsOrganization, kSettingsApplication);
    settings.beginGroup(kGroup);
    const QString stored = settings.value(KeyOf(kind)).toString();
    if (!stored.isEmpty() && QFileInfo(stored).isDir())
        return stored;
    return QDir::homePath();
}

void KeepFolder(FileDialogKind kind, const QString& strChosenFile)
{
    if (strChosenFile.isEmpty())
        return;
    QSettings settings(kSettingsOrganization, kSettingsApplication);
    settings.beginGroup(kGroup);
    settings.setValue(KeyOf(kind), QFileInfo(strChosenFile).absolutePath());
}

QString AskSaveFile(QWidget* pParent, const QString& strCaption, FileDialogKind kind, const QString& strName,
                    const QString& strFilter)
{
    const QString path =
        QFileDialog::getSaveFileName(pParent, strCaption, StartFolder(kind) + "/" + strName, strFilter);
    KeepFolder(kind, path);
    return path;
}

QString WriteTextFile(const QString& strPath, const QString& strText)
{
    QSaveFile file(strPath);
    const QByteArray bytes = strText.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString().isEmpty() ? QCoreApplication::translate("FileFolders", "it cannot be written")
                                            : file.errorString();
    return {};
}

} // namespace nemora::widgets
