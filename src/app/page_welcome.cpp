#include "app/page_welcome.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

QFont DialogFont(int points)
{
    QFont font; // the desktop's sans face stands in for the old dialog face
    font.setPointSize(points);
    return font;
}

} // namespace

CPageWelcome::CPageWelcome(QWidget* pParent, std::function<void()> checkMagicFile)
    : QWidget(pParent), m_checkMagicFile(std::move(checkMagicFile)), m_staticTitle(new QLabel(this)),
      m_staticHint(new QLabel(this))
{
    m_staticTitle->setObjectName("m_staticTitle");
    m_staticHint->setObjectName("m_staticHint");
}

QImage CPageWelcome::WelcomePicture()
{
    QImage image(251, 199, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The device, standing, with its screen and fire key.
    p.setPen(QPen(QColor(40, 40, 48), 3));
    p.setBrush(QColor(225, 228, 235));
    p.drawRoundedRect(QRectF(40, 20, 70, 160), 14, 14);
    p.setBrush(QColor(20, 24, 32));
    p.drawRect(QRectF(52, 40, 46, 26));
    p.setPen(Qt::white);
    QFont small;
    small.setPixelSize(9);
    small.setBold(true);
    p.setFont(small);
    p.drawText(QRectF(52, 40, 46, 26), Qt::AlignCenter, "DFU");
    p.setPen(QPen(QColor(40, 40, 48), 3));
    p.setBrush(QColor(230, 80, 40));
    p.drawEllipse(QPointF(75, 95), 11, 11);
    // The USB cable from the bottom of the device to the plug on the right.
    QPainterPath cable;
    cable.moveTo(75, 180);
    cable.cubicTo(80, 198, 150, 196, 170, 140);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(60, 60, 70), 4));
    p.drawPath(cable);
    p.setBrush(QColor(160, 165, 175));
    p.setPen(QPen(QColor(40, 40, 48), 2));
    p.drawRect(QRectF(160, 110, 20, 30));
    p.drawRect(QRectF(164, 96, 12, 14));
    // An arrow: plug it in.
    p.setPen(QPen(QColor(0, 0, 255), 3));
    p.drawLine(QPointF(215, 60), QPointF(185, 95));
    p.drawLine(QPointF(185, 95), QPointF(188, 82));
    p.drawLine(QPointF(185, 95), QPointF(198, 92));
    return image;
}

bool CPageWelcome::OnInitDialog()
{
    m_fontTitle = DialogFont(24);
    const QRect client = rect();
    const int cx = (client.left() + client.right() + 1) / 2;
    const int cy = (client.top() + client.bottom() + 1) / 2;

    const QImage picture = WelcomePicture();
    m_pPicture = new QLabel(this);
    m_pPicture->setObjectName("m_pPicture");
    m_pPicture->setAlignment(Qt::AlignCenter);
    m_pPicture->setPixmap(QPixmap::fromImage(picture));
    m_pPicture->setGeometry(cx, cy, picture.width() + 4, picture.height() + 4);
    m_pPicture->show();

    if (m_checkMagicFile)
        m_checkMagicFile();

    m_staticTitle->setText(tr("Welcome to use\u300eLumecraft\u300f"));
    m_staticTitle->setFont(m_fontTitle);
    QPalette blue = m_staticTitle->palette();
    // On a dark desktop the design's pure blue is all but invisible: a lighter blue stands in for it.
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    blue.setColor(QPalette::WindowText, dark ? QColor(120, 150, 255) : QColor(0, 0, 255));
    m_staticTitle->setPalette(blue);
    m_staticTitle->setAttribute(Qt::WA_TranslucentBackground);
    m_staticTitle->setGeometry(cx - 100, cy - 100, 600, 60);

    m_staticHint->setText(tr("While connecting to your device, please shut down the device first and holding "
                             "fire key, then plug in USB cable"));
    m_fontHint = DialogFont(12);
    m_staticHint->setFont(m_fontHint);
    m_staticHint->setWordWrap(true);
    m_staticHint->setGeometry(cx - 100, cy + 300, 600, 60);
    return true;
}

void CPageWelcome::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    if (!isVisible() || !m_pPicture)
        return;
    const QRect client = rect();
    for (QWidget* control : {static_cast<QWidget*>(m_pPicture), static_cast<QWidget*>(m_staticTitle),
                             static_cast<QWidget*>(m_staticHint)}) {
        const QRect r = control->geometry();
        control->move(client.left() + (client.width() - r.width()) / 2, r.top());
    }
}

QSize CPageWelcome::sizeHint() const
{
    constexpr int kMargin = 20;
    int width = 0, bottom = 0;
    for (const QWidget* w : {static_cast<const QWidget*>(m_pPicture), static_cast<const QWidget*>(m_staticTitle),
                             static_cast<const QWidget*>(m_staticHint)}) {
        if (!w)
            continue;
        width = std::max(width, w->width());
        bottom = std::max(bottom, w->geometry().bottom() + 1);
    }
    return {width + 2 * kMargin, bottom + kMargin};
}
