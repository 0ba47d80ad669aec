#include "screens/log_editor.h"

#include "screens/picture_file.h"
#include "widgets/dialog_units.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSlider>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

using nemora::widgets::DialogRect;

namespace nemora::screens {

const ColourScheme& SchemeAt(int index)
{
    static const std::array<ColourScheme, kSchemeCount> schemes{{
        {QT_TRANSLATE_NOOP("CLogEditor", "Fore:Blue + Back:Gray"), QColor(0, 0, 255), QColor(128, 128, 128)},
        {QT_TRANSLATE_NOOP("CLogEditor", "Fore:DarkGreen + Back:Gray"), QColor(0, 100, 0), QColor(128, 128, 128)},
        {QT_TRANSLATE_NOOP("CLogEditor", "Fore:White + Back:Black"), QColor(255, 255, 255), QColor(0, 0, 0)},
        {QT_TRANSLATE_NOOP("CLogEditor", "Fore:Black + Back:White"), QColor(0, 0, 0), QColor(255, 255, 255)},
    }};
    return schemes[static_cast<std::size_t>(std::clamp(index, 0, kSchemeCount - 1))];
}

} // namespace nemora::screens

// The drawing surface: the editor paints it; the mouse goes through it to the client area.
class CLogSurface final : public QWidget {
public:
    CLogSurface(CLogEditor& editor, QWidget* pParent) : QWidget(pParent), m_editor(editor)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* pEvent) override
    {
        QPainter painter(this);
        m_editor.PaintSurface(painter, pEvent->rect());
    }

private:
    CLogEditor& m_editor;
};

CLogEditor::CLogEditor(QWidget* pParent)
    : QWidget(pParent), m_pClient(new QWidget(this)), m_pSurface(new CLogSurface(*this, m_pClient)),
      m_pHBar(new QScrollBar(Qt::Horizontal, this)), m_pVBar(new QScrollBar(Qt::Vertical, this)),
      m_pZoomSlider(new QSlider(Qt::Horizontal, m_pClient)), m_pGridSizeText(new QLabel(m_pClient)),
      m_pZoomText(new QLabel(m_pClient)), m_pPositionText(new QLabel(m_pClient)),
      m_pGridCheck(new QCheckBox(tr("Show grid"), m_pClient)), m_pSchemeBox(new QComboBox(m_pClient))
{
    const nemora::widgets::DialogUnitScale du = nemora::widgets::DialogUnitsFor(font());
    auto* zoomCaption = new QLabel(tr("Zoom level"), m_pClient);
    zoomCaption->setGeometry(DialogRect(du, 17, 10, 40, 8));
    m_pZoomSlider->setGeometry(DialogRect(du, 58, 6, 92, 15));
    m_pGridSizeText->setGeometry(DialogRect(du, 160, 10, 70, 8));
    m_pZoomText->setGeometry(DialogRect(du, 232, 10, 40, 8));
    m_pPositionText->setGeometry(DialogRect(du, 276, 10, 90, 8));
    m_pGridCheck->setGeometry(DialogRect(du, 17, 31, 60, 10));
    auto* schemeCaption = new QLabel(tr("Color scheme"), m_pClient);
    schemeCaption->setGeometry(DialogRect(du, 84, 32, 50, 8));
    m_pSchemeBox->setGeometry(DialogRect(du, 136, 30, 120, 12));
    m_pSchemeBox->setMinimumHeight(m_pSchemeBox->sizeHint().height());
    m_pSchemeBox->resize(m_pSchemeBox->width(), m_pSchemeBox->sizeHint().height());
    m_pSurface->move(du.Dx(17), du.Dy(52));

    m_pClient->setMouseTracking(true);
    m_pClient->installEventFilter(this);
    m_pClient->setAutoFillBackground(true);
    for (QScrollBar* bar : {m_pHBar, m_pVBar}) {
        bar->setSingleStep(1);
        bar->setPageStep(0);
        bar->hide();
    }

    connect(m_pZoomSlider, &QSlider::sliderMoved, this, &CLogEditor::OnZoomTrack);
    connect(m_pGridCheck, &QCheckBox::clicked, this, &CLogEditor::OnGridSwitch);
    connect(m_pSchemeBox, &QComboBox::currentIndexChanged, this, &CLogEditor::OnSchemeChanged);
    connect(m_pHBar, &QScrollBar::actionTriggered, this, [this](int a) { OnScroll(Qt::Horizontal, a); });
    connect(m_pVBar, &QScrollBar::actionTriggered, this, [this](int a) { OnScroll(Qt::Vertical, a); });

    OnInitDialog();
}

