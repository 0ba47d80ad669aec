#pragma once

class QMenu;
class QWidget;

// View → "Language": the system's choice, English and 简体中文, one of them checked. Choosing one keeps
// it in the settings; the console takes it at its next start, and a box says so when it differs from
// the language shown now.
namespace nemora::app {

// Adds the submenu to `view`, when the window is made (what the settings say then is the language shown);
// the box is parented to `window`.
void AddLanguageMenu(QMenu* view, QWidget* window);

} // namespace nemora::app
