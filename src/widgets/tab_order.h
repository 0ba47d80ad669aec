#pragma once

#include <vector>

class QWidget;

namespace nemora::widgets {

// The property a widget sets to the point of itself (a QPoint in its own coordinates) that places it in
// the Tab order, when its top-left corner does not: a chart that is drawn below its page's buttons.
inline constexpr const char* kFocusAnchor = "nemoraFocusAnchor";

// Chains the keyboard focus through the widgets under each root in turn, the way the user reads them:
// under one root from top to bottom and, on one line, from left to right. Widgets that stand in for others
// (a tab widget's bar) and the parts of compound controls (a combo box's edit line) keep their places.
void OrderTabFocus(const std::vector<QWidget*>& roots);

} // namespace nemora::widgets
