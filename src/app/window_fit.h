#pragma once

#include <QRect>
#include <QSize>

namespace nemora::app {

// Where the main window goes when it opens. A saved layout (restored) whose frame lies on the available
// area stays as it is. Otherwise the window grows by what its page lacks to be shown whole, never beyond
// the available area, and moves onto it.
//   frame       the window with its frame, where it would open
//   decoration  what the frame adds to the client area (zero when not known yet)
//   lacking     the room the page lacks in either direction (negative: to spare)
// The result is the client area's size and the frame's top-left corner.
struct WindowPlace {
    QPoint framePosition;
    QSize clientSize;
};
WindowPlace FitWindow(const QRect& frame, QSize decoration, QSize lacking, const QRect& available, bool restored);

} // namespace nemora::app
