#include "widgets/dialog_units.h"
#include "widgets/message_box_dialog.h"

#include "qt_test_util.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace nemora::widgets;

TEST(MessageBoxDialog, YesNoQuestionIgnoresEscapeAndTheCloseBox)
{
    CMessageBoxDialog box(nullptr, "Close?", "Ask", 0x24);
    box.OnInitDialog();
    box.show();
    ASSERT_NE(box.Button(kIdYes), nullptr);
    ASSERT_NE(box.Button(kIdNo), nullptr);
    EXPECT_EQ(box.Button(kIdCancel), nullptr);
    EXPECT_EQ(box.Button(kIdYes)->text(), "&Yes");
    EXPECT_NE(box.IconLabel(), nullptr);
    EXPECT_FALSE(box.windowFlags() & Qt::WindowCloseButtonHint);

    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_TRUE(box.isVisible());
    box.close();
    EXPECT_TRUE(box.isVisible());

    QTest::keyClick(box.Button(kIdYes), Qt::Key_Return);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), kIdYes);
}

TEST(MessageBoxDialog, EnterAnswersTheFocusedButton)
{
    CMessageBoxDialog box(nullptr, "Close?", "Ask", 0x24);
    box.OnInitDialog();
    box.show();
    QApplication::setActiveWindow(&box);
    box.Button(kIdNo)->setFocus();
    QTest::keyClick(box.Button(kIdNo), Qt::Key_Return);
    EXPECT_EQ(box.result(), kIdNo);
}

TEST(MessageBoxDialog, CancelButtonAnswersEscapeAndCloseBox)
{
    CMessageBoxDialog esc(nullptr, "Save?", "Ask", 0x23);
    esc.OnInitDialog();
    esc.show();
    QTest::keyClick(&esc, Qt::Key_Escape);
    EXPECT_EQ(esc.result(), kIdCancel);

    CMessageBoxDialog closeBox(nullptr, "Save?", "Ask", 0x23);
    closeBox.OnInitDialog();
    closeBox.show();
    closeBox.close();
    EXPECT_FALSE(closeBox.isVisible());
    EXPECT_EQ(closeBox.result(), kIdCancel);

    CMessageBoxDialog ctrlBreak(nullptr, "Save?", "Ask", 0x21);
    ctrlBreak.OnInitDialog();
    ctrlBreak.show();
    QTest::keyClick(&ctrlBreak, Qt::Key_Pause, Qt::ControlModifier);
    EXPECT_EQ(ctrlBreak.result(), kIdCancel);
}

