#include "app/GuiWindowKind.h"

#include <array>
#include <cstdint>

#include <QGuiApplication>
#include <QEvent>
#include <QWidget>

#ifdef VORNIX_HAVE_XCB
#include <cstdlib>
#include <xcb/xcb.h>

namespace {

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(
        connection, 0, static_cast<uint16_t>(std::char_traits<char>::length(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

} // namespace
#endif

namespace {

// Tells the window manager the window's kind at its first showing: the native window exists
// then and is not yet mapped.
class KindOnFirstShow : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            auto* window = static_cast<QWidget*>(watched);
            window->removeEventFilter(this);
            SetTitleBarOnlyKind(*window);
            deleteLater();
        }
        return false;
    }
};

} // namespace

void AskForTitleBarOnly(QWidget& window)
{
    // Making the native window now would fix its position policy before the settings place
    // the window: a position given afterwards would then place the client area, not the frame,
    // and the window would creep by its title bar at every restart under a window manager.
    if (!window.testAttribute(Qt::WA_WState_Created)) {
        window.installEventFilter(new KindOnFirstShow(&window));
        return;
    }
    SetTitleBarOnlyKind(window);
}

void SetTitleBarOnlyKind(QWidget& window)
{
#ifdef VORNIX_HAVE_XCB
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t type = InternAtom(connection, "_NET_WM_WINDOW_TYPE");
    // In the order of preference: a manager that knows no tool bar takes the next kind.
    const std::array<xcb_atom_t, 3> kinds { InternAtom(connection, "_NET_WM_WINDOW_TYPE_TOOLBAR"),
        InternAtom(connection, "_NET_WM_WINDOW_TYPE_UTILITY"),
        InternAtom(connection, "_NET_WM_WINDOW_TYPE_NORMAL") };
    if (type == XCB_ATOM_NONE)
        return;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, type, XCB_ATOM_ATOM, 32,
        static_cast<uint32_t>(kinds.size()), kinds.data());
    xcb_flush(connection);
#else
    (void)window;
#endif
}
