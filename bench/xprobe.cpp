// xprobe: what the benchmarks need from the X server, with CLOCK_MONOTONIC times in
// microseconds (the clock ZENKORA_TRACE writes), so its figures line up with a trace.
//
//   xprobe startup --title T [--timeout-ms N] -- PROGRAM ARGS...
//       Starts PROGRAM and prints "mapped_us=... first_damage_us=... painted_us=..."
//       counted from just before the spawn: the top-level window called T was mapped,
//       first drawn into, and drawn into over its whole area (XDamage). Then
//       "main_cpu_us=...": the CPU time its main thread had used by then, which a busy
//       machine disturbs far less than the wall clock. Then ends it.
//   xprobe wait --title T [--timeout-ms N]        waits until T is on screen
//   xprobe click --title T X Y                    left click at window point X,Y
//   xprobe key --title T KEYSYM                   press and release a key over T
//   xprobe close --title T                        asks T to close (WM_DELETE_WINDOW)
//   xprobe play --title T --seconds S [--start X,Y]
//       Clicks the start button and keeps a game going for S seconds: every
//       message box that opens (game over) is answered with Return and the next game
//       started.
//   xprobe latency --title T --samples N (--trace FILE | --floor) [--start X,Y] [--log FILE]
//       Arrow key to picture: sends Left or Right to a falling block (the block's cell
//       comes from the live trace; --floor: the floor's square on row 0), then polls
//       XGetImage of the cell the block moves into until it changes. One line per
//       sample in --log: "sample <sent_us> <seen_us> <latency_us> <key> <col> <row>".

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <string>
#include <vector>

extern char** environ;

