#include "settings/chart_page.h"

#include "widgets/dialog_units.h"
#include "widgets/message_box_dialog.h"
#include "widgets/tab_order.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace nemora::settings {

namespace {

const QColor kChartBackground(236, 233, 216);
const QColor kGridColour(192, 192, 192);
const QColor kGuideColour(0, 128, 0);
const QColor kHighlightGuideColour(255, 0, 0);
const QColor kCurveColour(0, 0, 255);
const QColor kMarkerFill(0, 255, 255);

QRect ToQRect(const ChartRect& rc)
{
    return {rc.left, rc.top, rc.Width(), rc.Height()};
}

} // namespace

// The dialog font of the charts. The Windows face comes first; elsewhere the nearest sans serif stands in.
QFont ChartPage::ChartFont()
{
    QFont font;
    font.setFamilies(
        {"MS Shell Dlg", "MS Shell Dlg 2", "Tahoma", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"});
    font.setPointSize(9);
    return font;
}

namespace {

// Texts are single lines without tab expansion, and may run past their small rectangles rather than be cut.
constexpr int kTextFlags = Qt::TextSingleLine | Qt::TextDontClip;

} // namespace

ChartPage::ChartPage(QWidget* pParent, const QRect& frameDu)
    : QWidget(pParent), m_pDefault(new QPushButton(tr("Default"), this)), m_pChartFrame(new QWidget(this)),
      m_chartFont(ChartFont())
{
    const nemora::widgets::DialogUnitScale du = nemora::widgets::DialogUnitsFor(font());
    m_pDefault->setGeometry(nemora::widgets::DialogRect(du, 29, 17, 82, 18));
    m_pChartFrame->setGeometry(
        nemora::widgets::DialogRect(du, frameDu.x(), frameDu.y(), frameDu.width(), frameDu.height()));
    m_pChartFrame->hide(); // only marks where the chart goes
    m_formSize = QSize(du.Dx(frameDu.x() + frameDu.width() + 12), du.Dy(frameDu.y() + frameDu.height() + 10));
    resize(m_formSize);

    // The page paints every pixel itself from the off-screen image, so nothing erases it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setProperty(nemora::widgets::kFocusAnchor, m_pChartFrame->geometry().topLeft()); // below "Default"
    setTabOrder(m_pDefault, this);
}

QRect ChartPage::GetChartRect() const
{
    return m_pChartFrame->geometry();
}

ChartRect ChartPage::ToChartRect(const QRect& rc)
{
    return {rc.left(), rc.top(), rc.left() + rc.width(), rc.top() + rc.height()};
}

QSize ChartPage::ImageSize() const
{
    const qreal dpr = devicePixelRatioF();
    return {static_cast<int>(std::ceil(width() * dpr)), static_cast<int>(std::ceil(height() * dpr))};
}

bool ChartPage::ImageMatchesPage() const
{
    return !m_image.isNull() && m_image.size() == ImageSize() && m_image.devicePixelRatio() == devicePixelRatioF();
}

bool ChartPage::EnsureImage()
{
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = ImageSize();
    if (pixels.isEmpty())
        return false;
    if (!ImageMatchesPage()) {
        m_image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(dpr);
        m_image.fill(Qt::white);
        m_bFreshImage = false;
    }
    return true;
}

int ChartPage::RedrawChart(int x, int y, bool pressed)
{
    const QRect rc = GetChartRect();
    if (!EnsureImage()) {
        QPainter none;
        return DrawChart(none, rc, x, y, pressed);
    }
    QPainter dc(&m_image);
    dc.fillRect(rc, Qt::white);
    const int hit = DrawChart(dc, rc, x, y, pressed);
    DrawFocusFrame(dc);
    dc.end();
    m_bFreshImage = true;
    update(rc);
    return hit;
}

int ChartPage::PaintChart(QPainter& dc, int x, int y, bool pressed)
{
    if (!EnsureImage()) {
        QPainter none;
        return DrawChart(none, GetChartRect(), x, y, pressed);
    }
    QPainter off(&m_image);
    off.fillRect(rect(), Qt::white);
    const int hit = DrawChart(off, GetChartRect(), x, y, pressed);
    DrawFocusFrame(off);
    off.end();
    dc.drawImage(QPoint(0, 0), m_image);
    m_bFreshImage = false;
    return hit;
}

void ChartPage::paintEvent(QPaintEvent* pEvent)
{
    QPainter dc(this);
    if (m_bFreshImage && ImageMatchesPage()) {
        const qreal dpr = m_image.devicePixelRatio();
        // A redraw has just been made off-screen: copy it as it is.
        const QRect r = pEvent->rect();
        dc.drawImage(QRectF(r), m_image, QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr));
        m_bFreshImage = false;
        return;
    }
    PaintChart(dc, m_nMouseX, m_nMouseY, false);
}

void ChartPage::DrawFocusFrame(QPainter& dc) const
{
    if (!hasFocus())
        return;
    dc.save();
    dc.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 1, Qt::DotLine));
    dc.setBrush(Qt::NoBrush);
    dc.drawRect(GetChartRect().adjusted(0, 0, -1, -1));
    dc.restore();
}

