#pragma once

#include "settings/curve_chart.h"

#include <QFont>
#include <QImage>
#include <QRect>
#include <QWidget>

class QPainter;
class QPushButton;

namespace nemora::settings {

// What the power and temperature editors share: a page with a "Default" button and a never-shown frame
// that marks where the chart goes, the off-screen drawing and the pointer and keyboard handling.
//
// Every pointer movement over the chart redraws it completely into an off-screen image at the screen's
// device pixel ratio and copies the chart rectangle onto the page once; the page never erases its
// background, so the chart does not flicker.
//
// The chart takes the keyboard focus with Tab too (a dotted frame shows it): the arrow keys then act on
// the highlighted point without the pointer, as they do with the pointer over the chart.
class ChartPage : public QWidget {
    Q_OBJECT
public:
    // Draws the chart into the rectangle, applies an edit of the column under the pointer when pressed,
    // normalises the points and returns the index of the point under the pointer, or -1. Without an
    // active painter it only computes (the points are normalised all the same).
    virtual int DrawChart(QPainter& dc, const QRect& rcChart, int x, int y, bool pressed) = 0;

    // Draws the chart rectangle off-screen (filled white first) and copies it onto the page.
    int RedrawChart(int x, int y, bool pressed);
    // Fills the whole off-screen page white, draws the chart and copies the whole page; used when painting.
    int PaintChart(QPainter& dc, int x, int y, bool pressed);

    // Pointer movement in page coordinates. Outside the chart frame nothing changes. While exactly the
    // left button is held (no other button, no modifier key) the column stays where the button went down
    // and the point there follows the pointer's height.
    void OnMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);

    // The chart frame's rectangle in page coordinates.
    QRect GetChartRect() const;
    QWidget* ChartFrame() const { return m_pChartFrame; }
    QPushButton* DefaultButton() const { return m_pDefault; }
    // The last drawing: the off-screen page and what it showed.
    const QImage& OffscreenImage() const { return m_image; }
    const ChartView& LastView() const { return m_view; }
    int MouseX() const { return m_nMouseX; }
    int MouseY() const { return m_nMouseY; }

    // Takes in at most 40 bytes of point values (host order) and redraws; -1 without data.
    int LoadPoints(const void* pData, int nLength);
    // Copies at most 40 bytes of point values out; -1 without a buffer.
    int CopyPoints(void* pBuffer, int nLength) const;
    const ChartTable& Points() const { return m_Points; }
    // Every point to its default value, redrawn.
    virtual void RestoreDefaults() = 0;

    // The page's form: the room it needs to show its chart whole.
    QSize sizeHint() const override { return m_formSize; }

protected:
    // frameDu: the chart frame's rectangle in dialog units.
    ChartPage(QWidget* pParent, const QRect& frameDu);

    // Up and Down over the chart: change point k by that many of the unit's steps.
    virtual void StepPoint(std::size_t k, int nSteps) = 0;
    // Paints a computed chart; the temperature chart draws each marker right after its point.
    void PaintView(QPainter& dc, const ChartView& view, bool bMarkersAfterCurve);
    void SetView(const ChartView& view) { m_view = view; }
    static nemora::settings::ChartRect ToChartRect(const QRect& rc);

    void paintEvent(QPaintEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void leaveEvent(QEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;

    // "Default": asks the question; unless the answer is No, restores the defaults and shows the notice.
    void AskAndRestore(const QString& strQuestion, const QString& strNotice);

    int m_nMouseX = 200;
    int m_nMouseY = 200;
    ChartTable m_Points{};

private:
    // The off-screen page: the page's size at the screen's device pixel ratio, white when new.
    QSize ImageSize() const;
    bool ImageMatchesPage() const;
    bool EnsureImage();
    static QFont ChartFont();
    // The dotted frame of the keyboard focus, on the white border around the chart.
    void DrawFocusFrame(QPainter& dc) const;

    QPushButton* m_pDefault;
    QWidget* m_pChartFrame;
    QSize m_formSize;
    QFont m_chartFont;
    QImage m_image;
    bool m_bFreshImage = false; // the image holds a drawing that no paint has copied yet
    bool m_bPointerOverChart = false;
    bool m_bKeyboardFocus = false; // the focus came by Tab: the keys act without the pointer
    ChartView m_view;
};

} // namespace nemora::settings
