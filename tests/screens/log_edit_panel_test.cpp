// The logo edit panel over a 128 x 32 screen image, driven by real clicks and keys.

#include "modal_answerer.h"
#include "qt_test_util.h"
#include "screens/bmp.h"
#include "screens/log_edit_panel.h"
#include "screens/log_editor.h"
#include "widgets/message_box_dialog.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using nemora::MonoImage;
namespace mb = nemora::widgets;

MonoImage Pattern()
{
    MonoImage image(128, 32);
    for (int x = 0; x < 128; ++x)
        image.SetLit(x, x % 32, true);
    return image;
}

MonoImage TopLeft(const MonoImage& image, int w, int h)
{
    MonoImage part(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            part.SetLit(x, y, image.IsLit(x, y));
    return part;
}

struct Panel : testing::Test {
    MonoImage screen = Pattern();
    const MonoImage original = Pattern();
    CLogEditPanel panel;
    QTemporaryDir dir;

    void SetUp() override
    {
        panel.SetScreenImage(screen);
        panel.show();
        QApplication::processEvents();
    }
    CLogEditor* Editor() const { return panel.Editor(); }
    const MonoImage& Cells() const { return Editor()->Cells(); }
    QString GridText() const { return Editor()->GridSizeLabel()->text(); }
    void ClickCell(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        const int z = Editor()->Zoom();
        QTest::mouseClick(Editor()->ClientWidget(), button, {},
                          Editor()->SurfaceRect().topLeft() + QPoint(10 + z * x + 1, 10 + z * y + 1));
    }
    void Click(const char* caption)
    {
        for (QAbstractButton* b : panel.findChildren<QAbstractButton*>())
            if (b->text() == caption && b->parent() == &panel)
                return QTest::mouseClick(b, Qt::LeftButton);
        ADD_FAILURE() << "no button " << caption;
    }
    void Key(int key, Qt::KeyboardModifiers mods = {})
    {
        QTest::keyClick(panel.Button("OK"), static_cast<Qt::Key>(key), mods); // reaches the panel unhandled
    }
    QString Path(const char* name) const { return dir.filePath(name); }
    QString WritePicture(const char* name, const QImage& image) const
    {
        const QString path = Path(name);
        EXPECT_TRUE(image.save(path));
        return path;
    }
    // A w x h white picture with a black block at (2, 2), 6 x 3.
    QString Block(const char* name, int w, int h) const
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter(&image).fillRect(2, 2, 6, 3, Qt::black);
        return WritePicture(name, image);
    }
};

TEST_F(Panel, OpensOnTheScreenImageAndClosesAtOnceWithoutEdits)
{
    EXPECT_EQ(panel.windowTitle(), "LogEditor");
    EXPECT_EQ(GridText(), "Pixel:128x32");
    EXPECT_EQ(Cells(), screen);
    ModalAnswerer answers(mb::kIdYes);
    Click("Cancel");
    EXPECT_FALSE(panel.isVisible());
    EXPECT_TRUE(answers.texts.isEmpty());
}

// A 96 x 96 screen at the canvas's zoom needs more room than the panel's form: the panel grows to show all
// of it, as far as the screen allows and never beyond.
TEST(PanelSize, GrowsToShowTheWholeScreenImageWithinTheScreen)
{
    MonoImage square(96, 96);
    CLogEditPanel panel;
    const QSize form = panel.size();
    panel.SetScreenImage(square);
    panel.show();
    QApplication::processEvents();
    const QSize limit = panel.screen()->availableGeometry().size().expandedTo(form); // the form is the least
    EXPECT_LE(panel.width(), limit.width());
    EXPECT_LE(panel.height(), limit.height());
    EXPECT_GT(panel.height(), form.height());
    const QRect shown = panel.Editor()->ClientRect();
    const bool whole = shown.contains(panel.Editor()->SurfaceRect());
    EXPECT_TRUE(whole || panel.height() + 48 >= limit.height()) << "room was left on the screen";
}

TEST_F(Panel, ChangeDetectionComparesWithTheOpeningImage)
{
    EXPECT_FALSE(panel.IsModified());
    ClickCell(1, 0);
    EXPECT_TRUE(panel.IsModified());
    ClickCell(1, 0, Qt::RightButton);
    EXPECT_FALSE(panel.IsModified());
}

