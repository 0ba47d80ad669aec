#pragma once

#include "settings/parameter_values.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QToolButton;

namespace nemora::settings {

// A pair of arrows beside a buddy box. It keeps no value: each step is reported through DeltaPos with
// its signed size, and the page decides what the box shows. A held arrow repeats, with the steps of the
// acceleration table; with a buddy, the Up and Down keys in the buddy act as the arrows.
class UpDownControl : public QWidget {
    Q_OBJECT
public:
    explicit UpDownControl(QWidget* pParent = nullptr);

    void SetBuddy(QWidget* pBuddy);
    // Lower and upper end; with lower below upper the up arrow counts upward.
    void SetRange(int nLower, int nUpper);
    int Lower() const { return m_nLower; }
    int Upper() const { return m_nUpper; }
    void SetAccel(std::vector<UpDownAccel> table) { m_accel = std::move(table); }

    QToolButton* UpArrow() const { return m_pUp; }
    QToolButton* DownArrow() const { return m_pDown; }

    // Milliseconds of a steady clock; replaced by tests to hold an arrow without waiting.
    void SetClock(std::function<std::int64_t()> clock) { m_clock = std::move(clock); }

    // How long a press waits before it repeats, and then the time between steps.
    static constexpr int kRepeatDelayMs = 400;
    static constexpr int kRepeatIntervalMs = 80;

signals:
    void DeltaPos(int nDelta);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void Press(int nDirection);
    void Release();
    void Step();

    QToolButton* m_pUp;
    QToolButton* m_pDown;
    QWidget* m_pBuddy = nullptr;
    int m_nLower = 0;
    int m_nUpper = 100;
    std::vector<UpDownAccel> m_accel{{0, 1}};
    std::function<std::int64_t()> m_clock;
    QTimer m_repeat;
    int m_nDirection = 0;
    std::int64_t m_nPressStart = 0;
};

} // namespace nemora::settings
