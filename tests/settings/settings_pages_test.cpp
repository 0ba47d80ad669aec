// The parameters page and the two curve editors as real widgets, driven by real key and mouse events.

#include "modal_answerer.h"
#include "settings/page_custom_para.h"
#include "settings/page_custom_power.h"
#include "settings/page_custom_temp.h"
#include "settings/up_down_control.h"
#include "widgets/message_box_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

using nemora::widgets::kIdNo;
using nemora::widgets::kIdYes;

namespace {

const QString kQuestionStart = "Warning|Are you sure you will recover the data to the default value, which will "
                               "discard the changes you have make!";

// --- Parameters page ---

struct ParaPage : testing::Test {
    std::unique_ptr<CPageCustomPara> page = std::make_unique<CPageCustomPara>();

    void SetUp() override { page->OnInitDialog(); }
    QLineEdit* Box(int id) const { return page->Box(id); }
    QString Text(int id) const { return Box(id)->text(); }
    void Type(int id, const QString& text) const
    {
        Box(id)->selectAll();
        QTest::keyClicks(Box(id), text);
    }
    void Click(int spin, bool up) const
    {
        auto* control = page->UpDown(spin);
        QTest::mouseClick(up ? control->UpArrow() : control->DownArrow(), Qt::LeftButton);
    }
};

TEST_F(ParaPage, FirstDefaultIsSilentAndEveryLaterOneAsks)
{
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_NI), "800"); // OnInitDialog restored without a box
    EXPECT_EQ(page->SliderText()->text(), "255");
    {
        ModalAnswerer no(kIdNo, ModalAnswerer::Keep::TitleAndText);
        Type(CPageCustomPara::IDC_EDIT_TI, "42");
        page->DefaultButton()->click();
        ASSERT_EQ(no.texts.size(), 1);
        EXPECT_EQ(no.texts[0], kQuestionStart + "            【Parameter Lines user resource】");
        EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_TI), "42"); // No keeps even the typed text
    }
    ModalAnswerer yes(kIdYes, ModalAnswerer::Keep::TitleAndText);
    page->DefaultButton()->click();
    ASSERT_EQ(yes.texts.size(), 2);
    EXPECT_EQ(yes.texts[1], "Hints|【ParameterLines user resource】Has been restored to the default value!");
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_TI), "305");
}

TEST_F(ParaPage, ArrowsStopAtBothEndsAndStartFromThePageValue)
{
    page->SetNi(1000);
    Click(CPageCustomPara::IDC_SPIN_NI, true);
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_NI), "1000");
    page->SetTi(1);
    Click(CPageCustomPara::IDC_SPIN_TI, false);
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_TI), "1");

    page->SetTi(305);
    Type(CPageCustomPara::IDC_EDIT_TI, "500"); // typed, not committed
    Click(CPageCustomPara::IDC_SPIN_TI, true);
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_TI), "306");

    // Up and Down in a box act as its arrows.
    QTest::keyClick(Box(CPageCustomPara::IDC_EDIT_TI), Qt::Key_Down);
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_TI), "305");
}

TEST_F(ParaPage, HeldArrowStepsThirteenAfterTwoSecondsStillLimited)
{
    std::int64_t now = 0;
    auto* spin = page->UpDown(CPageCustomPara::IDC_SPIN_NI);
    spin->SetClock([&now] { return now; });
    page->SetNi(995);
    QTest::mousePress(spin->UpArrow(), Qt::LeftButton);
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_NI), "996");
    now = 2500; // held for two and a half seconds; the next repeat steps 13
    EXPECT_TRUE(QTest::qWaitFor([&] { return Text(CPageCustomPara::IDC_EDIT_NI) != "996"; }, 3000));
    QTest::mouseRelease(spin->UpArrow(), Qt::LeftButton);
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_NI), "1000");
}

TEST_F(ParaPage, EnterCommitsWithinTheRangeAndNeverPressesDefault)
{
    // Hosted in a dialog, whose Enter would press the focused or default button.
    QDialog host;
    page->setParent(&host);
    host.show();
    ModalAnswerer answers(kIdYes, ModalAnswerer::Keep::TitleAndText);
    Type(CPageCustomPara::IDC_EDIT_NI, "5000");
    QTest::keyClick(Box(CPageCustomPara::IDC_EDIT_NI), Qt::Key_Return);
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_NI), "1000");
    Type(CPageCustomPara::IDC_EDIT_NI, "0");
    QTest::keyClick(Box(CPageCustomPara::IDC_EDIT_NI), Qt::Key_Enter);
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_NI), "1");

    page->DefaultButton()->setFocus();
    QTest::keyClick(page->DefaultButton(), Qt::Key_Return);
    QTest::keyClick(page.get(), Qt::Key_Enter);
    QTest::qWait(30);
    EXPECT_TRUE(answers.texts.isEmpty()) << answers.texts.join("\n").toStdString();
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_NI), "1");
    EXPECT_TRUE(host.isVisible());
    page->setParent(nullptr);
}