CLogEditor::~CLogEditor() = default;

bool CLogEditor::OnInitDialog()
{
    SetGridSize(128, 32);
    m_nZoom = kInitialZoom;
    m_bShowGrid = true;
    m_pGridCheck->setChecked(true);
    m_pZoomSlider->setRange(kMinZoom, kMaxZoom);
    m_pZoomSlider->setValue(m_nZoom);
    m_pZoomSlider->setTickInterval(10);
    m_pZoomSlider->setTickPosition(QSlider::TicksBelow);
    m_pZoomText->setText(QString::asprintf(tr("Zoom:x%d").toUtf8().constData(), m_nZoom));
    ScrollContent(m_nHScrollPos * kScrollStep, m_nVScrollPos * kScrollStep);
    m_nHScrollPos = m_nVScrollPos = 0;
    for (QScrollBar* bar : {m_pHBar, m_pVBar}) {
        bar->setRange(0, 0);
        bar->setValue(0);
    }
    m_nRangesZoom.reset();
    {
        const QSignalBlocker block(m_pSchemeBox);
        m_pSchemeBox->clear();
        for (int i = 0; i < nemora::screens::kSchemeCount; ++i)
            m_pSchemeBox->addItem(tr(nemora::screens::SchemeAt(i).text));
        m_pSchemeBox->setCurrentIndex(0);
    }
    m_crFore = nemora::screens::SchemeAt(0).fore;
    m_crBack = nemora::screens::SchemeAt(0).back;
    DrawCanvas();
    return true;
}

void CLogEditor::SetGridSize(int nWidth, int nHeight)
{
    m_nGridWidth = std::max(nWidth, 0);
    m_nGridHeight = std::max(nHeight, 0);
    m_pGridSizeText->setText(QString::asprintf(tr("Pixel:%dx%d").toUtf8().constData(), m_nGridWidth, m_nGridHeight));
    m_pPositionText->setText(QString::asprintf(tr("Position:(%d,%d)").toUtf8().constData(), 0, 0));
    m_lastShown = QPoint(0, 0);
    m_cells = nemora::MonoImage(m_nGridWidth, m_nGridHeight);
    m_strokeBefore.reset();
}

void CLogEditor::SetImage(const nemora::MonoImage& image)
{
    SetGridSize(image.Width(), image.Height());
    m_cells = image;
    DrawCanvas();
}

void CLogEditor::SetImage(const QImage& image)
{
    SetImage(nemora::screens::MonoFromPicture(image));
}

int CLogEditor::GetImage(QImage& image) const
{
    if (m_cells.IsNull())
        return -1;
    if (image.isNull())
        image = QImage(m_nGridWidth, m_nGridHeight, QImage::Format_RGB888);
    else if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
             image.format() == QImage::Format_MonoLSB)
        image = image.convertToFormat(QImage::Format_RGB32);
    const int w = std::min(m_nGridWidth, image.width());
    const int h = std::min(m_nGridHeight, image.height());
    for (int y = 0; y < h; ++y) {
        if (image.format() == QImage::Format_RGB888) {
            uchar* line = image.scanLine(y);
            for (int x = 0; x < w; ++x)
                std::memset(line + 3 * x, m_cells.IsLit(x, y) ? 0 : 255, 3);
        } else {
            for (int x = 0; x < w; ++x)
                image.setPixelColor(x, y, m_cells.IsLit(x, y) ? QColor(Qt::black) : QColor(Qt::white));
        }
    }
    return 0;
}

