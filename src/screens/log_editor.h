#pragma once

#include "screens/mono_image.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPainter;
class QScrollBar;
class QSlider;

// The pixel canvas of the logo editor: one monochrome image as a grid of enlarged pixels (cells) on a
// drawing surface. The left button lights cells, the right one clears them; a zoom slider, a grid switch,
// four colour schemes and three read-outs (grid size, zoom, pointer position) sit above the surface.
// The whole content scrolls in steps of 10 pixels when the canvas is smaller than it.
//
// Surface geometry: zoom z x W + 20 by z x H + 20 pixels, a light-grey 10-pixel margin around the image
// area, cell (x, y) at (10 + z x, 10 + z y), z pixels square. On a scaled screen the cells are a whole
// number of the screen's own pixels (z times the scale, rounded), so that all are of one size. Cell
// rectangles are computed from the zoom and only the visible part of the surface is ever painted, so
// pictures of any size cost memory in proportion to the window, not to the surface. A drag lights or
// clears every cell on the straight line between two pointer positions, however fast it moves.
class CLogEditor : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMargin = 10;
    static constexpr int kMinZoom = 1;
    static constexpr int kMaxZoom = 20;
    static constexpr int kInitialZoom = 6;
    static constexpr int kScrollStep = 10;

    explicit CLogEditor(QWidget* pParent = nullptr);
    ~CLogEditor() override;

    // The initial state: a 128 x 32 grid, zoom 6, grid on, scheme 0, nothing scrolled. The constructor
    // runs it.
    bool OnInitDialog();

    // Makes the grid the image's size and lights the cells of its lit pixels, then redraws.
    void SetImage(const nemora::MonoImage& image);
    // The same for a picture: every pixel that is not pure white is lit (transparency counts as white).
    void SetImage(const QImage& image);
    // Writes the cells into image: a null image first becomes a W x H 24-bit one; then every pixel inside
    // both the grid and the image is set pure black (lit) or pure white. Returns -1 when there are no
    // cells (an empty grid), 0 otherwise.
    int GetImage(QImage& image) const;
    // The cells as a monochrome image of the grid's size.
    const nemora::MonoImage& Cells() const { return m_cells; }

    // Stores the grid size, resets the read-outs and replaces the cells by unlit ones; no redraw.
    void SetGridSize(int nWidth, int nHeight);

    // Full redraw: sizes the surface for the grid and zoom and repaints what is visible.
    void DrawCanvas();
    // Repaints one cell.
    void DrawCell(int x, int y);
    // Recomputes the scroll bars (maxima in steps of 10 pixels) when the zoom, the surface or the
    // window size changed since the last time.
    void UpdateScrollRanges();

    // The cell under a point of the client area; nothing outside the image area. Left and top edges of
    // a cell belong to it, right and bottom edges do not.
    std::optional<QPoint> HitTest(QPoint clientPoint) const;

    // Handlers (the controls call them; tests may too).
    void OnZoomTrack(int nPosition);
    void OnGridSwitch(bool bOn);
    void OnSchemeChanged(int nIndex);
    void OnScroll(Qt::Orientation orientation, int nAction);

    int GridWidth() const { return m_nGridWidth; }
    int GridHeight() const { return m_nGridHeight; }
    int Zoom() const { return m_nZoom; }
    bool GridOn() const { return m_bShowGrid; }
    QColor Foreground() const { return m_crFore; }
    QColor Background() const { return m_crBack; }
    int ScrollPosition(Qt::Orientation orientation) const
    {
        return orientation == Qt::Horizontal ? m_nHScrollPos : m_nVScrollPos;
    }

    // The widget that holds every control and receives the mouse (the "client area"), the surface rectangle
    // in its coordinates, the image area in surface coordinates, and the visible client rectangle.
    QWidget* ClientWidget() const { return m_pClient; }
    QWidget* Surface() const;
    QRect SurfaceRect() const;
    QRect ImageAreaRect() const;
    QRect ClientRect() const;
    QSlider* ZoomSlider() const { return m_pZoomSlider; }
    QCheckBox* GridCheck() const { return m_pGridCheck; }
    QComboBox* SchemeBox() const { return m_pSchemeBox; }
    QLabel* GridSizeLabel() const { return m_pGridSizeText; }
    QLabel* ZoomLabel() const { return m_pZoomText; }
    QLabel* PositionLabel() const { return m_pPositionText; }
    QScrollBar* ScrollBar(Qt::Orientation orientation) const;

    // Paints the part rect of the surface (painter and rect in surface coordinates) into an off-screen
    // image of that size, then copies it to the painter in one transfer.
    void PaintSurface(QPainter& painter, const QRect& rect) const;

    // The size of the off-screen image the last paint used (at most the part of the surface on screen).
    QSize LastPaintSize() const { return m_lastPaintSize; }

    QSize sizeHint() const override;

