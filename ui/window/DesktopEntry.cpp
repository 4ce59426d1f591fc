#include "ui/window/DesktopEntry.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <xcb/xcb.h>

namespace ui {

namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(qstrlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

}  // namespace

void nameDesktopEntry(QWidget& window)
{
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const QByteArray entry = QGuiApplication::desktopFileName().toUtf8();
    if (!x11 || entry.isEmpty())
        return;
    xcb_connection_t* connection = x11->connection();
    const xcb_atom_t utf8 = atom(connection, "UTF8_STRING");
    for (const char* property : {"_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE"}) {
        const xcb_atom_t name = atom(connection, property);
        if (name != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE)
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()), name,
                                utf8, 8, static_cast<std::uint32_t>(entry.size()), entry.constData());
    }
    xcb_flush(connection);
}

}  // namespace ui