QWidget* CLogEditor::Surface() const
{
    return m_pSurface;
}

QRect CLogEditor::SurfaceRect() const
{
    return m_pSurface->geometry();
}

QRect CLogEditor::ImageAreaRect() const
{
    const qreal r = Ratio();
    const int m = MarginPixels(), z = CellPixels();
    return QRectF(m / r, m / r, z * m_nGridWidth / r, z * m_nGridHeight / r).toAlignedRect();
}

qreal CLogEditor::Ratio() const
{
    return m_pSurface->devicePixelRatioF();
}

int CLogEditor::CellPixels() const
{
    return std::max(1, qRound(m_nZoom * Ratio()));
}

int CLogEditor::MarginPixels() const
{
    return qRound(kMargin * Ratio());
}

QRect CLogEditor::ClientRect() const
{
    return m_pClient->rect();
}

QScrollBar* CLogEditor::ScrollBar(Qt::Orientation orientation) const
{
    return orientation == Qt::Horizontal ? m_pHBar : m_pVBar;
}

QRect CLogEditor::CellRect(int x, int y) const
{
    const qreal r = Ratio();
    const int m = MarginPixels(), z = CellPixels();
    return QRectF((m + z * x) / r, (m + z * y) / r, z / r, z / r).toAlignedRect();
}

void CLogEditor::DrawCanvas()
{
    const qreal r = Ratio();
    const int m = MarginPixels(), z = CellPixels();
    m_pSurface->resize(static_cast<int>(std::ceil((z * m_nGridWidth + 2 * m) / r)),
                       static_cast<int>(std::ceil((z * m_nGridHeight + 2 * m) / r)));
    m_pSurface->update();
    UpdateScrollRanges();
}

void CLogEditor::DrawCell(int x, int y)
{
    m_pSurface->update(CellRect(x, y));
}

void CLogEditor::PaintSurface(QPainter& painter, const QRect& rect) const
{
    if (rect.isEmpty())
        return;
    // Painted in the screen's own pixels: on a scaled screen every cell is then of one size.
    const qreal r = Ratio();
    const QRect pixels = QRectF(rect.x() * r, rect.y() * r, rect.width() * r, rect.height() * r).toAlignedRect();
    painter.save();
    painter.scale(1 / r, 1 / r);
    // A paint of what is on screen fits one band; anything taller (a grab of a huge surface, say) goes in
    // bands so that the off-screen image stays bounded.
    const int bandRows = std::max(1, static_cast<int>(kMaxPaintPixels / static_cast<std::size_t>(pixels.width())));
    for (int top = pixels.top(); top <= pixels.bottom(); top += bandRows)
        PaintBand(painter, QRect(pixels.left(), top, pixels.width(), std::min(bandRows, pixels.bottom() + 1 - top)));
    painter.restore();
}

