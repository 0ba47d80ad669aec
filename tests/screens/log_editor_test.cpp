// The pixel canvas under real mouse events on the offscreen platform.

#include "screens/log_editor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using nemora::MonoImage;

// A move with whatever buttons and modifiers are held (QTest moves carry no modifiers).
void Move(QWidget* w, QPoint p, Qt::MouseButtons buttons = Qt::NoButton, Qt::KeyboardModifiers mods = {})
{
    QMouseEvent e(QEvent::MouseMove, QPointF(p), QPointF(w->mapToGlobal(p)), Qt::NoButton, buttons, mods);
    QApplication::sendEvent(w, &e);
}

struct Canvas : testing::Test {
    CLogEditor editor;

    void SetUp() override
    {
        editor.resize(1000, 400);
        editor.show();
        SetImage(MonoImage(8, 4));
    }
    void SetImage(const MonoImage& image)
    {
        editor.SetImage(image);
        QApplication::processEvents();
    }
    QWidget* Client() const { return editor.ClientWidget(); }
    // A point of the surface in client coordinates.
    QPoint At(QPoint surfacePoint) const { return editor.SurfaceRect().topLeft() + surfacePoint; }
    QPoint CellCentre(int x, int y) const
    {
        const int z = editor.Zoom();
        return At({10 + z * x + z / 2, 10 + z * y + z / 2});
    }
    bool Lit(int x, int y) const { return editor.Cells().IsLit(x, y); }
    int LitCount() const
    {
        int n = 0;
        for (int y = 0; y < editor.GridHeight(); ++y)
            for (int x = 0; x < editor.GridWidth(); ++x)
                n += Lit(x, y) ? 1 : 0;
        return n;
    }
    QString Position() const { return editor.PositionLabel()->text(); }
    QImage Picture() const { return editor.Surface()->grab().toImage(); }
};

struct EdgeCase {
    const char* name;
    QPoint surfacePoint; // zoom 6, 8 x 4 grid: the image area is (10, 10) to (58, 34), right and bottom out
    int cellX, cellY;    // -1: no cell
};

class CanvasEdges : public Canvas, public testing::WithParamInterface<EdgeCase> {};

TEST_P(CanvasEdges, LeftAndTopEdgesHitRightAndBottomEdgesMiss)
{
    const EdgeCase& c = GetParam();
    QTest::mouseClick(Client(), Qt::LeftButton, {}, At(c.surfacePoint));
    if (c.cellX < 0) {
        EXPECT_EQ(LitCount(), 0);
    } else {
        EXPECT_EQ(LitCount(), 1);
        EXPECT_TRUE(Lit(c.cellX, c.cellY));
    }
    const auto hit = editor.HitTest(At(c.surfacePoint));
    EXPECT_EQ(hit.has_value(), c.cellX >= 0);
}

INSTANTIATE_TEST_SUITE_P(ImageArea, CanvasEdges,
                         testing::Values(EdgeCase{"LeftEdge", {10, 20}, 0, 1}, EdgeCase{"LeftOfIt", {9, 20}, -1, -1},
                                         EdgeCase{"TopEdge", {30, 10}, 3, 0}, EdgeCase{"AboveIt", {30, 9}, -1, -1},
                                         EdgeCase{"RightEdge", {58, 20}, -1, -1},
                                         EdgeCase{"LastColumn", {57, 20}, 7, 1},
                                         EdgeCase{"BottomEdge", {30, 34}, -1, -1}, EdgeCase{"LastRow", {30, 33}, 3, 3}),
                         [](const testing::TestParamInfo<EdgeCase>& param) { return std::string(param.param.name); });

struct DragCase {
    const char* name;
    Qt::MouseButton button;
    Qt::KeyboardModifiers modifiers;
    bool dragPaints;
};

class CanvasDrag : public Canvas, public testing::WithParamInterface<DragCase> {};

TEST_P(CanvasDrag, PaintsWhileDraggingOnlyWithTheButtonAlone)
{
    const DragCase& c = GetParam();
    const bool lights = c.button == Qt::LeftButton;
    MonoImage start(8, 4);
    if (!lights)
        start.Fill(true);
    SetImage(start);

    QTest::mousePress(Client(), c.button, c.modifiers, CellCentre(1, 1));
    EXPECT_EQ(Lit(1, 1), lights) << "the press acts whatever the modifiers";
    Move(Client(), CellCentre(2, 1), c.button, c.modifiers);
    Move(Client(), CellCentre(3, 2), c.button, c.modifiers);
    QTest::mouseRelease(Client(), c.button, c.modifiers, CellCentre(3, 2));
    EXPECT_EQ(Lit(2, 1), c.dragPaints ? lights : !lights);
    EXPECT_EQ(Lit(3, 2), c.dragPaints ? lights : !lights);
    EXPECT_EQ(Lit(4, 1), !lights);
}

