#pragma once

#include <QString>

class QWidget;

namespace nemora::widgets {

// The file dialogs that remember where the user last went, each on its own.
enum class FileDialogKind { Firmware, SettingsFile, PictureImport, PictureExport, Log };

// The folder a dialog of this kind opens in: the one of the file last chosen in it while that folder
// still exists, else the user's home folder.
QString StartFolder(FileDialogKind kind);

// Keeps the folder of a file the user chose in a dialog of this kind, with the other settings.
void KeepFolder(FileDialogKind kind, const QString& strChosenFile);

// The save dialog of a kind, opened at its folder with `name` proposed; the chosen path (its folder kept),
// or empty when cancelled.
QString AskSaveFile(QWidget* pParent, const QString& strCaption, FileDialogKind kind, const QString& strName,
                    const QString& strFilter);

// Writes text (UTF-8) into the file, whole or not at all. Empty on success, else why not.
QString WriteTextFile(const QString& strPath, const QString& strText);

} // namespace nemora::widgets
