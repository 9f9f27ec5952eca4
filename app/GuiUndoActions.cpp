#include "app/GuiUndoActions.h"

#include <QAction>
#include <QKeySequence>
#include <QUndoStack>
#include <QWidget>

namespace {

QString Caption(const char* verb, const QString& step)
{
    return step.isEmpty() ? QString(verb) : QString("%1 %2").arg(verb, step);
}

} // namespace

UndoActions MakeUndoActions(
    QUndoStack& stack, QWidget& owner, std::function<bool(bool forward)> allowed)
{
    UndoActions actions;
    actions.Undo = new QAction(Caption("Undo", stack.undoText()), &owner);
    actions.Redo = new QAction(Caption("Redo", stack.redoText()), &owner);
    actions.Undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    actions.Redo->setShortcuts(
        { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y) });
    actions.Undo->setEnabled(stack.canUndo());
    actions.Redo->setEnabled(stack.canRedo());
    QUndoStack* history = &stack;
    QObject::connect(actions.Undo, &QAction::triggered, &owner, [history, allowed] {
        if (!allowed || allowed(false))
            history->undo();
    });
    QObject::connect(actions.Redo, &QAction::triggered, &owner, [history, allowed] {
        if (!allowed || allowed(true))
            history->redo();
    });
    QAction* undo = actions.Undo;
    QAction* redo = actions.Redo;
    QObject::connect(&stack, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
    QObject::connect(&stack, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
    QObject::connect(&stack, &QUndoStack::undoTextChanged, undo,
        [undo](const QString& text) { undo->setText(Caption("Undo", text)); });
    QObject::connect(&stack, &QUndoStack::redoTextChanged, redo,
        [redo](const QString& text) { redo->setText(Caption("Redo", text)); });
    owner.addAction(actions.Undo);
    owner.addAction(actions.Redo);
    return actions;
}
