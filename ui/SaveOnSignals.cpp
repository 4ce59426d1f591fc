#include "ui/SaveOnSignals.h"

#include <QSocketNotifier>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <utility>

namespace ui {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP};

// The handler only wakes the event loop, which may be a message box's own.
int g_wake[2] = {-1, -1};

void wake(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &byte, 1);
    errno = saved;
}

}  // namespace

SaveOnSignals::SaveOnSignals(std::function<void()> save) : save_(std::move(save))
{
    // Without the pipe the signals end the program at once, as they always did.
    if (g_wake[0] >= 0 || ::pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_wake[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SaveOnSignals::end);
    struct sigaction action {};
    action.sa_handler = wake;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals) {
        struct sigaction before {};
        // Started under nohup, a hang-up stays ignored.
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
}

SaveOnSignals::~SaveOnSignals()
{
    if (g_wake[0] < 0)
        return;
    for (const int signal : kSignals) {
        struct sigaction now {};
        if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler == wake)
            ::signal(signal, SIG_DFL);
    }
    ::close(g_wake[0]);
    ::close(g_wake[1]);
    g_wake[0] = g_wake[1] = -1;
}

void SaveOnSignals::end()
{
    char signal = 0;
    if (::read(g_wake[0], &signal, 1) != 1)
        return;
    save_();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

}  // namespace ui
