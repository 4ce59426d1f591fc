#include "ui/Trace.h"

#include <QApplication>
#include <QPaintEvent>
#include <QTimer>
#include <QWidget>
#include <cstdarg>
#include <cstdlib>
#include <ctime>

namespace ui {

namespace {

long long nowUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

}  // namespace

std::unique_ptr<Trace> Trace::ofWindow(QWidget& window)
{
    const char* path = std::getenv("ZENKORA_TRACE");
    if (!path || !*path)
        return nullptr;
    std::FILE* file = std::fopen(path, "a");
    if (!file) {
        std::fprintf(stderr, "zenkora: cannot open the trace file %s\n", path);
        return nullptr;
    }
    int flushEvery = 256;
    if (const char* n = std::getenv("ZENKORA_TRACE_FLUSH"); n && std::atoi(n) > 0)
        flushEvery = std::atoi(n);
    return std::unique_ptr<Trace>(new Trace(window, file, flushEvery));
}

Trace::Trace(QWidget& window, std::FILE* file, int flushEvery)
    : window_(window),
      ufoTimer_(window.findChild<QTimer*>(QStringLiteral("UFO_Timer"))),
      gameTimer_(window.findChild<QTimer*>(QStringLiteral("GameTimer"))),
      file_(file),
      flushEvery_(flushEvery)
{
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
    qApp->installEventFilter(this);
}

Trace::~Trace()
{
    qApp->removeEventFilter(this);
    std::fclose(file_);
}

void Trace::line(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(file_, format, args);
    va_end(args);
    if (++lines_ % flushEvery_ == 0)
        std::fflush(file_);
}

bool Trace::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Timer && (watched == ufoTimer_ || watched == gameTimer_)) {
        line("%s %lld\n", watched == ufoTimer_ ? "ufo" : "game", nowUs());
    } else if (event->type() == QEvent::Paint) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == &window_) {
            long long area = 0;
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
                area += 1LL * r.width() * r.height();
            const QString name = widget->objectName();
            line("paint %lld %lld %s\n", area, nowUs(), name.isEmpty() ? "-" : qPrintable(name));
        }
    }
    return false;
}

}  // namespace ui
