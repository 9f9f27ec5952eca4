#pragma once

#include <functional>

class QAction;
class QUndoStack;
class QWidget;

// The "Undo <step>" and "Redo <step>" actions of one history, with Ctrl+Z for undo and
// Ctrl+Shift+Z or Ctrl+Y for redo while a window they are added to is active. They follow the
// stack: disabled with the bare caption "Undo" or "Redo" when there is nothing to take back
// or do again. allowed, when given, can hold them off (a stroke in progress).
struct UndoActions {
    QAction* Undo = nullptr;
    QAction* Redo = nullptr;
};

// allowed is told whether a redo (true) or an undo (false) is asked for.
UndoActions MakeUndoActions(
    QUndoStack& stack, QWidget& owner, std::function<bool(bool forward)> allowed = nullptr);
