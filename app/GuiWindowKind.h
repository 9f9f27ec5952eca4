#pragma once

class QWidget;

// Asks the X11 window manager to give window a title bar without the minimise and maximise
// buttons. Window flags alone do not do it: they reach the manager as Motif hints, which
// several managers (openbox among them) do not let take buttons away, while every one of them
// honours the window type, and a tool bar window has no minimise or maximise button. A
// manager that keeps a close button keeps it (the windows ignore the request to close).
// Call it after the window's flags are set. The kind is told at the window's first showing
// (at once when its native window exists already), so that the native window is not made
// before the window is placed; on any platform but X11 it does nothing.
void AskForTitleBarOnly(QWidget& window);

// Tells the kind now, making the native window when it does not exist yet.
void SetTitleBarOnlyKind(QWidget& window);
