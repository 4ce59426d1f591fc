// bench_xprobe: how long a program takes to put its window on the screen, which
// xdotool cannot tell: it sees a window mapped, not drawn.
//
//   bench_xprobe TITLE PROGRAM ARGS...
//
// Starts PROGRAM and prints "mapped_us=... painted_us=... main_cpu_us=...": from just
// before the spawn, the time the top-level window called TITLE was mapped and the time
// it had been drawn into over its whole area (XDamage), then the CPU time the program's
// main thread had used by then, which a busy machine disturbs far less than the wall
// clock. Then ends the program.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

extern char** environ;

namespace {

long long nowUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

[[noreturn]] void die(const char* what)
{
    std::fprintf(stderr, "bench_xprobe: %s\n", what);
    std::exit(2);
}

// Windows come and go while we look at them; a vanished one is not a failure.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

std::string titleOf(Display* dpy, Window w)
{
    std::string result;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, w, XInternAtom(dpy, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(dpy, "UTF8_STRING", False), &type, &format, &items, &after, &data) == Success &&
        data) {
        result.assign(reinterpret_cast<char*>(data), items);
        XFree(data);
    }
    return result;
}

// CPU time a process's main thread has run, from /proc/PID/schedstat; -1 if unknown.
long long mainThreadCpuUs(pid_t pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/schedstat";
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f)
        return -1;
    long long ns = -1;
    if (std::fscanf(f, "%lld", &ns) != 1)
        ns = -1;
    std::fclose(f);
    return ns < 0 ? -1 : ns / 1000;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        die("usage: bench_xprobe TITLE PROGRAM ARGS...");
    const std::string wanted = argv[1];
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy)
        die("cannot open the display");
    XSetErrorHandler(ignoreErrors);
    int damageEvent = 0, damageError = 0;
    if (!XDamageQueryExtension(dpy, &damageEvent, &damageError))
        die("the X server has no DAMAGE extension");
    const Window root = DefaultRootWindow(dpy);
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    const long long t0 = nowUs();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[2], nullptr, nullptr, argv + 2, environ) != 0)
        die("cannot start the program");

    Window target = 0;
    int width = 0, height = 0;
    long long mapped = -1, painted = -1;
    Region seen = XCreateRegion();
    while (painted < 0 && nowUs() < t0 + 20000000) {
        if (XPending(dpy) == 0) {
            pollfd p{ConnectionNumber(dpy), POLLIN, 0};
            poll(&p, 1, 20);
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                die("the program ended before its window was painted");
            continue;
        }
        XEvent ev;
        XNextEvent(dpy, &ev);
        const long long t = nowUs();
        if (ev.type == CreateNotify && ev.xcreatewindow.parent == root) {
            // Before the map, so that no drawing can slip past.
            XDamageCreate(dpy, ev.xcreatewindow.window, XDamageReportRawRectangles);
        } else if (ev.type == MapNotify && ev.xmap.event == root && target == 0 && titleOf(dpy, ev.xmap.window) == wanted) {
            target = ev.xmap.window;
            mapped = t;
            XWindowAttributes a{};
            XGetWindowAttributes(dpy, target, &a);
            width = a.width;
            height = a.height;
        } else if (ev.type == damageEvent + XDamageNotify) {
            auto* d = reinterpret_cast<XDamageNotifyEvent*>(&ev);
            if (target == 0 || d->drawable != target)
                continue;
            XRectangle r{d->area.x, d->area.y, d->area.width, d->area.height};
            XUnionRectWithRegion(&r, seen, seen);
            if (XRectInRegion(seen, 0, 0, width, height) == RectangleIn)
                painted = t;
        }
    }
    XDestroyRegion(seen);
    const long long mainCpu = painted < 0 ? -1 : mainThreadCpuUs(pid);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    XCloseDisplay(dpy);
    if (painted < 0)
        die("the window was not painted within 20 s");
    std::printf("mapped_us=%lld painted_us=%lld main_cpu_us=%lld\n", mapped - t0, painted - t0, mainCpu);
    return 0;
}
