#pragma once
// The desktop entry a window belongs to, told to the X window manager.

class QWidget;

namespace ui {

// Under X, names the application's desktop file (QGuiApplication::desktopFileName) on
// the window, as _GTK_APPLICATION_ID and _KDE_NET_WM_DESKTOP_FILE: Qt says it only to a
// Wayland compositor, as the app id, and a desktop running the game through X would
// otherwise match it to its entry, and so to its icon, by guesswork. Does nothing on
// any other platform.
void nameDesktopEntry(QWidget& window);

}  // namespace ui
