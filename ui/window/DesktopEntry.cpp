#include "ui/window/DesktopEntry.h"

#include <QGuiApplication>
#include <QWidget>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <xcb/xcb.h>

namespace ui {

void nameDesktopEntry(QWidget& window)
{
    // Qt's offscreen platform answers as X too, without a connection.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    const QByteArray entry = QGuiApplication::desktopFileName().toUtf8();
    if (!connection || entry.isEmpty())
        return;
    // All asked at once: one round trip to the server.
    const std::array<const char*, 3> names = {"UTF8_STRING", "_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE"};
    std::array<xcb_intern_atom_cookie_t, names.size()> cookies{};
    for (size_t i = 0; i < names.size(); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(qstrlen(names[i])), names[i]);
    std::array<xcb_atom_t, names.size()> atoms{};
    for (size_t i = 0; i < names.size(); ++i) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookies[i], nullptr);
        atoms[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
    }
    const xcb_atom_t utf8 = atoms[0];
    for (size_t i = 1; i < atoms.size() && utf8 != XCB_ATOM_NONE; ++i)
        if (atoms[i] != XCB_ATOM_NONE)
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()), atoms[i],
                                utf8, 8, static_cast<std::uint32_t>(entry.size()), entry.constData());
    xcb_flush(connection);
}

}  // namespace ui
