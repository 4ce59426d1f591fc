// zenkora: the game's executable.

#include <QApplication>
#include <fontconfig/fontconfig.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "persist/HighScore.h"
#include "platform/posix/GameFolders.h"
#include "ui/SaveOnSignals.h"
#include "ui/Trace.h"
#include "ui/window/MainWindow.h"

#ifndef ZENKORA_VERSION
#define ZENKORA_VERSION "1.0"
#endif

namespace {

void printUsage(std::FILE* out)
{
    const platform::GameFolders folders = platform::findGameFolders();
    std::fprintf(out,
                 "Usage: zenkora [--seed N] [Qt options]\n"
                 "%s: steer the numbered blocks the UFO drops so that columns add up to ten.\n"
                 "\n"
                 "  --seed N    fixed random seed (0 to 18446744073709551615): the same draws every run\n"
                 "  --help      show this help and exit\n"
                 "  --version   show the version and exit\n"
                 "\n"
                 "Folders:\n"
                 "  %s\n"
                 "      yours, ${XDG_DATA_HOME:-~/.local/share}/zenkora, made at the first start.\n"
                 "      h-score.txt there keeps the best score. An image, icon or sound put there\n"
                 "      under the game's name for it (n0.bmp to n9.bmp, ufo01.bmp, ufo02.bmp,\n"
                 "      bom.bmp, ban.bmp, zenkora.png, open.wav, game.wav, danger.wav, bom.wav)\n"
                 "      is used instead of the game's own.\n"
                 "  %s\n"
                 "      the game's own images, sounds and first h-score.txt, installed with it.\n",
                 ui::kTitle, folders.player.empty() ? "(no home folder: HOME is not set)" : folders.player.c_str(),
                 folders.assets.empty() ? "(not found: the working directory instead)" : folders.assets.c_str());
}

bool parseSeed(const char* text, std::uint64_t& seed)
{
    if (!text || !*text || *text == '-' || *text == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    seed = value;
    return true;
}

// Qt's own options, which are passed on to it: the option's name without its dashes
// (one or two, as Qt takes them), or nothing when arg is none of them. takesNext:
// its value is the next argument; the style options may take theirs after "=".
std::string qtOption(const std::string& arg, bool& takesNext)
{
    constexpr const char* withValue[] = {"platform",     "platformpluginpath", "platformtheme", "plugin",
                                         "display",      "geometry",           "qwindowgeometry", "title",
                                         "qwindowtitle", "icon",               "qwindowicon",   "session",
                                         "style",        "stylesheet"};
    constexpr const char* flags[] = {"reverse", "widgetcount"};
    if (arg.size() < 2 || arg[0] != '-')
        return {};
    const std::string name = arg.substr(arg[1] == '-' ? 2 : 1);
    const std::string key = name.substr(0, name.find('='));
    const bool inline_ = key.size() < name.size();
    takesNext = !inline_ && std::find(std::begin(withValue), std::end(withValue), key) != std::end(withValue);
    if (takesNext || (!inline_ && std::find(std::begin(flags), std::end(flags), key) != std::end(flags)) ||
        (inline_ && (key == "style" || key == "stylesheet" || key == "qmljsdebugger")))
        return key;
    return {};
}

bool envSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// The display Qt is to connect to: X's from -display or DISPLAY, or Wayland's when
// that is the platform. Empty: none is named.
std::string g_display;

std::string displayToTry(const char* displayOption, const char* platformOption)
{
    const char* platform = platformOption ? platformOption : std::getenv("QT_QPA_PLATFORM");
    if (platform && std::strncmp(platform, "wayland", 7) == 0)
        return envSet("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "wayland-0";
    if (displayOption)
        return displayOption;
    return envSet("DISPLAY") ? std::getenv("DISPLAY") : "";
}

// Qt aborts with a core dump when the X server is missing; say so plainly instead.
bool displayMissing(const char* platformOption)
{
    if (platformOption)
        return false;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool x11 = !platform || !*platform || std::strncmp(platform, "xcb", 3) == 0;
    if (!x11 || !g_display.empty())
        return false;
    // A plain launch on a Wayland desktop is left to Qt, which may have a Wayland plugin.
    return !(envSet("WAYLAND_DISPLAY") && !(platform && *platform));
}

// While the application connects to the display, Qt's complaints are held back:
// an unreachable X server becomes one plain line and status 1 instead of an abort.
bool g_connecting = false;
QtMessageHandler g_previousHandler = nullptr;
std::vector<std::pair<QtMsgType, QString>> g_heldBack;

void connectingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!g_connecting) {
        g_previousHandler(type, context, message);
        return;
    }
    if (type == QtFatalMsg) {
        if (g_display.empty())
            std::fprintf(stderr, "zenkora: cannot open a display\n");
        else
            std::fprintf(stderr, "zenkora: cannot open the display %s\n", g_display.c_str());
        std::_Exit(1);
    }
    g_heldBack.emplace_back(type, qFormatLogMessage(type, context, message));
}

// Fontconfig's configuration, read ahead of Qt on a second thread. The thread is
// placed off the starting thread's core from its first instruction and gives way to
// the X server: started on the same core, it held that core for the whole read and
// stalled the window by about 4 ms in a third of the starts on a two-core machine.
class FontconfigWarmUp {
public:
    FontconfigWarmUp()
    {
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        cpu_set_t cores;
        CPU_ZERO(&cores);
        const int here = sched_getcpu();
        if (here >= 0 && sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 1 &&
            CPU_ISSET(here, &cores)) {
            CPU_CLR(here, &cores);
            pthread_attr_setaffinity_np(&attr, sizeof cores, &cores);
        }
        started_ = pthread_create(&thread_, &attr, &FontconfigWarmUp::run, nullptr) == 0 ||
                   pthread_create(&thread_, nullptr, &FontconfigWarmUp::run, nullptr) == 0;
        pthread_attr_destroy(&attr);
        // Not started: Qt reads the configuration itself when it first needs it.
    }
    FontconfigWarmUp(const FontconfigWarmUp&) = delete;
    FontconfigWarmUp& operator=(const FontconfigWarmUp&) = delete;
    ~FontconfigWarmUp() { join(); }