struct CancelCase {
    const char* name;
    std::function<void(CLogEditPanel&)> trigger;
    int answer;
    bool saved, closed;
};

class PanelCancel : public Panel, public testing::WithParamInterface<CancelCase> {};

TEST_P(PanelCancel, AsksToSaveAfterAnEdit)
{
    const CancelCase& c = GetParam();
    ClickCell(1, 0);
    ModalAnswerer answers(c.answer);
    c.trigger(panel);
    ASSERT_EQ(answers.texts, QStringList{" You will close the editor. Do you want to save the data?"});
    EXPECT_EQ(screen.IsLit(1, 0), c.saved);
    EXPECT_EQ(panel.isVisible(), !c.closed);
    if (c.closed) {
        EXPECT_EQ(panel.result(), QDialog::Rejected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, PanelCancel,
    testing::Values(
        CancelCase{"CancelButtonYesSaves", [](CLogEditPanel& p) { ClickButton(&p, "Cancel"); }, mb::kIdYes, true, true},
        CancelCase{"EscapeNoDiscards", [](CLogEditPanel& p) { QTest::keyClick(&p, Qt::Key_Escape); }, mb::kIdNo, false,
                   true},
        CancelCase{"CloseBoxCancelStays", [](CLogEditPanel& p) { p.close(); }, mb::kIdCancel, false, false}),
    [](const testing::TestParamInfo<CancelCase>& param) { return std::string(param.param.name); });

TEST_F(Panel, UserTextRendersIntoTwiceTheScreenAndOkKeepsTheTopLeft)
{
    Click("User Char Mode");
    EXPECT_EQ(panel.TextEdit()->toPlainText(), "---");
    EXPECT_EQ(GridText(), "Pixel:256x64");
    const MonoImage rendered = Cells();
    EXPECT_NE(TopLeft(rendered, 128, 32), MonoImage(128, 32)) << "the dashes are drawn at the top left";
    Click("OK");
    EXPECT_EQ(panel.result(), QDialog::Accepted);
    EXPECT_EQ(screen, TopLeft(rendered, 128, 32));
    EXPECT_EQ(screen.Width(), 128);
}

TEST_F(Panel, ShiftsMoveTheTextAndOBringsItBack)
{
    panel.UserCharCheck()->setChecked(true);
    panel.TextEdit()->setPlainText("H&i\nthere");
    const MonoImage atOrigin = Cells();
    for (int i = 0; i < 3; ++i)
        Click("L");
    EXPECT_EQ(panel.TextOffset(), QPoint(-3, 0));
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x + 3 < 256; ++x)
            ASSERT_EQ(Cells().IsLit(x, y), atOrigin.IsLit(x + 3, y)) << x << "," << y;
    Click("O");
    EXPECT_EQ(Cells(), atOrigin);
    Click("D");
    EXPECT_EQ(panel.TextOffset(), QPoint(0, 1));
}

TEST_F(Panel, AFontChoiceWaitsForTheNextTextChange)
{
    Click("User Char Mode");
    const MonoImage courier = Cells();
    QFont font("DejaVu Serif");
    font.setPixelSize(24);
    panel.OnFontChosen(font);
    EXPECT_EQ(panel.FontLabel()->text(), "Font:" + font.family());
    EXPECT_EQ(Cells(), courier);
    Click("O");
    EXPECT_NE(Cells(), courier);
}

TEST_F(Panel, DefaultAfterUserTextAsksAndRestoresTheImageAtItsOwnSize)
{
    Click("User Char Mode");
    {
        ModalAnswerer no(mb::kIdNo);
        Click("Default");
        EXPECT_EQ(no.texts.size(), 1);
        EXPECT_EQ(GridText(), "Pixel:256x64");
    }
    ModalAnswerer yes(mb::kIdYes);
    Click("Default");
    EXPECT_EQ(yes.texts, QStringList{"Are you sure you will recover the data to the default value, which will "
                                     "discard the changes you have make!"});
    EXPECT_EQ(GridText(), "Pixel:128x32");
    EXPECT_EQ(Cells(), screen);
    EXPECT_FALSE(panel.IsModified());
}

TEST_F(Panel, ASmallerImportChangesOnlyItsOwnCornerOfTheScreenImage)
{
    ASSERT_TRUE(panel.OnImportFile(Block("small.png", 64, 16)));
    EXPECT_EQ(GridText(), "Pixel:64x16");
    EXPECT_TRUE(panel.IsModified());
    Click("OK");
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 128; ++x) {
            const bool inBlock = x >= 2 && x < 8 && y >= 2 && y < 5;
            const bool expected = x < 64 && y < 16 ? inBlock : original.IsLit(x, y);
            ASSERT_EQ(screen.IsLit(x, y), expected) << x << "," << y;
        }
}