namespace {

long long nowUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

void sleepUs(long long us)
{
    if (us <= 0)
        return;
    timespec ts{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

[[noreturn]] void die(const char* what)
{
    std::fprintf(stderr, "xprobe: %s\n", what);
    std::exit(2);
}

struct Args {
    std::map<std::string, std::string> opts;
    std::vector<std::string> rest;
    std::vector<char*> program;  // after "--"

    std::string get(const std::string& key, const std::string& fallback = {}) const
    {
        auto it = opts.find(key);
        return it == opts.end() ? fallback : it->second;
    }
    bool has(const std::string& key) const { return opts.count(key) != 0; }
};

Args parse(int argc, char** argv, int from)
{
    Args a;
    for (int i = from; i < argc; ++i) {
        std::string s = argv[i];
        if (s == "--") {
            for (int j = i + 1; j < argc; ++j)
                a.program.push_back(argv[j]);
            a.program.push_back(nullptr);
            break;
        }
        if (s == "--floor") {
            a.opts[s] = "1";
        } else if (s.rfind("--", 0) == 0 && i + 1 < argc) {
            a.opts[s] = argv[++i];
        } else {
            a.rest.push_back(s);
        }
    }
    return a;
}

std::pair<int, int> parsePoint(const std::string& s)
{
    int x = 0, y = 0;
    if (std::sscanf(s.c_str(), "%d,%d", &x, &y) != 2)
        die("a point is X,Y");
    return {x, y};
}

int xErrors = 0;
int ignoreErrors(Display*, XErrorEvent*)
{
    // Windows come and go while we look at them; a vanished one is not a failure.
    ++xErrors;
    return 0;
}

class X {
public:
    X()
    {
        dpy_ = XOpenDisplay(nullptr);
        if (!dpy_)
            die("cannot open the display");
        XSetErrorHandler(ignoreErrors);
        root_ = DefaultRootWindow(dpy_);
        int error = 0;
        if (!XDamageQueryExtension(dpy_, &damageEvent_, &error))
            die("the X server has no DAMAGE extension");
        int major = 0, minor = 0;
        XDamageQueryVersion(dpy_, &major, &minor);
        int ev = 0, err = 0;
        if (!XTestQueryExtension(dpy_, &ev, &err, &major, &minor))
            die("the X server has no XTEST extension");
    }
    ~X() { XCloseDisplay(dpy_); }

    Display* dpy() const { return dpy_; }
    Window root() const { return root_; }
    int damageEvent() const { return damageEvent_; }

    std::string title(Window w)
    {
        std::string result;
        Atom utf8 = XInternAtom(dpy_, "UTF8_STRING", False);
        Atom netName = XInternAtom(dpy_, "_NET_WM_NAME", False);
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy_, w, netName, 0, 1024, False, utf8, &type, &format, &items, &after, &data) ==
                Success &&
            data) {
            result.assign(reinterpret_cast<char*>(data), items);
            XFree(data);
            if (!result.empty())
                return result;
        }
        char* name = nullptr;
        if (XFetchName(dpy_, w, &name) && name) {
            result = name;
            XFree(name);
        }
        return result;
    }

    bool viewable(Window w)
    {
        XWindowAttributes a{};
        return XGetWindowAttributes(dpy_, w, &a) && a.map_state == IsViewable;
    }

    std::optional<Window> find(const std::string& wanted)
    {
        Window rootRet = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        std::optional<Window> found;
        if (!XQueryTree(dpy_, root_, &rootRet, &parent, &children, &count))
            return found;
        for (unsigned i = count; i-- > 0 && !found;)
            if (viewable(children[i]) && title(children[i]) == wanted)
                found = children[i];
        if (children)
            XFree(children);
        return found;
    }

    Window waitFor(const std::string& wanted, long long timeoutMs)
    {
        const long long end = nowUs() + timeoutMs * 1000;
        while (nowUs() < end) {
            if (auto w = find(wanted))
                return *w;
            sleepUs(5000);
        }
        die(("no window called \"" + wanted + "\"").c_str());
    }

    std::pair<int, int> origin(Window w)
    {
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(dpy_, w, root_, 0, 0, &x, &y, &child);
        return {x, y};
    }

    std::pair<int, int> size(Window w)
    {
        XWindowAttributes a{};
        XGetWindowAttributes(dpy_, w, &a);
        return {a.width, a.height};
    }

    void moveTo(Window w, int x, int y)
    {
        auto [ox, oy] = origin(w);
        XTestFakeMotionEvent(dpy_, -1, ox + x, oy + y, CurrentTime);
        XSync(dpy_, False);
    }

    void click(Window w, int x, int y)
    {
        moveTo(w, x, y);
        sleepUs(30000);
        XTestFakeButtonEvent(dpy_, 1, True, CurrentTime);
        XSync(dpy_, False);
        sleepUs(30000);
        XTestFakeButtonEvent(dpy_, 1, False, CurrentTime);
        XSync(dpy_, False);
    }

    KeyCode code(KeySym sym)
    {
        KeyCode c = XKeysymToKeycode(dpy_, sym);
        if (c == 0)
            die("no key code for that key");
        return c;
    }

    void key(KeySym sym)
    {
        KeyCode c = code(sym);
        XTestFakeKeyEvent(dpy_, c, True, CurrentTime);
        XSync(dpy_, False);
        sleepUs(20000);
        XTestFakeKeyEvent(dpy_, c, False, CurrentTime);
        XSync(dpy_, False);
    }

    // No window manager gives out the focus: give it to the window, and put the
    // pointer there too, where keys go when the focus follows the pointer.
    void keyOver(Window w, KeySym sym)
    {
        XSetInputFocus(dpy_, w, RevertToPointerRoot, CurrentTime);
        auto [width, height] = size(w);
        auto [ox, oy] = origin(w);
        Window rootRet = 0, childRet = 0;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned mask = 0;
        XQueryPointer(dpy_, root_, &rootRet, &childRet, &rx, &ry, &wx, &wy, &mask);
        if (rx < ox || ry < oy || rx >= ox + width || ry >= oy + height)
            moveTo(w, width / 2, height / 2);
        key(sym);
    }

    void close(Window w)
    {
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = w;
        ev.xclient.message_type = XInternAtom(dpy_, "WM_PROTOCOLS", False);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy_, "WM_DELETE_WINDOW", False));
        ev.xclient.data.l[1] = CurrentTime;
        XSendEvent(dpy_, w, False, NoEventMask, &ev);
        XSync(dpy_, False);
    }

    // Waits up to timeoutUs for X events; true if some are queued.
    bool waitEvents(long long timeoutUs)
    {
        if (XPending(dpy_) > 0)
            return true;
        pollfd p{ConnectionNumber(dpy_), POLLIN, 0};
        int ms = static_cast<int>(std::max(0LL, (timeoutUs + 999) / 1000));
        poll(&p, 1, ms);
        return XPending(dpy_) > 0;
    }

private:
    Display* dpy_ = nullptr;
    Window root_ = 0;
    int damageEvent_ = 0;
};

long long optMs(const Args& a, const char* key, long long fallback)
{
    return a.has(key) ? std::atoll(a.get(key).c_str()) : fallback;
}

