// The "Display" sub-page: the rows, the restore questions, the image sets that follow the device, and
// the edit panel over one screen image, driven by real clicks.

#include "device/device_identity.h"
#include "modal_answerer.h"
#include "qt_test_util.h"
#include "screens/default_sets.h"
#include "screens/log_edit_panel.h"
#include "screens/page_custom_display.h"
#include "widgets/message_box_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using nemora::MonoImage;
namespace mb = nemora::widgets;

CDeviceIdentity ModelIdentity(std::uint16_t wModelId)
{
    CDeviceIdentity identity;
    identity.SetIds(0x0483, 0xDF11, static_cast<std::uint16_t>(wModelId << 6));
    return identity;
}

struct Display : testing::Test {
    CPageCustomDisplay page;
    void SetUp() override { page.OnInitDialog(); }
    MonoImage Asset(int nSet, int nScreen)
    {
        return *LoadDefaultAsset(GetDefaultImageSet(nSet).assets[static_cast<std::size_t>(nScreen - 1)]);
    }
};

TEST_F(Display, RowsAreLaidOutFromThePreviewSize)
{
    for (auto [model, w, h] : {std::tuple{1, 128, 32}, std::tuple{15, 64, 32}, std::tuple{12, 96, 96}}) {
        page.SetDeviceIdentity(ModelIdentity(static_cast<std::uint16_t>(model)));
        int top = CPageCustomDisplay::kAnchorTop;
        for (int i = 0; i < page.GetScreenCount(); ++i) {
            const QRect preview = page.Preview(i)->geometry();
            EXPECT_EQ(preview, QRect(CPageCustomDisplay::kAnchorLeft, top, w + 4, h + 4)) << model << " row " << i;
            const int mid = (top + top + h + 4) / 2;
            EXPECT_EQ(page.RowLabel(i)->geometry(), QRect(50, mid, 200, 25));
            EXPECT_EQ(page.RowLabel(i)->text(), CPageCustomDisplay::RowLabelText(i + 1));
            const QRect edit = page.EditButton(i)->geometry();
            EXPECT_EQ(edit.topLeft(), QPoint(preview.right() + 1 + 40, mid));
            EXPECT_EQ(page.DefaultButton(i)->geometry().topLeft(), QPoint(edit.right() + 1 + 20, mid));
            top += h + 4 + 20;
        }
    }
    EXPECT_EQ(page.RowLabel(10)->text(), "11. Warning for low battery");
    EXPECT_EQ(page.RowLabel(0)->font().pointSize(), 10);
}

TEST_F(Display, ASetFollowsTheDeviceFamilyAndTheSameFamilyKeepsTheEdits)
{
    EXPECT_EQ(page.CurrentSet(), 1);
    MonoImage& screen3 = *page.GetScreenImage(2);
    screen3.SetLit(1, 1, !screen3.IsLit(1, 1));
    const MonoImage edited = screen3;
    page.SetDeviceIdentity(ModelIdentity(1)); // another device of set 1
    EXPECT_EQ(*page.GetScreenImage(2), edited);

    page.SetDeviceIdentity(ModelIdentity(14)); // set 2: only screen 1 differs, but all twelve reload
    EXPECT_EQ(page.CurrentSet(), 2);
    EXPECT_EQ(*page.GetScreenImage(2), Asset(2, 3));
    EXPECT_EQ(*page.GetScreenImage(0), Asset(2, 1));

    page.SetDeviceIdentity(ModelIdentity(15)); // set 5, 64 x 32, screens 9 and 10 one picture
    EXPECT_EQ(page.GetScreenImage(0)->Width(), 64);
    EXPECT_EQ(page.Preview(0)->size(), QSize(68, 36));
    EXPECT_EQ(*page.GetScreenImage(8), *page.GetScreenImage(9));

    page.GetScreenImage(4)->Fill(true);
    for (int outside : {0, 13, -1})
        page.RestoreDefaultScreen(outside);
    EXPECT_EQ(page.GetScreenImage(-1), nullptr);
    EXPECT_EQ(page.GetScreenImage(12), nullptr);
    EXPECT_NE(*page.GetScreenImage(4), Asset(5, 5));
    page.ResetAllScreens();
    EXPECT_EQ(*page.GetScreenImage(4), Asset(5, 5));
}

// "Default" of a row asks with eight blanks and the screen's own name (rows 11 and 12 swapped).
class DisplayRestore : public Display, public testing::WithParamInterface<std::pair<int, const char*>> {};

TEST_P(DisplayRestore, NoKeepsTheImageYesRestoresIt)
{
    const auto [screen, name] = GetParam();
    MonoImage& image = *page.GetScreenImage(screen - 1);
    image.Fill(true);
    const MonoImage edited = image;
    {
        ModalAnswerer no(mb::kIdNo);
        QTest::mouseClick(page.DefaultButton(screen - 1), Qt::LeftButton);
        ASSERT_EQ(no.texts.size(), 1);
        EXPECT_EQ(no.texts[0], QString::fromUtf8("Are you sure you will recover the data to the default value, which "
                                                 "will discard the changes you have make!        【") +
                                   QString::fromUtf8(name) + QString::fromUtf8("】"));
    }
    EXPECT_EQ(image, edited);
    ModalAnswerer yes(mb::kIdYes);
    QTest::mouseClick(page.DefaultButton(screen - 1), Qt::LeftButton);
    EXPECT_EQ(image, Asset(1, screen));
}

INSTANTIATE_TEST_SUITE_P(Rows, DisplayRestore,
                         testing::Values(std::pair{1, "01. Logo for power on"},
                                         std::pair{11, "11. Warning for low power"},
                                         std::pair{12, "12. Warning for low battery"}),
                         [](const auto& param) { return "Screen" + std::to_string(param.param.first); });

TEST_F(Display, EditOpensThePanelOnTheRowsImageAndTakesWhatItSaves)
{
    const MonoImage before = *page.GetScreenImage(6);
    bool opened = false;
    OnNextModal([&](QWidget* modal) {
        auto* panel = qobject_cast<CLogEditPanel*>(modal);
        ASSERT_NE(panel, nullptr);
        opened = true;
        panel->UserCharCheck()->click(); // text over the image
        QTest::mouseClick(panel->Button("OK"), Qt::LeftButton);
    });
    QTest::mouseClick(page.EditButton(6), Qt::LeftButton);
    EXPECT_TRUE(opened);
    EXPECT_NE(*page.GetScreenImage(6), before);
    EXPECT_EQ(page.GetScreenImage(6)->Width(), 128);
    EXPECT_EQ(*page.GetScreenImage(5), Asset(1, 6));
}

} // namespace