TEST_F(ParaPage, GettersTakeOverTypedTextAndRecordValuesShowUnchanged)
{
    Type(CPageCustomPara::IDC_EDIT_NI, "5000");
    EXPECT_EQ(page->GetNi(), 1000);
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_NI), "1000");

    page->SetTcrM1(0);
    page->SetTcrM2(1200);
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_TCR_M1), "0");
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_TCR_M2), "1200");
    EXPECT_EQ(page->GetTcrM1(), 1); // the least the field takes, never 0
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_TCR_M1), "1");
    EXPECT_EQ(page->GetTcrM2(), 1000);

    page->SetSs(1200);
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_SS), "1200");
    EXPECT_EQ(page->GetSs(), 1000); // what a write takes, shown so
    EXPECT_EQ(Text(CPageCustomPara::IDC_EDIT_SS), "1000");
    EXPECT_TRUE(Box(CPageCustomPara::IDC_EDIT_SS)->isReadOnly());
    page->SetSs(1200);
    Click(CPageCustomPara::IDC_SPIN_SS, false);
    EXPECT_EQ(page->GetSs(), 1000);
    page->SetSs(1200);
    Click(CPageCustomPara::IDC_SPIN_SS, true);
    EXPECT_EQ(page->GetSs(), 1000);

    EXPECT_FALSE(Box(CPageCustomPara::IDC_EDIT_TCR)->isVisibleTo(page.get()));
    page->SetTcr(7);
    EXPECT_EQ(page->GetTcr(), 7);
}

TEST_F(ParaPage, SliderKeepsItsRangeAndShowsItsPosition)
{
    page->SetDisplayLevel(300);
    EXPECT_EQ(page->GetDisplayLevel(), 255);
    EXPECT_EQ(page->SliderText()->text(), "255");
    page->Slider()->setFocus();
    QTest::keyClick(page->Slider(), Qt::Key_Left);
    EXPECT_EQ(page->GetDisplayLevel(), 254);
    EXPECT_EQ(page->SliderText()->text(), "254");
}

// --- Curve editors ---

// Plot 300 pixels high: x0 61, y0 31, y1 331, point spacing 53.
constexpr int kY1 = 331;
int ColumnX(int k)
{
    return 61 + 53 * k;
}

template <class Page>
struct ChartFixture : testing::Test {
    std::unique_ptr<Page> page = std::make_unique<Page>();

    void SetUp() override
    {
        page->ChartFrame()->setGeometry(0, 0, 600, 370);
        page->resize(620, 400);
        page->OnInitDialog();
    }
    void Move(int x, int y, Qt::MouseButtons buttons = Qt::NoButton, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        const QPointF pos(x, y);
        QMouseEvent move(QEvent::MouseMove, pos, page->mapToGlobal(pos), Qt::NoButton, buttons, mods);
        QApplication::sendEvent(page.get(), &move);
    }
    void Press(int x, int y) { QTest::mousePress(page.get(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y)); }
    void Key(Qt::Key key) { QTest::keyClick(page.get(), key); }
    std::string Status() const { return page->LastView().status; }
};

using PowerPage = ChartFixture<CPageCustomPower>;
using TempPage = ChartFixture<CPageCustomTEMP>;

TEST_F(PowerPage, DragSetsTheAxisValueAndTheMarkerSitsUnderThePointer)
{
    page->SetMaxPower(80);
    page->SetMinPower(5);
    const int x = ColumnX(3), y = kY1 - 150;
    Move(x, 200);
    Press(x, 200);
    Move(x, y, Qt::LeftButton);
    EXPECT_EQ(page->Points()[3], 400);
    EXPECT_EQ(page->OffscreenImage().pixelColor(x, y), QColor(0, 255, 255)); // the marker's fill
    EXPECT_EQ(Status(), "Position:( 3S, 40(W)\t\t\t\t Power Chart");
}