// ----------------------------------------------------------------- start-up

// CPU time a process's main thread has run, from /proc/PID/schedstat; -1 if unknown.
long long mainThreadCpuUs(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/schedstat", static_cast<int>(pid));
    std::FILE* f = std::fopen(path, "r");
    if (!f)
        return -1;
    long long ns = -1;
    if (std::fscanf(f, "%lld", &ns) != 1)
        ns = -1;
    std::fclose(f);
    return ns < 0 ? -1 : ns / 1000;
}

int cmdStartup(const Args& a)
{
    const std::string wanted = a.get("--title");
    if (wanted.empty() || a.program.size() < 2)
        die("startup needs --title and -- PROGRAM");
    const long long timeoutMs = optMs(a, "--timeout-ms", 20000);
    X x;
    Display* dpy = x.dpy();
    XSelectInput(dpy, x.root(), SubstructureNotifyMask);
    XSync(dpy, False);

    const long long t0 = nowUs();
    pid_t pid = 0;
    if (posix_spawnp(&pid, a.program[0], nullptr, nullptr, a.program.data(), environ) != 0)
        die("cannot start the program");

    std::map<Window, Damage> damages;
    Window target = 0;
    int width = 0, height = 0;
    long long mapped = -1, firstDamage = -1, painted = -1;
    Region seen = XCreateRegion();
    const long long end = t0 + timeoutMs * 1000;
    while (painted < 0 && nowUs() < end) {
        if (!x.waitEvents(20000)) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                die("the program ended before its window was painted");
            continue;
        }
        while (XPending(dpy) > 0 && painted < 0) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            const long long t = nowUs();
            if (ev.type == CreateNotify && ev.xcreatewindow.parent == x.root()) {
                // Before the map, so that no drawing can slip past.
                damages[ev.xcreatewindow.window] =
                    XDamageCreate(dpy, ev.xcreatewindow.window, XDamageReportRawRectangles);
            } else if (ev.type == MapNotify && ev.xmap.event == x.root() && target == 0) {
                if (x.title(ev.xmap.window) == wanted) {
                    target = ev.xmap.window;
                    mapped = t;
                    std::tie(width, height) = x.size(target);
                }
            } else if (ev.type == x.damageEvent() + XDamageNotify) {
                auto* d = reinterpret_cast<XDamageNotifyEvent*>(&ev);
                if (target == 0 || d->drawable != target)
                    continue;
                if (firstDamage < 0)
                    firstDamage = t;
                XRectangle r{d->area.x, d->area.y, d->area.width, d->area.height};
                XUnionRectWithRegion(&r, seen, seen);
                if (XRectInRegion(seen, 0, 0, width, height) == RectangleIn)
                    painted = t;
            }
        }
    }
    XDestroyRegion(seen);
    const long long mainCpu = painted < 0 ? -1 : mainThreadCpuUs(pid);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    if (painted < 0) {
        std::fprintf(stderr, "xprobe: window \"%s\" not painted within %lld ms\n", wanted.c_str(), timeoutMs);
        return 1;
    }
    std::printf("mapped_us=%lld first_damage_us=%lld painted_us=%lld spawned_at_us=%lld main_cpu_us=%lld\n",
                mapped - t0, firstDamage - t0, painted - t0, t0, mainCpu);
    return 0;
}

// ----------------------------------------------------------------- keeping a game going

// Follows the game's window, answers its message boxes and restarts it after a game over.
class Player {
public:
    Player(X& x, Window main, std::pair<int, int> start) : x_(x), main_(main), start_(start)
    {
        XSelectInput(x_.dpy(), x_.root(), SubstructureNotifyMask);
        XSync(x_.dpy(), False);
    }

    void startGame()
    {
        x_.click(main_, start_.first, start_.second);
        ++games_;
    }

    // Handles whatever X has to say for up to timeoutUs; true if the game stands
    // still for a message box or a restart during that time.
    bool pump(long long timeoutUs)
    {
        const long long end = nowUs() + timeoutUs;
        bool disturbed = false;
        do {
            if (!x_.waitEvents(std::max(0LL, end - nowUs())))
                continue;
            while (XPending(x_.dpy()) > 0) {
                XEvent ev;
                XNextEvent(x_.dpy(), &ev);
                if (ev.type == MapNotify && ev.xmap.event == x_.root() && ev.xmap.window != main_) {
                    boxes_.insert(ev.xmap.window);
                    disturbed = true;
                } else if (ev.type == UnmapNotify && ev.xunmap.event == x_.root() &&
                           boxes_.erase(ev.xunmap.window) != 0) {
                    disturbed = true;
                    if (boxes_.empty()) {
                        // Game over answered: the window is idle again; start the next game.
                        sleepUs(300000);
                        startGame();
                    }
                }
            }
            if (!boxes_.empty()) {
                disturbed = true;
                answerBoxes();
            }
        } while (nowUs() < end);
        return disturbed;
    }

