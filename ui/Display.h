#pragma once
// The connection to the desktop: X or Wayland, chosen so that the window keeps its frame.

#include <QApplication>
#include <memory>

namespace ui {

// The application, connected to its display. When there is none to be had, one line on
// stderr says why in Qt's own words (the display or the plugin) and the program ends
// with status 1, where Qt would abort with a core dump.
std::unique_ptr<QApplication> openDisplay(int& argc, char** argv);

}  // namespace ui
