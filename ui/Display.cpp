#include "ui/Display.h"

#include <cstdio>
#include <cstdlib>
#include <tuple>

namespace ui {

namespace {

// While Qt connects, its complaints are held back, to be passed on once it has.
bool connecting = false;
QtMessageHandler passOn = nullptr;
QList<std::tuple<QtMsgType, QString, QString>> heldBack;  // the message, then as Qt would print it

void whileConnecting(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!connecting)
        return passOn(type, context, message);
    if (type != QtFatalMsg)
        return heldBack.append({type, message, qFormatLogMessage(type, context, message)});
    QString line = message.section(u'\n', 0, 0);
    for (const auto& [_, why, __] : std::as_const(heldBack)) {
        if (why.startsWith(u"could not connect to display")) {
            const QString name = why.mid(28).trimmed();
            line = name.isEmpty() ? QStringLiteral("cannot open a display: DISPLAY is not set")
                                  : QStringLiteral("cannot open the display ") + name;
        } else if (why.contains(u"wl_display")) {
            line = QStringLiteral("cannot open the Wayland display %1: %2")
                       .arg(qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0")), why);
        } else if (why.contains(u"Qt platform plugin")) {
            line = why;
        } else {
            continue;
        }
        break;
    }
    std::fprintf(stderr, "zenkora: %s\n", qPrintable(line));
    std::_Exit(1);
}

void byDefault(const char* name, const char* value)
{
    if (qEnvironmentVariableIsEmpty(name))
        qputenv(name, value);
}

}  // namespace

std::unique_ptr<QApplication> openDisplay(int& argc, char** argv)
{
    // The window is painted by Qt's own raster engine and takes no text input: the
    // OpenGL integration and an input method would only cost start-up time and memory.
    byDefault("QT_XCB_GL_INTEGRATION", "none");
    byDefault("QT_IM_MODULE", "none");
    // On a Wayland desktop with X beside it, X keeps the designed frame (close box only,
    // centred). The player's own choice of platform wins, and so does -platform.
    if (!qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        byDefault("QT_QPA_PLATFORM", "xcb;wayland");

    connecting = true;
    passOn = qInstallMessageHandler(whileConnecting);
    auto app = std::make_unique<QApplication>(argc, argv);
    connecting = false;
    for (const auto& [type, _, printed] : std::as_const(heldBack))
        passOn(type, QMessageLogContext(), printed);
    heldBack.clear();
    return app;
}

}  // namespace ui