    int games() const { return games_; }
    int boxesAnswered() const { return answered_; }

private:
    void answerBoxes()
    {
        for (Window box : boxes_) {
            if (answeredAt_.count(box) && nowUs() - answeredAt_[box] < 500000)
                continue;
            sleepUs(150000);  // let it take its place first
            x_.keyOver(box, XK_Return);
            answeredAt_[box] = nowUs();
            ++answered_;
        }
    }

    X& x_;
    Window main_;
    std::pair<int, int> start_;
    std::set<Window> boxes_;
    std::map<Window, long long> answeredAt_;
    int games_ = 0;
    int answered_ = 0;
};

int cmdPlay(const Args& a)
{
    X x;
    const Window main = x.waitFor(a.get("--title"), 10000);
    Player player(x, main, parsePoint(a.get("--start", "468,368")));
    const long long end = nowUs() + optMs(a, "--seconds", 10) * 1000000;
    player.startGame();
    while (nowUs() < end)
        player.pump(end - nowUs());
    std::printf("games=%d boxes_answered=%d\n", player.games(), player.boxesAnswered());
    return 0;
}

// ----------------------------------------------------------------- input latency

// The game's trace, read as it grows: where the falling block is after each step.
class TraceTail {
public:
    explicit TraceTail(const std::string& path)
    {
        fd_ = open(path.c_str(), O_RDONLY);
        if (fd_ < 0)
            die("cannot read the trace (is ZENKORA_TRACE set, with ZENKORA_TRACE_FLUSH=1?)");
        lseek(fd_, 0, SEEK_END);
    }
    ~TraceTail() { ::close(fd_); }

    struct Step {
        long long t = 0;
        int col = 0, row = 0;
        bool falling = false;
    };

    // The newest "game" line read since the last call, if any.
    std::optional<Step> newStep()
    {
        char buf[8192];
        ssize_t n;
        while ((n = read(fd_, buf, sizeof buf)) > 0)
            pending_.append(buf, static_cast<size_t>(n));
        std::optional<Step> latest;
        size_t nl;
        while ((nl = pending_.find('\n')) != std::string::npos) {
            const std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            Step s;
            int falling = 0;
            if (std::sscanf(line.c_str(), "game %lld %d %d %d", &s.t, &s.col, &s.row, &falling) == 4) {
                s.falling = falling != 0;
                latest = s;
            }
        }
        return latest;
    }

private:
    int fd_ = -1;
    std::string pending_;
};

class Cell {
public:
    Cell(Display* dpy, Window w, int x, int y) : dpy_(dpy), w_(w), x_(x), y_(y) {}
    std::string grab()
    {
        XImage* img = XGetImage(dpy_, w_, x_, y_, kSize, kSize, AllPlanes, ZPixmap);
        if (!img)
            return {};
        std::string bytes(img->data, static_cast<size_t>(img->bytes_per_line) * img->height);
        XDestroyImage(img);
        return bytes;
    }
    static constexpr int kSize = 33;

private:
    Display* dpy_;
    Window w_;
    int x_, y_;
};