void CLogEditor::PaintBand(QPainter& painter, const QRect& rect) const
{
    const int z = CellPixels();
    const int m = MarginPixels();
    // With the grid on, a lit cell leaves a one-pixel line of background at its right and bottom; a
    // one-pixel cell has no room for it and is drawn whole.
    const int lit = m_bShowGrid && z > 1 ? z - 1 : z;
    const int areaLeft = m, areaRight = m + z * m_nGridWidth; // right exclusive
    const int areaTop = m, areaBottom = m + z * m_nGridHeight;
    const int x0 = rect.left(), x1 = rect.left() + rect.width();
    const int ax0 = std::clamp(areaLeft, x0, x1), ax1 = std::clamp(areaRight, x0, x1);
    const int top = std::clamp(areaTop, rect.top(), rect.bottom() + 1);
    const int bottom = std::clamp(areaBottom, rect.top(), rect.bottom() + 1); // exclusive
    const bool anyArea = ax0 < ax1 && top < bottom;
    const int firstRow = anyArea ? (top - areaTop) / z : 0;
    const int rowCount = anyArea ? (bottom - 1 - areaTop) / z - firstRow + 1 : 0;

    // Every line of the band is one of a few: the margin, and per cell row its lit part and its grid
    // line. Those are drawn off-screen once and each line of the surface is copied from one of them.
    const int patterns = 1 + 2 * rowCount;
    const std::size_t pixels = static_cast<std::size_t>(rect.width()) * static_cast<std::size_t>(patterns);
    if (m_paintMemory.size() < pixels)
        m_paintMemory.resize(pixels); // kept, so that repeated redraws do not allocate
    QImage lines(reinterpret_cast<uchar*>(m_paintMemory.data()), rect.width(), patterns,
                 rect.width() * static_cast<int>(sizeof(QRgb)), QImage::Format_RGB32);
    m_lastPaintSize = rect.size();
    const QRgb margin = nemora::screens::kMarginColour.rgb();
    const QRgb back = m_crBack.rgb();
    const QRgb fore = m_crFore.rgb();

    auto* marginLine = reinterpret_cast<QRgb*>(lines.scanLine(0));
    std::fill(marginLine, marginLine + rect.width(), margin);
    for (int r = 0; r < rowCount; ++r) {
        const int cy = firstRow + r;
        for (int part = 0; part < 2; ++part) {
            auto* line = reinterpret_cast<QRgb*>(lines.scanLine(1 + 2 * r + part));
            std::fill(line, line + (ax0 - x0), margin);
            std::fill(line + (ax0 - x0), line + (ax1 - x0), back);
            std::fill(line + (ax1 - x0), line + rect.width(), margin);
            if (part == 1)
                continue; // the grid line below the cells
            for (int cx = (ax0 - areaLeft) / z, last = (ax1 - 1 - areaLeft) / z; cx <= last; ++cx) {
                if (!m_cells.IsLit(cx, cy))
                    continue;
                const int from = std::max(ax0, areaLeft + cx * z), to = std::min(ax1, areaLeft + cx * z + lit);
                if (from < to)
                    std::fill(line + (from - x0), line + (to - x0), fore);
            }
        }
    }

    const QPainter::CompositionMode mode = painter.compositionMode();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (int sy = rect.top(); sy <= rect.bottom(); ++sy) {
        int pattern = 0;
        if (anyArea && sy >= top && sy < bottom)
            pattern = 1 + 2 * ((sy - areaTop) / z - firstRow) + ((sy - areaTop) % z < lit ? 0 : 1);
        painter.drawImage(QPoint(x0, sy), lines, QRect(0, pattern, rect.width(), 1));
    }
    painter.setCompositionMode(mode);
}

void CLogEditor::UpdateScrollRanges()
{
    const QSize surface = m_pSurface->size();
    const QSize window = size();
    if (m_nRangesZoom == m_nZoom && m_rangesSurface == surface && m_rangesWindow == window)
        return;
    m_nRangesZoom = m_nZoom;
    m_rangesSurface = surface;
    m_rangesWindow = window;

    // Where the surface ends when nothing is scrolled, and the client area the bars leave.
    const QPoint origin = m_pSurface->pos() + QPoint(m_nHScrollPos, m_nVScrollPos) * kScrollStep;
    const int right = origin.x() + surface.width(), bottom = origin.y() + surface.height();
    int clientWidth = window.width(), clientHeight = window.height();
    for (int pass = 0; pass < 2; ++pass) {
        const bool needH = right > clientWidth, needV = bottom > clientHeight;
        clientWidth = window.width() - (needV ? m_pVBar->sizeHint().width() : 0);
        clientHeight = window.height() - (needH ? m_pHBar->sizeHint().height() : 0);
    }
    const int hMax = right > clientWidth ? (right - clientWidth) / kScrollStep : 0;
    const int vMax = bottom > clientHeight ? (bottom - clientHeight) / kScrollStep : 0;

    // Positions beyond the new maxima come back, and the content with them.
    const int hPos = std::min(m_nHScrollPos, hMax), vPos = std::min(m_nVScrollPos, vMax);
    ScrollContent((m_nHScrollPos - hPos) * kScrollStep, (m_nVScrollPos - vPos) * kScrollStep);
    m_nHScrollPos = hPos;
    m_nVScrollPos = vPos;

    const int barW = vMax > 0 ? m_pVBar->sizeHint().width() : 0;
    const int barH = hMax > 0 ? m_pHBar->sizeHint().height() : 0;
    m_pClient->setGeometry(0, 0, window.width() - barW, window.height() - barH);
    m_pHBar->setRange(0, hMax);
    m_pHBar->setValue(hPos);
    m_pHBar->setGeometry(0, window.height() - barH, window.width() - barW, barH);
    m_pHBar->setVisible(hMax > 0);
    m_pVBar->setRange(0, vMax);
    m_pVBar->setValue(vPos);
    m_pVBar->setGeometry(window.width() - barW, 0, barW, window.height() - barH);
    m_pVBar->setVisible(vMax > 0);
}

