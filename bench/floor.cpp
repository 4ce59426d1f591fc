// The floor the benchmarks compare the game with: the least a Qt Widgets window of
// the game's size can cost on this machine. One 552x445 window, one precise timer
// that repaints a small square, and the arrow keys move that square by one cell.
// ZENKORA_TRACE=<file> makes it log its ticks, keys and paints like the game does.
//
//   floor [--title T] [--interval MS] [--tick-name NAME]

#include <QApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

long long nowUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

class Trace {
public:
    Trace()
    {
        const char* path = std::getenv("ZENKORA_TRACE");
        if (!path || !*path)
            return;
        file_ = std::fopen(path, "a");
        if (const char* n = std::getenv("ZENKORA_TRACE_FLUSH"); n && *n)
            flushEvery_ = std::max(1, std::atoi(n));
    }
    ~Trace()
    {
        if (file_)
            std::fclose(file_);
    }
    explicit operator bool() const { return file_ != nullptr; }
    template <typename... Args>
    void line(const char* format, Args... args)
    {
        std::fprintf(file_, format, args...);
        if (++lines_ % flushEvery_ == 0)
            std::fflush(file_);
    }

private:
    std::FILE* file_ = nullptr;
    int flushEvery_ = 256;
    long long lines_ = 0;
};

class Floor : public QWidget {
public:
    Floor(int intervalMs, std::string tickName) : tickName_(std::move(tickName))
    {
        setFixedSize(552, 445);
        setFocusPolicy(Qt::StrongFocus);
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(intervalMs);
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (trace_)
                trace_.line("%s %lld\n", tickName_.c_str(), nowUs());
            lit_ = !lit_;
            update(square());
        });
        timer_.start();
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (trace_) {
            long long area = 0;
            for (const QRect& r : event->region())
                area += 1LL * r.width() * r.height();
            trace_.line("paint %lld %lld floor\n", area, nowUs());
        }
        QPainter p(this);
        p.fillRect(event->rect(), palette().window());
        p.fillRect(square(), lit_ ? Qt::yellow : Qt::darkBlue);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        const int step = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
        if (step == 0) {
            QWidget::keyPressEvent(event);
            return;
        }
        if (trace_)
            trace_.line("key %d %lld\n", step < 0 ? 37 : 39, nowUs());
        const int next = column_ + step;
        if (next < 0 || next > 8)
            return;
        const QRect before = square();
        column_ = next;
        update(before | square());
    }

private:
    // The game's cell size and well position, so the same probe works on both.
    QRect square() const { return {48 + 33 * column_, 112, 33, 33}; }

    QTimer timer_;
    std::string tickName_;
    Trace trace_;
    bool lit_ = false;
    int column_ = 4;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QString title = QStringLiteral("zenkora-floor");
    int interval = 100;
    std::string tickName = "ufo";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--title") == 0)
            title = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--interval") == 0)
            interval = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--tick-name") == 0)
            tickName = argv[++i];
    }
    Floor w(interval > 0 ? interval : 100, tickName);
    w.setWindowTitle(title);
    w.show();
    return app.exec();
}
