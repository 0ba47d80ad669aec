#include "widgets/tab_order.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QVariant>
#include <QWidget>

#include <algorithm>

namespace nemora::widgets {

namespace {

// Widgets on one line may stand a few pixels apart in height (a box beside its label).
constexpr int kLineTolerance = 8;

bool TakesTab(const QWidget* w)
{
    if (!(w->focusPolicy() & Qt::TabFocus) || w->focusProxy() != nullptr)
        return false;
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
        if (qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractSpinBox*>(p))
            return false;
    }
    return true;
}

struct Placed {
    QWidget* widget;
    QPoint at;
};

} // namespace

void OrderTabFocus(const std::vector<QWidget*>& roots)
{
    QWidget* previous = nullptr;
    for (QWidget* root : roots) {
        if (!root)
            continue;
        std::vector<Placed> placed;
        for (QWidget* w : root->findChildren<QWidget*>()) {
            // A widget that hands its focus to a part of itself (a tab widget to its bar) would stand at
            // its old place in the chain and send Tab back to that part: the part alone takes its turn.
            if (QWidget* part = w->focusProxy(); part && w->isAncestorOf(part)) {
                w->setFocusProxy(nullptr);
                w->setFocusPolicy(Qt::NoFocus);
            }
            if (!TakesTab(w))
                continue;
            const QVariant anchor = w->property(kFocusAnchor);
            placed.push_back({w, w->mapTo(root, anchor.isValid() ? anchor.toPoint() : QPoint(0, 0))});
        }
        std::stable_sort(placed.begin(), placed.end(),
                         [](const Placed& a, const Placed& b) { return a.at.y() < b.at.y(); });
        // Lines, each from left to right.
        for (auto line = placed.begin(); line != placed.end();) {
            auto end = line;
            while (end != placed.end() && end->at.y() - line->at.y() <= kLineTolerance)
                ++end;
            std::stable_sort(line, end, [](const Placed& a, const Placed& b) { return a.at.x() < b.at.x(); });
            line = end;
        }
        for (const Placed& p : placed) {
            if (previous)
                QWidget::setTabOrder(previous, p.widget);
            previous = p.widget;
        }
    }
}

} // namespace nemora::widgets