INSTANTIATE_TEST_SUITE_P(Buttons, CanvasDrag,
                         testing::Values(DragCase{"Left", Qt::LeftButton, {}, true},
                                         DragCase{"Right", Qt::RightButton, {}, true},
                                         DragCase{"ShiftLeft", Qt::LeftButton, Qt::ShiftModifier, false},
                                         DragCase{"ControlRight", Qt::RightButton, Qt::ControlModifier, false}),
                         [](const testing::TestParamInfo<DragCase>& param) { return std::string(param.param.name); });

// Pointer events come far apart on a quick drag: the cells between two of them are drawn all the same,
// also where the pointer crosses the image from outside to outside.
TEST_F(Canvas, AQuickDragDrawsTheWholeLineBetweenTwoPointerPositions)
{
    QTest::mousePress(Client(), Qt::LeftButton, {}, CellCentre(0, 0));
    Move(Client(), CellCentre(7, 3), Qt::LeftButton);
    QTest::mouseRelease(Client(), Qt::LeftButton, {}, CellCentre(7, 3));
    EXPECT_EQ(LitCount(), 8);
    for (int x = 0; x < 8; ++x) {
        const int litInColumn = Lit(x, 0) + Lit(x, 1) + Lit(x, 2) + Lit(x, 3);
        EXPECT_EQ(litInColumn, 1) << "column " << x;
    }

    SetImage([] {
        MonoImage full(8, 4);
        full.Fill(true);
        return full;
    }());
    const int row = CellCentre(0, 2).y();
    QTest::mousePress(Client(), Qt::RightButton, {}, QPoint(At({0, 0}).x() - 40, row));
    Move(Client(), QPoint(At({0, 0}).x() + 200, row), Qt::RightButton);
    QTest::mouseRelease(Client(), Qt::RightButton, {}, QPoint(At({0, 0}).x() + 200, row));
    EXPECT_EQ(LitCount(), 24);
    for (int x = 0; x < 8; ++x)
        EXPECT_FALSE(Lit(x, 2)) << "column " << x;
}