TEST_F(Panel, AJpegWithNearWhiteNoiseIsLitWhereverItIsNotPureWhite)
{
    QImage noise(200, 100, QImage::Format_RGB32);
    auto* random = QRandomGenerator::global();
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            noise.setPixel(x, y, x < 100 ? qRgb(255, 255, 255) : qRgb(250 + random->bounded(6), 255, 252));
    const QString path = WritePicture("noise.jpg", noise);
    ASSERT_TRUE(panel.OnImportFile(path));
    EXPECT_EQ(GridText(), "Pixel:200x100");
    const QImage decoded(path);
    int lit = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) {
            ASSERT_EQ(Cells().IsLit(x, y), decoded.pixel(x, y) != qRgb(255, 255, 255)) << x << "," << y;
            lit += Cells().IsLit(x, y) ? 1 : 0;
        }
    EXPECT_GT(lit, 9000) << "the off-white half is lit";
}

TEST_F(Panel, ExportToBmpWritesA24BitPictureOfTheCanvas)
{
    const QString path = Path("out.bmp");
    ASSERT_TRUE(panel.OnExportFile(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 30);
    EXPECT_EQ(static_cast<int>(bytes[28]), 24);
    std::string error;
    EXPECT_EQ(nemora::ReadBmp(
                  {reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<std::size_t>(bytes.size())}, error),
              screen);
}

struct FileFailure {
    const char* name;
    bool import;
    const char* file; // inside the test folder unless absolute
    const char* contents;
};

class PanelFileFailure : public Panel, public testing::WithParamInterface<FileFailure> {};

TEST_P(PanelFileFailure, IsReportedWithTheFileAndTheReason)
{
    const FileFailure& c = GetParam();
    const QString path = c.file[0] == '/' ? QString(c.file) : Path(c.file);
    if (c.contents) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.contents);
    }
    ModalAnswerer answers(mb::kIdOk);
    EXPECT_FALSE(c.import ? panel.OnImportFile(path) : panel.OnExportFile(path));
    ASSERT_EQ(answers.texts.size(), 1);
    const QString text = answers.texts.front();
    EXPECT_TRUE(text.contains('"' + path + "\": ")) << text.toStdString();
    EXPECT_TRUE(text.contains(c.import ? "import" : "export")) << text.toStdString();
    EXPECT_GT(text.size(), path.size() + 40) << "a reason follows the name";
    EXPECT_EQ(Cells(), screen) << "the canvas keeps its picture";
    if (c.import) {
        EXPECT_TRUE(panel.IsModified()) << "a failed import still detaches the working image";
    } else {
        EXPECT_FALSE(QFile::exists(path));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, PanelFileFailure,
    testing::Values(FileFailure{"ImportOfAMissingFile", true, "missing.png", nullptr},
                    FileFailure{"ImportOfNoPicture", true, "garbage.png", "this is not a picture"},
                    FileFailure{"ExportIntoNoFolder", false, "/nonexistent-folder/out.bmp", nullptr},
                    FileFailure{"ExportToAnUnknownExtension", false, "out.xyz", nullptr}),
    [](const testing::TestParamInfo<FileFailure>& param) { return std::string(param.param.name); });

struct StepCase {
    const char* name;
    std::function<void(Panel&)> prepare;
    std::function<void(Panel&)> step;
};

class PanelUndo : public Panel, public testing::WithParamInterface<StepCase> {};