void ChartPage::focusInEvent(QFocusEvent* pEvent)
{
    QWidget::focusInEvent(pEvent);
    const Qt::FocusReason reason = pEvent->reason();
    m_bKeyboardFocus = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                       reason == Qt::ShortcutFocusReason || reason == Qt::OtherFocusReason;
    if (m_bKeyboardFocus) {
        // A point is highlighted for the keys: the one last under the pointer, else the first.
        const QRect chart = GetChartRect();
        if (!chart.contains(m_nMouseX, m_nMouseY))
            m_nMouseY = chart.center().y();
        if (RedrawChart(m_nMouseX, m_nMouseY, false) < 0) {
            m_nMouseX = ColumnX(m_view.geometry, 0);
            RedrawChart(m_nMouseX, m_nMouseY, false);
        }
        return;
    }
    RedrawChart(m_nMouseX, m_nMouseY, false);
}

void ChartPage::focusOutEvent(QFocusEvent* pEvent)
{
    QWidget::focusOutEvent(pEvent);
    m_bKeyboardFocus = false;
    RedrawChart(m_nMouseX, m_nMouseY, false);
}

void ChartPage::OnMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y)
{
    if (!GetChartRect().contains(x, y)) {
        m_bPointerOverChart = false;
        return;
    }
    m_bPointerOverChart = true;
    m_bKeyboardFocus = false; // the pointer leads again
    const bool pressed = buttons == Qt::LeftButton &&
                         !(modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!pressed)
        m_nMouseX = x;
    m_nMouseY = y;
    RedrawChart(m_nMouseX, y, pressed);
}

void ChartPage::mouseMoveEvent(QMouseEvent* pEvent)
{
    const QPoint pos = pEvent->position().toPoint();
    OnMouseMove(pEvent->buttons(), pEvent->modifiers(), pos.x(), pos.y());
    // The arrow keys act on the chart under the pointer, so the chart takes the keyboard when the pointer
    // is over it and nothing of this page has it yet.
    if (m_bPointerOverChart && isActiveWindow()) {
        QWidget* focus = QApplication::focusWidget();
        if (focus != this && !isAncestorOf(focus))
            setFocus(Qt::MouseFocusReason);
    }
    QWidget::mouseMoveEvent(pEvent);
}

void ChartPage::leaveEvent(QEvent* pEvent)
{
    m_bPointerOverChart = false;
    QWidget::leaveEvent(pEvent);
}

void ChartPage::keyPressEvent(QKeyEvent* pEvent)
{
    const int k = m_view.hit;
    const bool plain = !(pEvent->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!(m_bPointerOverChart || m_bKeyboardFocus) || k < 0 || !plain) {
        QWidget::keyPressEvent(pEvent);
        return;
    }
    const auto point = static_cast<std::size_t>(k);
    switch (pEvent->key()) {
    case Qt::Key_Up:
        StepPoint(point, 1);
        break;
    case Qt::Key_Down:
        StepPoint(point, -1);
        break;
    case Qt::Key_Left:
        if (point > 0)
            m_nMouseX = ColumnX(m_view.geometry, point - 1);
        break;
    case Qt::Key_Right:
        if (point + 1 < kChartPointCount)
            m_nMouseX = ColumnX(m_view.geometry, point + 1);
        break;
    default:
        QWidget::keyPressEvent(pEvent);
        return;
    }
    RedrawChart(m_nMouseX, m_nMouseY, false);
    pEvent->accept();
}

