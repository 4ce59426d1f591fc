#pragma once
// ZENKORA_TRACE=<file>: what bench/run.sh reads, one line per event of the game's
// window, stamped with CLOCK_MONOTONIC microseconds:
//   ufo <us>                       a UFO_Timer tick, as it is handed to the game
//   game <us>                      a GameTimer tick, likewise
//   paint <pixels> <us> <widget>   a paint event of one of the window's widgets
// Buffered: written every ZENKORA_TRACE_FLUSH lines (default 256) and at exit.

#include <QObject>
#include <cstdio>
#include <memory>

class QWidget;

namespace ui {

class Trace : public QObject {
public:
    // A trace of `window` when ZENKORA_TRACE names a file, else nothing.
    static std::unique_ptr<Trace> ofWindow(QWidget& window);
    ~Trace() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Trace(QWidget& window, std::FILE* file, int flushEvery);
    [[gnu::format(printf, 2, 3)]] void line(const char* format, ...);

    QWidget& window_;
    const QObject* ufoTimer_;
    const QObject* gameTimer_;
    std::FILE* file_;
    int flushEvery_;
    long long lines_ = 0;
};

}  // namespace ui
