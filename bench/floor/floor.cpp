// The floor the benchmarks compare the game with: the least a Qt Widgets window of
// the game's size can cost on this machine. One 552x445 window and one precise timer
// that repaints a small square. ZENKORA_TRACE=<file> makes it log its ticks and paints
// as the game does.
//
//   bench_floor [--title T] [--interval MS] [--tick-name NAME]

#include <QApplication>
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

class Floor : public QWidget {
public:
    Floor(int intervalMs, std::string tickName) : tickName_(std::move(tickName))
    {
        setFixedSize(552, 445);
        if (const char* path = std::getenv("ZENKORA_TRACE"); path && *path)
            trace_ = std::fopen(path, "a");
        if (const char* n = std::getenv("ZENKORA_TRACE_FLUSH"); n && *n)
            flushEvery_ = std::max(1, std::atoi(n));
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(intervalMs);
        connect(&timer_, &QTimer::timeout, this, [this] {
            line("%s %lld\n", tickName_.c_str(), nowUs());
            lit_ = !lit_;
            update(square());
        });
        timer_.start();
    }
    ~Floor() override
    {
        if (trace_)
            std::fclose(trace_);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        long long area = 0;
        for (const QRect& r : event->region())
            area += 1LL * r.width() * r.height();
        line("paint %lld %lld floor\n", area, nowUs());
        QPainter p(this);
        p.fillRect(event->rect(), palette().window());
        p.fillRect(square(), lit_ ? Qt::yellow : Qt::darkBlue);
    }

private:
    template <typename... Args>
    void line(const char* format, Args... args)
    {
        if (!trace_)
            return;
        std::fprintf(trace_, format, args...);
        if (++lines_ % flushEvery_ == 0)
            std::fflush(trace_);
    }

    // One cell of the game's well.
    static QRect square() { return {180, 112, 33, 33}; }

    QTimer timer_;
    std::string tickName_;
    std::FILE* trace_ = nullptr;
    int flushEvery_ = 256;
    long long lines_ = 0;
    bool lit_ = false;
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
