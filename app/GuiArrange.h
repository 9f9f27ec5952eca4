#pragma once

class QMenu;
class QWidget;
struct AppContext;

// "Arrange windows": lays the CEL list, palette, frame lists and viewer windows out side by
// side on the screen that holds the CEL list (see WindowLayout.h). The next close stores the
// new places, as it stores any other.
void ArrangeWindows(AppContext& app);

// The shortcut of "Arrange windows", working in every window of the program.
extern const char* const ArrangeShortcut;
// Adds the shortcut's action to window (once, to the CEL list window).
void AddArrangeShortcut(QWidget& window, AppContext& app);
// Adds the entry "Arrange windows" to a context menu.
void AddArrangeEntry(QMenu& menu, AppContext& app);
