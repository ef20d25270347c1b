// The window's Help menu: "Keyboard shortcuts" (F1), every key of the window
// in one table, and About, with the program's version, the Qt and SDL it runs
// on and its copyright.
#pragma once

#include <QString>

class QMainWindow;

namespace help {

void addHelpMenu(QMainWindow* window);

// The texts the two entries show (rich text).
QString shortcutsText();
QString aboutText();

}  // namespace help