    void join()
    {
        if (started_)
            pthread_join(thread_, nullptr);
        started_ = false;
    }

private:
    static void* run(void*)
    {
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
        FcInit();
        return nullptr;
    }

    pthread_t thread_{};
    bool started_ = false;
};

}  // namespace

int main(int argc, char** argv)
{
    std::optional<std::uint64_t> seed;
    const char* displayOption = nullptr;
    const char* platformOption = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("%s (zenkora %s)\n", ui::kTitle, ZENKORA_VERSION);
            return 0;
        }
        if (arg == "--seed" || arg.rfind("--seed=", 0) == 0) {
            const char* value = arg == "--seed" ? (i + 1 < argc ? argv[++i] : nullptr) : argv[i] + 7;
            std::uint64_t n = 0;
            if (!parseSeed(value, n)) {
                std::fprintf(stderr, "zenkora: --seed needs a whole number from 0 to 18446744073709551615\n");
                return 2;
            }
            seed = n;
            continue;
        }
        bool takesNext = false;
        if (const std::string qt = qtOption(arg, takesNext); !qt.empty()) {
            if (takesNext && ++i == argc) {
                std::fprintf(stderr, "zenkora: %s needs a value (try 'zenkora --help')\n", argv[i - 1]);
                return 2;
            }
            if (takesNext && qt == "display")
                displayOption = argv[i];
            if (takesNext && qt == "platform")
                platformOption = argv[i];
            continue;
        }
        std::fprintf(stderr, "zenkora: %s '%s' (try 'zenkora --help')\n",
                     arg.size() > 1 && arg[0] == '-' ? "unknown option" : "unexpected argument", argv[i]);
        return 2;
    }
    g_display = displayToTry(displayOption, platformOption);

    if (displayMissing(platformOption)) {
        std::fprintf(stderr, "zenkora: cannot open a display: DISPLAY is not set\n");
        return 1;
    }

    // Before the first text can be laid out, fontconfig reads some sixty files of
    // configuration and its caches. The other core does that while Qt connects to
    // the display; Qt then finds it done.
    // The window is painted by Qt's own raster engine and takes no text input: the
    // OpenGL integration (libGL and its kin) and an input method would only cost
    // start-up time and memory. A setting of the player's own is kept.
    if (!envSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    if (!envSet("QT_IM_MODULE"))
        qputenv("QT_IM_MODULE", "none");

    FontconfigWarmUp fontconfig;
    g_connecting = true;
    g_previousHandler = qInstallMessageHandler(connectingHandler);
    QApplication app(argc, argv);
    g_connecting = false;
    fontconfig.join();
    for (const auto& [type, message] : g_heldBack)
        g_previousHandler(type, QMessageLogContext(), message);
    g_heldBack.clear();
    QApplication::setApplicationName(QStringLiteral("zenkora"));
    QApplication::setApplicationVersion(QStringLiteral(ZENKORA_VERSION));
    ui::setApplicationLook();

    const platform::GameFolders folders = platform::findGameFolders();
    std::string problem;
    if (!platform::makePlayerFolder(folders, persist::kHighScoreFile, problem)) {
        std::fprintf(stderr, "zenkora: %s\n", problem.c_str());
        platform::QtMessageBox(nullptr).show(game::text::kFileNotFound, platform::mb::Critical, game::text::kCaution);
        return 1;
    }

    ui::MainWindow window(ui::WindowOptions{seed, nullptr, folders});
    const auto trace = ui::Trace::ofWindow(window);
    const ui::SaveOnSignals saveOnSignals([&window] { window.game().SavePendingBest(); });
    if (!window.load())
        return 1;  // the player has seen why; the window never appears
    window.showCentred();
    return app.exec();
}