void ChartPage::PaintView(QPainter& dc, const ChartView& view, bool bMarkersAfterCurve)
{
    const ChartGeometry& g = view.geometry;
    dc.save();
    dc.setClipRect(GetChartRect());
    dc.setRenderHint(QPainter::Antialiasing, false);
    dc.setFont(m_chartFont);
    dc.setBackgroundMode(Qt::TransparentMode);
    dc.fillRect(ToQRect(g.inner), kChartBackground);

    // Lines are a whole number of device pixels wide at any device pixel ratio, so they stay even and
    // sharp on a 150 % display as on a 100 % one.
    const qreal dpr = dc.device() ? dc.device()->devicePixelRatioF() : 1.0;
    auto pen = [dpr](const QColor& colour, int width, Qt::PenStyle style = Qt::SolidLine) {
        QPen p(colour, std::max(1, qRound(width * dpr)), style, Qt::FlatCap, Qt::MiterJoin);
        p.setCosmetic(true);
        return p;
    };
    const QPen black = pen(Qt::black, 1);
    dc.setPen(black);
    dc.setBrush(Qt::NoBrush);
    const QPoint frame[] = {{g.x0, g.y0}, {g.x1, g.y0}, {g.x1, g.y1}, {g.x0, g.y1}};
    dc.drawPolygon(frame, 4);

    for (const AxisTick& tick : view.axis.ticks) {
        dc.drawLine(g.x0 - tick.length, tick.y, g.x0, tick.y);
        if (tick.labelled)
            dc.drawText(ToQRect(AxisLabelRect(g, tick)), Qt::AlignRight | Qt::AlignVCenter | kTextFlags,
                        QString::number(tick.value));
    }
    dc.setPen(pen(kGridColour, 1, Qt::DotLine));
    for (int y : view.axis.gridY)
        dc.drawLine(g.x0, y, g.x1, y);

    dc.setPen(black);
    for (std::size_t k = 0; k < kChartPointCount; ++k) {
        const int x = g.PointX(k);
        dc.drawLine(x, g.y1, x, g.y1 + 10);
        dc.drawText(ToQRect(TimeLabelRect(g, k)), Qt::AlignRight | Qt::AlignVCenter | kTextFlags,
                    QString::fromStdString(TimeLabel(k)));
    }

    auto drawMarker = [&dc, &black](const ChartRect& m) {
        if (m.Width() < 1 || m.Height() < 1)
            return;
        dc.setPen(black);
        dc.setBrush(Qt::NoBrush);
        dc.drawRect(QRect(m.left, m.top, m.Width() - 1, m.Height() - 1));
        if (m.Width() > 2 && m.Height() > 2)
            dc.fillRect(QRect(m.left + 1, m.top + 1, m.Width() - 2, m.Height() - 2), kMarkerFill);
    };
    QPen curve = pen(kCurveColour, 2);
    curve.setCapStyle(Qt::RoundCap);
    for (const ChartPointView& p : view.points) {
        if (p.guide) {
            dc.setPen(pen(p.redGuide ? kHighlightGuideColour : kGuideColour, 1, Qt::DotLine));
            dc.drawLine(p.x, g.y1, p.x, g.y0);
        }
        if (!bMarkersAfterCurve)
            drawMarker(p.marker);
        if (p.segment) {
            dc.setPen(curve);
            dc.setRenderHint(QPainter::Antialiasing, true);
            dc.drawLine(p.segmentLine.xa, p.segmentLine.ya, p.segmentLine.xb, p.segmentLine.yb);
            dc.setRenderHint(QPainter::Antialiasing, false);
        }
    }
    if (bMarkersAfterCurve) {
        for (const ChartPointView& p : view.points)
            drawMarker(p.marker);
    }

    dc.setPen(black);
    dc.drawText(ToQRect(StatusRect(g)), Qt::AlignLeft | Qt::AlignVCenter | kTextFlags,
                QString::fromUtf8(view.status.c_str()));
    dc.restore();
}

int ChartPage::LoadPoints(const void* pData, int nLength)
{
    const int copied = LoadChartPoints(m_Points, pData, nLength);
    if (copied >= 0)
        RedrawChart(m_nMouseX, m_nMouseY, false);
    return copied;
}

int ChartPage::CopyPoints(void* pBuffer, int nLength) const
{
    return CopyChartPoints(m_Points, pBuffer, nLength);
}

void ChartPage::AskAndRestore(const QString& strQuestion, const QString& strNotice)
{
    CMessageBoxDialog question(this, strQuestion, tr("Warning"), nemora::widgets::kBoxYesNoQuestion);
    if (question.DoModal() == nemora::widgets::kIdNo)
        return;
    RestoreDefaults();
    CMessageBoxDialog notice(this, strNotice, tr("Hints"), nemora::widgets::kBoxInformation);
    notice.DoModal();
}

} // namespace nemora::settings
