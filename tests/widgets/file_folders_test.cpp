// Each file dialog opens where the user last chose a file in it, while that folder is there.

#include "widgets/file_folders.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using nemora::widgets::FileDialogKind;
using nemora::widgets::KeepFolder;
using nemora::widgets::StartFolder;

TEST(FileFolders, EachDialogRemembersItsOwnFolderUntilItIsGone)
{
    EXPECT_EQ(StartFolder(FileDialogKind::Firmware), QDir::homePath());

    QTemporaryDir firmware, pictures;
    KeepFolder(FileDialogKind::Firmware, firmware.filePath("demo.vek"));
    KeepFolder(FileDialogKind::PictureImport, pictures.filePath("logo.png"));
    EXPECT_EQ(StartFolder(FileDialogKind::Firmware), firmware.path());
    EXPECT_EQ(StartFolder(FileDialogKind::PictureImport), pictures.path());
    EXPECT_EQ(StartFolder(FileDialogKind::PictureExport), QDir::homePath()); // the others keep their own

    const QString gone = pictures.path();
    pictures.remove();
    EXPECT_EQ(StartFolder(FileDialogKind::PictureImport), QDir::homePath()) << gone.toStdString();
}

} // namespace
