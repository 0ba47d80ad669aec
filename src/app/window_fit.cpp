#include "app/window_fit.h"

#include <algorithm>

namespace nemora::app {

WindowPlace FitWindow(const QRect& frame, QSize decoration, QSize lacking, const QRect& available, bool restored)
{
    const QSize client = frame.size() - decoration;
    if (restored && available.contains(frame))
        return {frame.topLeft(), client};
    const QSize room = (available.size() - decoration).expandedTo(QSize(1, 1));
    const QSize wanted = client + lacking.expandedTo(QSize(0, 0));
    const QSize fitted = wanted.boundedTo(room).expandedTo(client.boundedTo(room));
    const QSize outer = fitted + decoration;
    const int x =
        std::clamp(frame.left(), available.left(), std::max(available.left(), available.right() + 1 - outer.width()));
    const int y =
        std::clamp(frame.top(), available.top(), std::max(available.top(), available.bottom() + 1 - outer.height()));
    return {{x, y}, fitted};
}

} // namespace nemora::app
