#include "settings/up_down_control.h"

#include <QKeyEvent>
#include <QToolButton>

#include <chrono>

namespace nemora::settings {

UpDownControl::UpDownControl(QWidget* pParent)
    : QWidget(pParent), m_pUp(new QToolButton(this)), m_pDown(new QToolButton(this)), m_clock([] {
          return std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now().time_since_epoch())
              .count();
      })
{
    m_pUp->setArrowType(Qt::UpArrow);
    m_pDown->setArrowType(Qt::DownArrow);
    for (QToolButton* arrow : {m_pUp, m_pDown}) {
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setAutoRaise(false);
    }
    connect(m_pUp, &QToolButton::pressed, this, [this] { Press(m_nLower <= m_nUpper ? 1 : -1); });
    connect(m_pDown, &QToolButton::pressed, this, [this] { Press(m_nLower <= m_nUpper ? -1 : 1); });
    connect(m_pUp, &QToolButton::released, this, &UpDownControl::Release);
    connect(m_pDown, &QToolButton::released, this, &UpDownControl::Release);
    connect(&m_repeat, &QTimer::timeout, this, [this] {
        m_repeat.setInterval(kRepeatIntervalMs);
        Step();
    });
}

void UpDownControl::SetBuddy(QWidget* pBuddy)
{
    if (m_pBuddy == pBuddy)
        return;
    if (m_pBuddy)
        m_pBuddy->removeEventFilter(this);
    m_pBuddy = pBuddy;
    if (m_pBuddy)
        m_pBuddy->installEventFilter(this);
}

void UpDownControl::SetRange(int nLower, int nUpper)
{
    m_nLower = nLower;
    m_nUpper = nUpper;
}

void UpDownControl::resizeEvent(QResizeEvent* pEvent)
{
    const int half = height() / 2;
    m_pUp->setGeometry(0, 0, width(), half);
    m_pDown->setGeometry(0, half, width(), height() - half);
    QWidget::resizeEvent(pEvent);
}

void UpDownControl::Press(int nDirection)
{
    m_nDirection = nDirection;
    m_nPressStart = m_clock();
    Step();
    m_repeat.start(kRepeatDelayMs);
}

void UpDownControl::Release()
{
    m_repeat.stop();
    m_nDirection = 0;
}

void UpDownControl::Step()
{
    if (m_nDirection == 0)
        return;
    emit DeltaPos(m_nDirection * AcceleratedStep(m_accel, m_clock() - m_nPressStart));
}

bool UpDownControl::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pBuddy && (pEvent->type() == QEvent::KeyPress || pEvent->type() == QEvent::KeyRelease)) {
        auto* key = static_cast<QKeyEvent*>(pEvent);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            if (pEvent->type() == QEvent::KeyPress) {
                const int direction = (key->key() == Qt::Key_Up) == (m_nLower <= m_nUpper) ? 1 : -1;
                if (!key->isAutoRepeat())
                    m_nPressStart = m_clock();
                emit DeltaPos(direction * AcceleratedStep(m_accel, m_clock() - m_nPressStart));
            }
            return true;
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

} // namespace nemora::settings