int cmdLatency(const Args& a)
{
    X x;
    Display* dpy = x.dpy();
    const Window main = x.waitFor(a.get("--title"), 10000);
    const bool floor = a.has("--floor");
    const int samples = static_cast<int>(optMs(a, "--samples", 30));
    const long long pollUs = optMs(a, "--poll-us", 200);
    const long long timeoutUs = optMs(a, "--timeout-ms", 300) * 1000;
    std::FILE* log = stdout;
    if (a.has("--log") && !(log = std::fopen(a.get("--log").c_str(), "w")))
        die("cannot write the log");

    std::optional<TraceTail> trace;
    if (!floor)
        trace.emplace(a.get("--trace"));
    Player player(x, main, parsePoint(a.get("--start", "468,368")));
    if (!floor)
        player.startGame();
    else
        x.moveTo(main, 276, 300);  // keys go where the pointer is

    // Cells as the game lays them out: the playfield at (16,16), the well at (32,96) in it.
    auto cellX = [](int col) { return 16 + 32 + 33 * col; };
    auto cellY = [](int row) { return 16 + 96 + 33 * row; };

    int got = 0, refused = 0, raced = 0;
    int floorCol = 4, floorDir = 1;
    const long long deadline = nowUs() + 600LL * 1000000;
    std::vector<long long> lat;
    while (got < samples && nowUs() < deadline) {
        int col = 0, row = 0;
        if (floor) {
            player.pump(150000);
            col = floorCol;
            row = 0;
        } else {
            // Wait for the block to step into a row high enough to have free neighbours.
            std::optional<TraceTail::Step> step;
            while (!step && nowUs() < deadline) {
                player.pump(2000);
                auto s = trace->newStep();
                if (s && s->falling && s->row >= 0 && s->row <= 4)
                    step = s;
            }
            if (!step)
                break;
            // Well clear of this step's paint and of the next step, 400 ms on.
            sleepUs(step->t + 120000 - nowUs());
            if (nowUs() > step->t + 200000) {
                ++raced;
                continue;
            }
            col = step->col;
            row = step->row;
        }
        const int dir = floor ? floorDir : (col < 4 ? 1 : col > 4 ? -1 : (got % 2 ? 1 : -1));
        const KeySym sym = dir < 0 ? XK_Left : XK_Right;
        const KeyCode code = x.code(sym);
        Cell cell(dpy, main, cellX(col + dir), cellY(row));
        const std::string before = cell.grab();
        XTestFakeKeyEvent(dpy, code, True, CurrentTime);
        const long long sent = nowUs();
        XFlush(dpy);
        long long seen = -1;
        while (nowUs() - sent < timeoutUs) {
            if (cell.grab() != before) {
                seen = nowUs();
                break;
            }
            sleepUs(pollUs);
        }
        XTestFakeKeyEvent(dpy, code, False, CurrentTime);
        XFlush(dpy);
        if (seen < 0) {
            ++refused;  // a neighbour in the way, or the block landed first
            continue;
        }
        if (floor) {
            floorCol += floorDir;
            floorDir = -floorDir;
        }
        lat.push_back(seen - sent);
        std::fprintf(log, "sample %lld %lld %lld %s %d %d\n", sent, seen, seen - sent, dir < 0 ? "Left" : "Right",
                     col, row);
        std::fflush(log);
        ++got;
    }
    if (log != stdout)
        std::fclose(log);
    std::sort(lat.begin(), lat.end());
    const long long median = lat.empty() ? -1 : lat[lat.size() / 2];
    std::printf("samples=%d refused=%d raced=%d median_us=%lld max_us=%lld games=%d\n", got, refused, raced, median,
                lat.empty() ? -1 : lat.back(), player.games());
    return got == samples ? 0 : 1;
}

// ----------------------------------------------------------------- small commands

int cmdSimple(const std::string& cmd, const Args& a)
{
    X x;
    const Window w = x.waitFor(a.get("--title"), optMs(a, "--timeout-ms", 10000));
    if (cmd == "wait") {
        auto [ox, oy] = x.origin(w);
        auto [width, height] = x.size(w);
        std::printf("window=0x%lx x=%d y=%d width=%d height=%d\n", w, ox, oy, width, height);
    } else if (cmd == "click") {
        if (a.rest.size() != 2)
            die("click needs X Y");
        x.click(w, std::atoi(a.rest[0].c_str()), std::atoi(a.rest[1].c_str()));
    } else if (cmd == "key") {
        if (a.rest.size() != 1)
            die("key needs a key name");
        const KeySym sym = XStringToKeysym(a.rest[0].c_str());
        if (sym == NoSymbol)
            die("unknown key name");
        x.keyOver(w, sym);
    } else if (cmd == "close") {
        x.close(w);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        die("usage: xprobe startup|wait|click|key|close|play|latency ...");
    const std::string cmd = argv[1];
    const Args a = parse(argc, argv, 2);
    if (cmd == "startup")
        return cmdStartup(a);
    if (cmd == "play")
        return cmdPlay(a);
    if (cmd == "latency")
        return cmdLatency(a);
    if (cmd == "wait" || cmd == "click" || cmd == "key" || cmd == "close")
        return cmdSimple(cmd, a);
    die("unknown command");
}
