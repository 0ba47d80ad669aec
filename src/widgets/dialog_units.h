#pragma once

#include "widgets/message_box_model.h"

#include <QFont>
#include <QRect>

class QTabWidget;
class QWidget;
class QSize;

namespace nemora::widgets {

// The pixel size of 1000 x 1000 dialog units for a font: x = units x average character width / 4,
// y = units x character height / 8, with the average width measured over the 52 letters.
DialogUnitScale DialogUnitsFor(const QFont& font);

// A rectangle given in dialog units, in pixels.
inline QRect DialogRect(const DialogUnitScale& du, int x, int y, int w, int h)
{
    return {du.Dx(x), du.Dy(y), du.Dx(w), du.Dy(h)};
}

// The main tab control of a view or a page ("m_MainTabCtrl", tabs on top in document mode), made over the
// placeholder ("m_wndTabLocation") whose place it takes. The internal names are window titles: a child never
// shows them, and they are no labels for screen readers.
QTabWidget* MakeMainTabControl(QWidget* pParent, QWidget* pPlaceholder);

// A page the design paints white: white behind, and its own texts black on it whatever the desktop's
// colours, so that a dark desktop leaves them readable.
void MakeWhitePage(QWidget* pPage);

// The room a page needs to show all of its controls: its size hint when it has one (a laid-out page, or
// one that says), else the extent of its shown controls from its top-left corner, with a small margin.
QSize NeededSize(const QWidget* pPage);

} // namespace nemora::widgets