TEST_F(PowerPage, TheColumnFreezesWhileExactlyTheLeftButtonIsHeld)
{
    page->SetMaxPower(80);
    Move(ColumnX(3), 200);
    Press(ColumnX(3), 200);
    Move(ColumnX(6), kY1 - 150, Qt::LeftButton); // drifts sideways
    EXPECT_EQ(page->Points()[3], 400);
    EXPECT_EQ(page->Points()[6], 350);

    Move(ColumnX(6), kY1 - 300, Qt::LeftButton, Qt::ShiftModifier); // Shift: no edit, the column follows
    EXPECT_EQ(page->Points()[6], 350);
    EXPECT_EQ(page->LastView().hit, 6);
    Move(ColumnX(7), kY1 - 300, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(page->Points()[7], 350);
}

TEST_F(PowerPage, LimitsApplyAtTheNextDrawing)
{
    page->SetMaxPower(80);
    page->SetMinPower(5);
    const std::uint16_t loaded[10] = {900, 0, 355, 350, 350, 350, 350, 350, 350, 350};
    EXPECT_EQ(page->LoadPoints(loaded, 20), 20);
    EXPECT_EQ(page->Points()[0], 800);
    EXPECT_EQ(page->Points()[1], 50);
    EXPECT_EQ(page->Points()[2], 350);
    page->SetMaxPower(30); // no redraw by itself
    EXPECT_EQ(page->Points()[3], 350);
    Move(20, 100);
    EXPECT_EQ(page->Points()[3], 300);
    EXPECT_EQ(Status(), "Position:( 0S, 0(W)\t\t\t\t Power Chart");
    std::uint16_t out[10] = {};
    EXPECT_EQ(page->CopyPoints(out, 20), 20);
    EXPECT_EQ(out[3], 300);
    EXPECT_EQ(page->LoadPoints(nullptr, 20), -1);
}

TEST_F(PowerPage, ArrowKeysStepAndMoveTheHighlight)
{
    page->SetMaxPower(36);
    Move(ColumnX(2), 200);
    Key(Qt::Key_Up);
    EXPECT_EQ(page->Points()[2], 360);
    Key(Qt::Key_Up); // at the maximum
    EXPECT_EQ(page->Points()[2], 360);
    Key(Qt::Key_Right);
    EXPECT_EQ(Status(), "Position:( 3S, 35(W)\t\t\t\t Power Chart");
    Key(Qt::Key_Down);
    EXPECT_EQ(page->Points()[3], 340);
    Key(Qt::Key_Left);
    Key(Qt::Key_Left);
    Key(Qt::Key_Left);
    Key(Qt::Key_Left);
    EXPECT_EQ(page->LastView().hit, 0);

    Move(ColumnX(5), 200);
    Move(700, 200); // off the chart: keys do nothing
    Key(Qt::Key_Up);
    EXPECT_EQ(page->Points()[5], 350);
}

TEST_F(PowerPage, DefaultAsksAndRestores)
{
    page->SetMaxPower(80);
    Move(ColumnX(1), 200);
    Press(ColumnX(1), 200);
    Move(ColumnX(1), kY1 - 300, Qt::LeftButton);
    ASSERT_EQ(page->Points()[1], 800);
    ModalAnswerer yes(kIdYes, ModalAnswerer::Keep::TitleAndText);
    page->DefaultButton()->click();
    ASSERT_EQ(yes.texts.size(), 2);
    EXPECT_EQ(yes.texts[0], kQuestionStart + "        【Power Lines user resource】");
    EXPECT_EQ(yes.texts[1], "Hints|【Power Lines user resource】Has been restored to the default value!");
    EXPECT_EQ(page->Points()[1], 350);
}

TEST_F(TempPage, DragToTheTopAndBelowThePlot)
{
    Move(ColumnX(4), 200);
    Press(ColumnX(4), 200);
    Move(ColumnX(4), 31, Qt::LeftButton);
    EXPECT_EQ(page->Points()[4], 600);
    Move(ColumnX(4), kY1 + 20, Qt::LeftButton);
    EXPECT_EQ(page->Points()[4], 200);
    Move(ColumnX(4), kY1 - 150, Qt::LeftButton);
    EXPECT_EQ(page->Points()[4], 400);
    EXPECT_EQ(page->OffscreenImage().pixelColor(ColumnX(4), kY1 - 150), QColor(0, 255, 255));
}

TEST_F(TempPage, CelsiusDefaultsKeysAndStatus)
{
    page->SetLimits({.wMaxTemperature = 315, .wMinTemperature = 100, .bFahrenheit = false});
    ModalAnswerer yes(kIdYes, ModalAnswerer::Keep::TitleAndText);
    page->DefaultButton()->click();
    ASSERT_EQ(yes.texts.size(), 2);
    EXPECT_EQ(yes.texts[0], kQuestionStart + "        【Temperature Lines user resource】");
    EXPECT_EQ(yes.texts[1], "Hints|【Temperature Lines user resource】Has been restored to the default value!");
    EXPECT_EQ(page->Points()[0], 100);
    EXPECT_EQ(page->Points()[19], 100);

    Move(ColumnX(9), 200);
    Key(Qt::Key_Up);
    EXPECT_EQ(page->Points()[9], 105);
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    EXPECT_EQ(page->Points()[9], 100);
    Key(Qt::Key_Right); // no point past the last
    EXPECT_EQ(Status(), "Position:( 9S, 100\u00B0C) \t \t \t \t Temperature Chart");
}

TEST_F(TempPage, EqualLimitsDrawAndDragWithoutDividing)
{
    page->SetLimits({.wMaxTemperature = 200, .wMinTemperature = 200});
    const std::uint16_t loaded[10] = {455, 600, 100, 200, 200, 200, 200, 200, 200, 200};
    page->LoadPoints(loaded, 20);
    Move(ColumnX(2), 200);
    Press(ColumnX(2), 200);
    Move(ColumnX(2), 40, Qt::LeftButton);
    for (std::size_t k = 0; k < 10; ++k)
        EXPECT_EQ(page->Points()[k], 200) << k;
}

} // namespace