TEST_P(PanelUndo, UndoAndRedoEachKindOfStep)
{
    const StepCase& c = GetParam();
    ModalAnswerer answers(mb::kIdYes);
    if (c.prepare)
        c.prepare(*this);
    const MonoImage before = Cells();
    const bool modifiedBefore = panel.IsModified();
    c.step(*this);
    const MonoImage after = Cells();
    const bool modifiedAfter = panel.IsModified();
    ASSERT_NE(after == before && modifiedAfter == modifiedBefore, true) << "the step changes something";

    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Cells(), before);
    EXPECT_EQ(panel.IsModified(), modifiedBefore);
    Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Cells(), after);
    EXPECT_EQ(panel.IsModified(), modifiedAfter);
    Key(Qt::Key_Z, Qt::ControlModifier);
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Cells(), after);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, PanelUndo,
    testing::Values(StepCase{"PixelDrag", nullptr,
                             [](Panel& f) {
                                 QWidget* client = f.Editor()->ClientWidget();
                                 const QPoint a = f.Editor()->SurfaceRect().topLeft() + QPoint(13, 13);
                                 QTest::mousePress(client, Qt::LeftButton, {}, a);
                                 QMouseEvent move(QEvent::MouseMove, QPointF(a + QPoint(30, 0)),
                                                  QPointF(client->mapToGlobal(a + QPoint(30, 0))), Qt::NoButton,
                                                  Qt::LeftButton, {});
                                 QApplication::sendEvent(client, &move);
                                 QTest::mouseRelease(client, Qt::LeftButton, {}, a + QPoint(30, 0));
                             }},
                    StepCase{"Import", nullptr, [](Panel& f) { f.panel.OnImportFile(f.Block("undo.png", 40, 20)); }},
                    StepCase{"UserText", nullptr, [](Panel& f) { f.Click("User Char Mode"); }},
                    StepCase{"Shift", [](Panel& f) { f.Click("User Char Mode"); }, [](Panel& f) { f.Click("R"); }},
                    StepCase{"Default", [](Panel& f) { f.ClickCell(2, 0); }, [](Panel& f) { f.Click("Default"); }},
                    StepCase{"RetunedImport", [](Panel& f) { f.panel.OnImportFile(f.Block("tune.png", 40, 20)); },
                             [](Panel& f) { f.Click("Invert"); }}),
    [](const testing::TestParamInfo<StepCase>& param) { return std::string(param.param.name); });

TEST_F(Panel, UndoingEveryEditLetsCancelCloseWithoutAQuestion)
{
    ClickCell(3, 0);
    ASSERT_TRUE(panel.OnImportFile(Block("a.png", 20, 10)));
    Key(Qt::Key_Z, Qt::ControlModifier);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(panel.IsModified());
    ModalAnswerer answers(mb::kIdCancel);
    Key(Qt::Key_Escape);
    EXPECT_TRUE(answers.texts.isEmpty());
    EXPECT_FALSE(panel.isVisible());
}

TEST_F(Panel, ImportOptionsConvertTheKeptPictureAgain)
{
    QImage grey(64, 16, QImage::Format_RGB32);
    grey.fill(QColor(200, 200, 200));
    QPainter(&grey).fillRect(0, 0, 32, 16, QColor(50, 50, 50));
    ASSERT_TRUE(panel.OnImportFile(WritePicture("grey.png", grey)));
    EXPECT_TRUE(Cells().IsLit(40, 5)) << "light grey is not white";

    nemora::ImportOptions options;
    options.threshold = 128;
    panel.SetImportOptions(options);
    EXPECT_TRUE(Cells().IsLit(10, 5));
    EXPECT_FALSE(Cells().IsLit(40, 5));

    options.fit = true;
    options.invert = true;
    panel.SetImportOptions(options);
    EXPECT_EQ(GridText(), "Pixel:128x32");
    EXPECT_FALSE(Cells().IsLit(10, 5));
    EXPECT_TRUE(Cells().IsLit(100, 5));

    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(GridText(), "Pixel:64x16");
    EXPECT_FALSE(Cells().IsLit(40, 5));
}

} // namespace