TEST(MessageBoxDialog, ABoxOfAHiddenWindowSitsOverTheWindowOnTheScreen)
{
    QWidget window;
    window.setGeometry(300, 200, 400, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QDialog hidden(&window); // as an engine window that was never shown
    CMessageBoxDialog box(&hidden, "Something failed.", "", 0x10);
    box.OnInitDialog();
    const QPoint centre = window.mapToGlobal(window.rect().center());
    EXPECT_LE((box.geometry().center() - centre).manhattanLength(), 2);
}

TEST(MessageBoxDialog, EmptyCaptionShowsTheApplicationName)
{
    CMessageBoxDialog box(nullptr, "Done.", "", 0x00);
    box.OnInitDialog();
    EXPECT_EQ(box.windowTitle(), "Nemora");
    box.show();
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_EQ(box.result(), kIdOk);
}

TEST(MessageBoxDialog, ScreenReadersGetTheText)
{
    CMessageBoxDialog box(nullptr, "The file is damaged.", "Warning", 0x30);
    box.OnInitDialog();
    box.show();
    QAccessibleInterface* dialog = QAccessible::queryAccessibleInterface(&box);
    ASSERT_NE(dialog, nullptr);
    QStringList names;
    for (int i = 0; i < dialog->childCount(); ++i) {
        names << dialog->child(i)->text(QAccessible::Name);
    }
    EXPECT_TRUE(names.contains("The file is damaged.")) << names.join("|").toStdString();
    EXPECT_EQ(dialog->text(QAccessible::Description), "The file is damaged.");
    box.done(kIdOk);
}

TEST(MessageBoxDialog, ButtonsShareOneSizeAndAreCentred)
{
    CMessageBoxDialog box(nullptr, "A question that is long enough to be wider than two buttons.", "Ask", 0x04);
    box.OnInitDialog();
    const DialogUnitScale du = box.DialogUnits();
    const QFontMetrics fm(box.font());
    const int expectedWidth = std::max(du.Dx(40), fm.horizontalAdvance("&Yes")) + 2 * du.Dx(4);
    const QRect yes = box.Button(kIdYes)->geometry();
    const QRect no = box.Button(kIdNo)->geometry();
    EXPECT_EQ(yes.width(), expectedWidth);
    EXPECT_EQ(no.width(), expectedWidth);
    EXPECT_EQ(no.left() - yes.right() - 1, du.Dx(4));
    const int row = 2 * expectedWidth + du.Dx(4);
    EXPECT_EQ(yes.left(), (box.width() - row) / 2);
    EXPECT_EQ(yes.top(), box.height() - du.Dy(8) - yes.height());
}

TEST(MessageBoxDialog, LongTextWrapsAtHalfTheScreenPlusOneHundred)
{
    const QString text = QString("word ").repeated(400);
    CMessageBoxDialog plain(nullptr, text, "", 0x00);
    plain.OnInitDialog();
    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    EXPECT_LE(plain.TextWidget()->width(), screenWidth / 2 + 100);
    EXPECT_GT(plain.TextWidget()->width(), screenWidth / 2 + 100 - 60);
    EXPECT_GT(plain.TextWidget()->height(), 3 * QFontMetrics(plain.font()).height());

    CMessageBoxDialog withIcon(nullptr, text, "", 0x40);
    withIcon.OnInitDialog();
    EXPECT_LE(withIcon.TextWidget()->width(),
              screenWidth / 2 + 100 - 2 * withIcon.DialogUnits().Dx(8) - withIcon.IconLabel()->width());
}

TEST(MessageBoxDialog, RememberedAnswerIsReturnedWithoutShowing)
{
    const QString text = "Remember me?";
    {
        QSettings settings("Orvane", "Nemora");
        settings.remove("MessageBoxes");
    }
    CMessageBoxDialog first(nullptr, text, "Ask", 0x02000024);
    OnNextModal([](QWidget* modal) {
        auto* box = qobject_cast<CMessageBoxDialog*>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->CheckBox()->isChecked());
        box->Button(kIdYes)->click();
    });
    EXPECT_EQ(first.DoModal(), kIdYes);

    QSettings settings("Orvane", "Nemora");
    EXPECT_EQ(settings.value("MessageBoxes/" + first.RememberKey()).toInt(), kIdYes);

    CMessageBoxDialog second(nullptr, text, "Ask", 0x02000024);
    EXPECT_EQ(second.DoModal(), kIdYes); // no modal helper armed: it must not show
    EXPECT_FALSE(second.isVisible());

    // Without the bit nothing is remembered or looked up.
    CMessageBoxDialog plain(nullptr, "Forget me", "Ask", 0x24);
    OnNextModal([](QWidget* modal) { ClickButton(modal, "&No"); });
    EXPECT_EQ(plain.DoModal(), kIdNo);
    EXPECT_FALSE(settings.contains("MessageBoxes/" + plain.RememberKey()));
}

TEST(MessageBoxDialog, HelpButtonKeepsTheBoxOpen)
{
    CMessageBoxDialog box(nullptr, "Help?", "", 0x4001, 77);
    int asked = 0;
    box.SetHelpHandler([&](std::uint32_t context) { asked = static_cast<int>(context); });
    box.OnInitDialog();
    box.show();
    box.Button(kIdHelp)->click();
    EXPECT_EQ(asked, 77);
    EXPECT_TRUE(box.isVisible());
    EXPECT_EQ(box.RememberKey(), "77");
}

} // namespace
