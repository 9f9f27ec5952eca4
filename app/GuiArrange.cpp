#include "app/GuiArrange.h"

#include <QAction>
#include <QMenu>
#include <QScreen>
#include <QWidget>

#include "app/AppContext.h"
#include "app/MainWnd.h"
#include "app/WindowLayout.h"
#include "framelists/FrameWnd.h"
#include "palette/PalWnd.h"
#include "viewer/ViewerWnd.h"

const char* const ArrangeShortcut = "Ctrl+Shift+A";

void ArrangeWindows(AppContext& app)
{
    const std::array<QWidget*, 4> windows { app.Main, app.WindPal, app.WindFrame, app.WindView };
    for (QWidget* window : windows)
        if (!window)
            return;
    const QScreen* screen = app.Main->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // What the window manager adds around each client area, as it is now.
    std::array<QSize, 4> decoration;
    std::array<ArrangeInput, 4> input;
    for (size_t k = 0; k < windows.size(); ++k) {
        const QWidget& window = *windows[k];
        decoration[k] = window.frameGeometry().size() - window.size();
        input[k] = { window.width() + decoration[k].width(), window.height() + decoration[k].height(),
            window.minimumWidth() + decoration[k].width(),
            window.minimumHeight() + decoration[k].height() };
    }
    const std::array<ScreenRect, 4> placed
        = ArrangeSideBySide({ area.x(), area.y(), area.width(), area.height() }, input);
    for (size_t k = 0; k < windows.size(); ++k) {
        QWidget& window = *windows[k];
        const ScreenRect& outer = placed[k];
        // A window of fixed size (the palette) keeps it.
        window.resize(outer.Width - decoration[k].width(), outer.Height - decoration[k].height());
        window.move(outer.Left, outer.Top);
    }
}

void AddArrangeShortcut(QWidget& window, AppContext& app)
{
    auto* action = new QAction("Arrange windows", &window);
    action->setShortcut(QKeySequence(ArrangeShortcut));
    action->setShortcutContext(Qt::ApplicationShortcut);
    QObject::connect(action, &QAction::triggered, &window, [&app] { ArrangeWindows(app); });
    window.addAction(action);
}

void AddArrangeEntry(QMenu& menu, AppContext& app)
{
    QAction* entry = menu.addAction("Arrange windows");
    entry->setShortcut(QKeySequence(ArrangeShortcut));
    QObject::connect(entry, &QAction::triggered, &menu, [&app] { ArrangeWindows(app); });
}