TEST_F(Canvas, ReadOutsFollowThePointerAndStandStillWhileAButtonIsHeld)
{
    EXPECT_EQ(editor.GridSizeLabel()->text(), "Pixel:8x4");
    EXPECT_EQ(editor.ZoomLabel()->text(), "Zoom:x6");
    Move(Client(), CellCentre(5, 2));
    EXPECT_EQ(Position(), "Position:(5,2)");

    QTest::mousePress(Client(), Qt::LeftButton, {}, CellCentre(5, 2));
    Move(Client(), CellCentre(6, 3), Qt::LeftButton);
    EXPECT_EQ(Position(), "Position:(5,2)") << "frozen while the button is held";
    Move(Client(), CellCentre(7, 3), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(Position(), "Position:(5,2)");
    Move(Client(), At({3, 3}), Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(Position(), "Position:(5,2)");
    QTest::mouseRelease(Client(), Qt::LeftButton, {}, At({3, 3}));

    Move(Client(), CellCentre(6, 3));
    EXPECT_EQ(Position(), "Position:(6,3)");
    Move(Client(), At({3, 3})); // margin inside the surface
    EXPECT_EQ(Position(), "Position:(0,0)");
    Move(Client(), CellCentre(1, 1));
    Move(Client(), editor.SurfaceRect().bottomRight() + QPoint(5, 5)); // outside the surface
    EXPECT_EQ(Position(), "Position:(0,0)");

    SetImage(MonoImage(200, 100));
    EXPECT_EQ(editor.GridSizeLabel()->text(), "Pixel:200x100");
}

TEST_F(Canvas, SchemesAndTheGridSwitchChangeColoursButNoCell)
{
    MonoImage image(8, 4);
    image.SetLit(2, 1, true);
    SetImage(image);
    const int z = editor.Zoom();
    const QPoint inside(10 + z * 2 + 1, 10 + z + 1);    // within lit cell (2, 1)
    const QPoint lineRight(10 + z * 3 - 1, 10 + z + 1); // its last column: the grid line
    const QPoint unlit(10 + z * 5 + 1, 10 + z * 2 + 1); // cell (5, 2)
    for (int i = 0; i < nemora::screens::kSchemeCount; ++i) {
        editor.SchemeBox()->setCurrentIndex(i);
        const auto& scheme = nemora::screens::SchemeAt(i);
        const QImage p = Picture();
        EXPECT_EQ(p.pixelColor(inside), scheme.fore) << scheme.text;
        EXPECT_EQ(p.pixelColor(lineRight), scheme.back) << scheme.text;
        EXPECT_EQ(p.pixelColor(unlit), scheme.back) << scheme.text;
        EXPECT_EQ(p.pixelColor(3, 3), nemora::screens::kMarginColour);
        EXPECT_EQ(editor.Cells(), image);
    }
    QTest::mouseClick(editor.GridCheck(), Qt::LeftButton);
    EXPECT_FALSE(editor.GridOn());
    EXPECT_EQ(Picture().pixelColor(lineRight), editor.Foreground()) << "solid blocks without the grid";
    EXPECT_EQ(editor.Cells(), image);
}

TEST_F(Canvas, GetImageOfAOneBitImageIsExactBlackAndWhite)
{
    MonoImage image(5, 3, 1);
    image.SetLit(0, 0, true);
    image.SetLit(4, 2, true);
    SetImage(image);
    QImage out;
    ASSERT_EQ(editor.GetImage(out), 0);
    EXPECT_EQ(out.size(), QSize(5, 3));
    EXPECT_EQ(out.depth(), 24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(out.pixel(x, y), image.IsLit(x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255)) << x << "," << y;
    editor.SetGridSize(0, 0);
    EXPECT_EQ(editor.GetImage(out), -1);
}

struct SmallWindow : Canvas {
    void SetUp() override
    {
        editor.resize(420, 300);
        editor.show();
        SetImage(MonoImage(96, 96));
    }
    QScrollBar* Bar(Qt::Orientation o) const { return editor.ScrollBar(o); }
};

TEST_F(SmallWindow, ScrollMaximaAreTheOverhangInStepsOfTen)
{
    const QRect surface = editor.SurfaceRect();
    EXPECT_EQ(surface.size(), QSize(596, 596));
    const QRect client = editor.ClientRect();
    EXPECT_EQ(Bar(Qt::Horizontal)->maximum(), (surface.right() - client.right()) / 10);
    EXPECT_EQ(Bar(Qt::Vertical)->maximum(), (surface.bottom() - client.bottom()) / 10);
    EXPECT_GT(Bar(Qt::Vertical)->maximum(), 0);
    EXPECT_TRUE(Bar(Qt::Vertical)->isVisible());

    // A line down moves the content 10 pixels up, and clicks follow it.
    Bar(Qt::Vertical)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(editor.SurfaceRect().top(), surface.top() - 10);
    QTest::mouseClick(Client(), Qt::LeftButton, {}, CellCentre(4, 4));
    EXPECT_TRUE(Lit(4, 4));
    // Page steps are not acted upon; a line up at the top stays there.
    Bar(Qt::Vertical)->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(editor.ScrollPosition(Qt::Vertical), 1);
    Bar(Qt::Vertical)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    Bar(Qt::Vertical)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(editor.ScrollPosition(Qt::Vertical), 0);
    EXPECT_EQ(editor.SurfaceRect(), surface);
}

TEST_F(SmallWindow, ZoomIsRefusedWhileScrolledAndTheThumbGoesBack)
{
    QSlider* slider = editor.ZoomSlider();
    Bar(Qt::Horizontal)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    slider->setSliderDown(true);
    slider->setSliderPosition(10);
    EXPECT_EQ(editor.Zoom(), 6);
    EXPECT_EQ(slider->value(), 6);
    EXPECT_EQ(editor.ZoomLabel()->text(), "Zoom:x6");

    Bar(Qt::Horizontal)->triggerAction(QAbstractSlider::SliderSingleStepSub);
    slider->setSliderPosition(10);
    slider->setSliderDown(false);
    EXPECT_EQ(editor.Zoom(), 10);
    EXPECT_EQ(editor.ZoomLabel()->text(), "Zoom:x10");
    EXPECT_EQ(editor.SurfaceRect().size(), QSize(980, 980));
    EXPECT_EQ(Bar(Qt::Vertical)->maximum(), (editor.SurfaceRect().bottom() - editor.ClientRect().bottom()) / 10);
}

TEST(CanvasMemory, AHugePicturePaintsOnlyWhatIsOnScreen)
{
    CLogEditor editor;
    editor.resize(800, 500);
    editor.show();
    MonoImage image(4096, 4096);
    for (int i = 0; i < 4096; ++i)
        image.SetLit(i, i, true); // the diagonal
    editor.SetImage(image);
    editor.Surface()->repaint();
    EXPECT_EQ(editor.SurfaceRect().size(), QSize(6 * 4096 + 20, 6 * 4096 + 20));
    EXPECT_LE(editor.LastPaintSize().width(), editor.ClientRect().width());
    EXPECT_LE(editor.LastPaintSize().height(), editor.ClientRect().height());

    // Any part of the surface paints from the zoom alone: around cell (2000, 2000).
    const QRect part(10 + 6 * 2000 - 3, 10 + 6 * 2000 - 3, 12, 12);
    QImage out(part.size(), QImage::Format_RGB32);
    QPainter painter(&out);
    painter.translate(-part.topLeft()); // the painter works in surface coordinates
    editor.PaintSurface(painter, part);
    painter.end();
    EXPECT_EQ(out.pixelColor(4, 4), editor.Foreground());  // inside cell (2000, 2000)
    EXPECT_EQ(out.pixelColor(10, 4), editor.Background()); // cell (2001, 2000)
    EXPECT_EQ(out.pixelColor(1, 1), editor.Foreground());  // cell (1999, 1999)
}

} // namespace
