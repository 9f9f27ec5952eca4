#pragma once

class QWidget;

// Asks the X11 window manager to give window a title bar without the minimise and maximise
// buttons. Window flags alone do not do it: they reach the manager as Motif hints, which
// several managers (openbox among them) do not let take buttons away, while every one of them
// honours the window type, and a tool bar window has no minimise or maximise button. A
// manager that keeps a close button keeps it (the windows ignore the request to close).
// Creates window's native window at once, so call it after its flags are set and before it
// is shown; on any platform but X11 it does nothing.
void AskForTitleBarOnly(QWidget& window);
