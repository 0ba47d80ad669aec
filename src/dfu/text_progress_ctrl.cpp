#include "dfu/text_progress_ctrl.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

CTextProgressCtrl::CTextProgressCtrl(QWidget* pParent) : QFrame(pParent)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    m_crBarClr = palette().color(QPalette::Highlight);
    m_crTextClr = palette().color(QPalette::Highlight);
    // The whole client area is painted every time; nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CTextProgressCtrl::SetRange(int nLower, int nUpper)
{
    m_nMin = nLower;
    m_nMax = nUpper;
}

double CTextProgressCtrl::Fraction() const
{
    if (m_nMin >= m_nMax) {
        return 0.0;
    }
    return (static_cast<double>(m_nPos) - m_nMin) / (static_cast<double>(m_nMax) - m_nMin);
}

int CTextProgressCtrl::SetPos(int nPos)
{
    const int nOld = m_nPos;
    m_nPos = nPos;
    const int nBarWidth = static_cast<int>(Fraction() * contentsRect().width());
    if (nBarWidth != m_nBarWidth) {
        m_nBarWidth = nBarWidth;
        repaint();
    }
    return nOld;
}

void CTextProgressCtrl::SetShowText(bool bShow)
{
    if (bShow != m_bShowText) {
        update();
    }
    m_bShowText = bShow;
}

void CTextProgressCtrl::SetWindowText(const QString& strText)
{
    setAccessibleName(strText);
    if (strText != m_strText) {
        m_strText = strText;
        update();
    }
}

QString CTextProgressCtrl::DisplayText() const
{
    if (!m_strText.isEmpty()) {
        return m_strText;
    }
    // In integers: 0.29 * 100 in floating point truncates to 28.
    const long long range = static_cast<long long>(m_nMax) - m_nMin;
    const long long percent = range > 0 ? (static_cast<long long>(m_nPos) - m_nMin) * 100 / range : 0;
    return QString::asprintf("%lld%%", percent);
}

int CTextProgressCtrl::SplitAt(const QRect& client) const
{
    return client.left() + static_cast<int>((client.right() + 1 - client.left()) * Fraction());
}

void CTextProgressCtrl::paintEvent(QPaintEvent* pEvent)
{
    QFrame::paintEvent(pEvent); // the border
    if (m_nMin >= m_nMax) {
        return;
    }
    // The widget paints into its window's back buffer, which reaches the screen in one transfer.
    QPainter painter(this);
    const QRect client = contentsRect();
    const int nSplit = SplitAt(client);
    const QRect barPart(client.left(), client.top(), nSplit - client.left(), client.height());
    const QRect restPart(nSplit, client.top(), client.right() + 1 - nSplit, client.height());
    painter.fillRect(barPart, m_crBarClr);
    painter.fillRect(restPart, m_crBgClr);
    if (!m_bShowText) {
        return;
    }
    const QString strText = DisplayText();
    const int nFlags = Qt::AlignCenter | Qt::TextSingleLine;
    painter.setFont(font());
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setClipRect(barPart);
    painter.setPen(m_crTextBkClr);
    painter.drawText(client, nFlags, strText);
    painter.setClipRect(restPart);
    painter.setPen(m_crTextClr);
    painter.drawText(client, nFlags, strText);
}

void CTextProgressCtrl::resizeEvent(QResizeEvent* pEvent)
{
    QFrame::resizeEvent(pEvent);
    m_nBarWidth = -1;
}