void CLogEditor::ScrollContent(int dx, int dy)
{
    if (dx != 0 || dy != 0) {
        m_pClient->scroll(dx, dy);
        m_pClient->update();
    }
}

void CLogEditor::OnScroll(Qt::Orientation orientation, int nAction)
{
    QScrollBar* bar = ScrollBar(orientation);
    int& pos = orientation == Qt::Horizontal ? m_nHScrollPos : m_nVScrollPos;
    int next = pos;
    switch (nAction) {
    case QAbstractSlider::SliderSingleStepSub:
        next = pos - 1 < bar->minimum() ? pos : pos - 1;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        next = pos + 1 > bar->maximum() ? pos : pos + 1;
        break;
    case QAbstractSlider::SliderMove:
        next = std::clamp(bar->sliderPosition(), bar->minimum(), bar->maximum());
        break;
    default: // page steps, home and end are not acted upon
        break;
    }
    bar->setSliderPosition(next);
    if (next == pos)
        return;
    const int delta = (pos - next) * kScrollStep;
    pos = next;
    if (orientation == Qt::Horizontal)
        ScrollContent(delta, 0);
    else
        ScrollContent(0, delta);
}

void CLogEditor::OnZoomTrack(int nPosition)
{
    if (m_nHScrollPos != 0 || m_nVScrollPos != 0) {
        m_pZoomSlider->setValue(m_nZoom);
        return;
    }
    nPosition = std::clamp(nPosition, kMinZoom, kMaxZoom);
    if (nPosition == m_nZoom)
        return;
    m_nZoom = nPosition;
    DrawCanvas();
    UpdateScrollRanges();
    m_pZoomText->setText(QString::asprintf(tr("Zoom:x%d").toUtf8().constData(), m_nZoom));
}

void CLogEditor::OnGridSwitch(bool bOn)
{
    m_bShowGrid = bOn;
    DrawCanvas();
}

void CLogEditor::OnSchemeChanged(int nIndex)
{
    if (nIndex < 0 || nIndex >= nemora::screens::kSchemeCount)
        return;
    m_crFore = nemora::screens::SchemeAt(nIndex).fore;
    m_crBack = nemora::screens::SchemeAt(nIndex).back;
    DrawCanvas();
}

QPoint CLogEditor::UnboundedCell(QPointF q) const
{
    const qreal r = Ratio();
    const int m = MarginPixels(), z = CellPixels();
    const auto cell = [&](qreal at) { return static_cast<int>(std::floor((std::floor(at * r) - m) / z)); };
    return {cell(q.x()), cell(q.y())};
}

std::optional<QPoint> CLogEditor::CellAt(QPointF q) const
{
    const QPoint cell = UnboundedCell(q);
    if (cell.x() < 0 || cell.y() < 0 || cell.x() >= m_nGridWidth || cell.y() >= m_nGridHeight)
        return std::nullopt;
    return cell;
}

std::optional<QPoint> CLogEditor::HitTest(QPoint clientPoint) const
{
    const QRect surface = SurfaceRect();
    if (!surface.contains(clientPoint))
        return std::nullopt;
    return CellAt(QPointF(clientPoint - surface.topLeft()));
}

