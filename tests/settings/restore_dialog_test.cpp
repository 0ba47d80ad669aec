// "Restore Settings": the list holds the model's snapshots, newest first, with their first screen.

#include "modal_answerer.h"
#include "settings/restore_dialog.h"
#include "settings/snapshots.h"
#include "widgets/message_box_model.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

TEST(RestoreDialog, ListsTheModelsSnapshotsNewestFirstAndHandsBackTheChosenOne)
{
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    CDeviceIdentity k01, k12;
    k01.SetIds(0x0483, 0xDF11, 0x004C);
    k12.SetIds(0x0483, 0xDF11, 0x0300);
    std::vector<std::uint8_t> logo(k01.m_dwLogoSize, 0x00), param(k01.m_dwParamSize, 0xFF);
    logo[0] = 0x01; // pixel (0, 0) of screen 1 lit
    const auto older = nemora::settings::SaveSnapshot(folder, k01, "A1", logo, param, 1700000000);
    const auto newer =
        nemora::settings::SaveSnapshot(folder, k01, "A1", logo, param, 1700000100, "Write To Device (Power Line)");
    nemora::settings::SaveSnapshot(folder, k12, "B2", std::vector<std::uint8_t>(k12.m_dwLogoSize),
                                   std::vector<std::uint8_t>(k12.m_dwParamSize), 1700000200);
    ASSERT_TRUE(older.error.empty() && newer.error.empty()) << older.error << newer.error;

    nemora::settings::RestoreSnapshotDialog dialog(nullptr, k01, folder);
    ASSERT_EQ(dialog.List()->topLevelItemCount(), 2); // the other model's is not offered
    EXPECT_EQ(dialog.List()->topLevelItem(0)->text(2), "A1");
    EXPECT_EQ(dialog.List()->topLevelItem(0)->text(3), "Write To Device (Power Line)");
    EXPECT_FALSE(dialog.List()->topLevelItem(0)->icon(0).isNull());
    ASSERT_FALSE(dialog.Preview()->pixmap().isNull());
    EXPECT_EQ(dialog.Preview()->pixmap().toImage().pixelColor(0, 0), QColor(Qt::black));

    ModalAnswerer answers(nemora::widgets::kIdYes);
    dialog.List()->topLevelItem(1)->setSelected(true);
    dialog.List()->topLevelItem(0)->setSelected(false);
    dialog.RestoreButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ChosenSnapshot().toStdString(), older.path.string());
    EXPECT_EQ(answers.texts.size(), 1);
}

} // namespace