signals:
    // A press-drag-release changed cells; before is the picture as it was at the press.
    void PixelsEdited(const nemora::MonoImage& before);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;

private:
    // The scale of the screen, and the cell size and margin in its pixels.
    qreal Ratio() const;
    int CellPixels() const;
    int MarginPixels() const;
    // The cell a surface point falls in, also outside the grid.
    QPoint UnboundedCell(QPointF surfacePoint) const;
    std::optional<QPoint> CellAt(QPointF surfacePoint) const;
    QRect CellRect(int x, int y) const;
    void SetCell(std::optional<QPoint> cell, bool bLit);
    // The cells from the last point of the stroke to the one under the pointer.
    void StrokeTo(QPoint cell, bool bLit);
    void ShowPosition(QPoint cell);
    void MouseMove(QPointF clientPoint, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    void EndStroke();
    void ScrollContent(int dx, int dy);
    void PaintBand(QPainter& painter, const QRect& rect) const;

    // The most surface pixels one band of a paint covers; a window-sized paint fits in one band, and a
    // band's off-screen lines never hold more pixels than it does (times two, plus one line).
    static constexpr std::size_t kMaxPaintPixels = 8u * 1024u * 1024u;

    int m_nGridWidth = 0;
    int m_nGridHeight = 0;
    int m_nZoom = kInitialZoom;
    bool m_bShowGrid = true;
    QColor m_crFore;
    QColor m_crBack;
    nemora::MonoImage m_cells;

    int m_nHScrollPos = 0;
    int m_nVScrollPos = 0;
    // What the scroll ranges were last computed for (zoom, surface size, window size).
    std::optional<int> m_nRangesZoom;
    QSize m_rangesSurface;
    QSize m_rangesWindow;

    QPoint m_lastPoint;                 // last pointer point inside the surface, surface coordinates; (0, 0) outside
    QPoint m_lastShown{0, 0};           // position in the read-out
    bool m_bStroke = false;             // a button went down and is not released yet
    std::optional<QPoint> m_strokeCell; // where the stroke's pointer was last, in cells
    std::optional<nemora::MonoImage> m_strokeBefore;
    mutable QSize m_lastPaintSize;
    mutable std::vector<QRgb> m_paintMemory; // the off-screen lines, reused between paints

    QWidget* m_pClient;
    QWidget* m_pSurface;
    QScrollBar* m_pHBar;
    QScrollBar* m_pVBar;
    QSlider* m_pZoomSlider;
    QLabel* m_pGridSizeText;
    QLabel* m_pZoomText;
    QLabel* m_pPositionText;
    QCheckBox* m_pGridCheck;
    QComboBox* m_pSchemeBox;
};

namespace nemora::screens {

struct ColourScheme {
    const char* text;
    QColor fore;
    QColor back;
};

// The colour schemes in the order of the list.
const ColourScheme& SchemeAt(int index);
inline constexpr int kSchemeCount = 4;
inline const QColor kMarginColour{192, 192, 192};

} // namespace nemora::screens