void CLogEditor::SetCell(std::optional<QPoint> cell, bool bLit)
{
    if (!cell || m_cells.IsLit(cell->x(), cell->y()) == bLit)
        return;
    if (m_bStroke && !m_strokeBefore)
        m_strokeBefore = m_cells;
    m_cells.SetLit(cell->x(), cell->y(), bLit);
    DrawCell(cell->x(), cell->y());
}

void CLogEditor::StrokeTo(QPoint cell, bool bLit)
{
    const QPoint from = m_strokeCell.value_or(cell);
    m_strokeCell = cell;
    nemora::ForEachCellOnLine(from.x(), from.y(), cell.x(), cell.y(), [&](int x, int y) {
        if (x >= 0 && y >= 0 && x < m_nGridWidth && y < m_nGridHeight)
            SetCell(QPoint(x, y), bLit);
    });
}

void CLogEditor::ShowPosition(QPoint cell)
{
    if (cell == m_lastShown)
        return;
    m_lastShown = cell;
    m_pPositionText->setText(QString::asprintf(tr("Position:(%d,%d)").toUtf8().constData(), cell.x(), cell.y()));
}

void CLogEditor::MouseMove(QPointF p, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    const QRect surface = SurfaceRect();
    if (surface.contains(p.toPoint()))
        m_lastPoint = p.toPoint() - surface.topLeft();
    else
        m_lastPoint = QPoint(0, 0);
    modifiers &= ~Qt::KeypadModifier;
    const QPoint cell = UnboundedCell(p - QPointF(surface.topLeft()));
    const bool plain = modifiers == Qt::NoModifier;
    if ((buttons == Qt::LeftButton || buttons == Qt::RightButton) && plain) {
        if (m_bStroke)
            StrokeTo(cell, buttons == Qt::LeftButton);
        else
            SetCell(HitTest(p.toPoint()), buttons == Qt::LeftButton);
    } else if (m_bStroke && buttons != Qt::NoButton) {
        m_strokeCell = cell;              // the line goes on from here when the plain button is back
    } else if (buttons == Qt::NoButton) { // the read-out stands still while any button is held
        ShowPosition(CellAt(QPointF(m_lastPoint)).value_or(QPoint(0, 0)));
    }
}

void CLogEditor::EndStroke()
{
    m_bStroke = false;
    m_strokeCell.reset();
    if (!m_strokeBefore)
        return;
    nemora::MonoImage before = std::move(*m_strokeBefore);
    m_strokeBefore.reset();
    emit PixelsEdited(before);
}

bool CLogEditor::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched != m_pClient)
        return QWidget::eventFilter(pWatched, pEvent);
    switch (pEvent->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* e = static_cast<QMouseEvent*>(pEvent);
        if (e->button() == Qt::LeftButton || e->button() == Qt::RightButton) {
            m_bStroke = true;
            m_strokeCell.reset();
            StrokeTo(UnboundedCell(e->position() - QPointF(SurfaceRect().topLeft())), e->button() == Qt::LeftButton);
        }
        return true;
    }
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(pEvent);
        MouseMove(e->position(), e->buttons(), e->modifiers());
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(pEvent)->buttons() == Qt::NoButton)
            EndStroke();
        return true;
    case QEvent::Wheel: {
        auto* e = static_cast<QWheelEvent*>(pEvent);
        QScrollBar* bar = (e->modifiers() & Qt::ShiftModifier) || !m_pVBar->isVisible() ? m_pHBar : m_pVBar;
        if (bar->isVisible())
            QApplication::sendEvent(bar, pEvent);
        return true;
    }
    default:
        return QWidget::eventFilter(pWatched, pEvent);
    }
}

void CLogEditor::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    UpdateScrollRanges();
}

void CLogEditor::showEvent(QShowEvent* pEvent)
{
    QWidget::showEvent(pEvent);
    UpdateScrollRanges();
}

QSize CLogEditor::sizeHint() const
{
    return {m_pSurface->x() + m_pSurface->width() + kMargin, m_pSurface->y() + m_pSurface->height() + kMargin};
}
