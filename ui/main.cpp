// zenkora: the game's executable.

#include <QApplication>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "persist/HighScore.h"
#include "platform/posix/GameFolders.h"
#include "ui/Display.h"
#include "ui/SaveOnSignals.h"
#include "ui/Trace.h"
#include "ui/window/MainWindow.h"

#ifndef ZENKORA_VERSION
#define ZENKORA_VERSION "1.0"
#endif

namespace {

void printUsage()
{
    const platform::GameFolders f = platform::findGameFolders();
    std::printf("Usage: zenkora [--seed N] [Qt options]\n"
                "%s: steer the numbered blocks the UFO drops so that columns add up to ten.\n\n"
                "  --seed N    fixed random seed (0 to 18446744073709551615): the same draws every run\n"
                "  --help      show this help and exit\n"
                "  --version   show the version and exit\n\n"
                "Folders:\n  %s\n"
                "      yours, ${XDG_DATA_HOME:-~/.local/share}/zenkora, made at the first start.\n"
                "      h-score.txt there keeps the best score. An image, icon or sound put there\n"
                "      under the game's name for it (n0.bmp to n9.bmp, ufo01.bmp, ufo02.bmp,\n"
                "      bom.bmp, ban.bmp, zenkora.png, open.wav, game.wav, danger.wav, bom.wav)\n"
                "      is used instead of the game's own.\n  %s\n"
                "      the game's own images, sounds and first h-score.txt, installed with it.\n",
                ui::kTitle, f.player.empty() ? "(no home folder: HOME is not set)" : f.player.c_str(),
                f.assets.empty() ? "(not found: the working directory instead)" : f.assets.c_str());
}

int refuse(const QString& what)
{
    std::fprintf(stderr, "zenkora: %s (try 'zenkora --help')\n", qPrintable(what));
    return 2;
}

struct Options {
    QCommandLineParser parser;
    std::optional<std::uint64_t> seed;
};

// The options read before there is a display: --help and --version answer at once,
// --seed is checked. Returns the exit code when the program ends here.
std::optional<int> readOptions(Options& options, int argc, char** argv)
{
    QCommandLineParser& parser = options.parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QString(), QStringLiteral("N"));
    parser.addOptions({help, version, seedOption});
    // First without a display: options Qt takes for itself look unknown until it has.
    parser.parse(QStringList(argv, argv + argc));
    if (parser.isSet(help))
        return printUsage(), 0;
    if (parser.isSet(version))
        return std::printf("%s (zenkora %s)\n", ui::kTitle, ZENKORA_VERSION), 0;
    if (parser.isSet(seedOption)) {
        // Plain digits only: the number parsers would take a blank or a sign.
        const QString text = parser.value(seedOption);
        bool inRange = false;
        options.seed = text.toULongLong(&inRange);
        if (!inRange || !QRegularExpression(QStringLiteral("^[0-9]+$")).match(text).hasMatch())
            return refuse(QStringLiteral("--seed needs a whole number from 0 to 18446744073709551615"));
    }
    return std::nullopt;
}

// Whatever is left once Qt has taken its own options is refused.
std::optional<int> refuseLeftovers(QCommandLineParser& parser)
{
    if (!parser.parse(QCoreApplication::arguments())) {
        const QStringList unknown = parser.unknownOptionNames();
        return refuse(unknown.isEmpty() ? parser.errorText()
                                        : QStringLiteral("unknown option '-%1%2'").arg(unknown[0].size() > 1 ? "-" : "", unknown[0]));
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    return std::nullopt;
}

void nameApplication()
{
    QApplication::setApplicationName(QStringLiteral("zenkora"));
    QApplication::setApplicationVersion(QStringLiteral(ZENKORA_VERSION));
    // The Wayland app id: the desktop entry's name ties the window to its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.zenkora.Zenkora"));
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (const std::optional<int> done = readOptions(options, argc, argv))
        return *done;
    const std::unique_ptr<QApplication> app = ui::openDisplay(argc, argv);
    if (const std::optional<int> refused = refuseLeftovers(options.parser))
        return *refused;
    nameApplication();
    ui::setApplicationLook();

    const platform::GameFolders folders = platform::findGameFolders();
    std::string problem;
    if (!platform::makePlayerFolder(folders, persist::kHighScoreFile, problem)) {
        std::fprintf(stderr, "zenkora: %s\n", problem.c_str());
        platform::QtMessageBox(nullptr).show(game::text::kFileNotFound, platform::mb::Critical, game::text::kCaution);
        return 1;
    }
    ui::MainWindow window(ui::WindowOptions{options.seed, nullptr, folders});
    const auto trace = ui::Trace::ofWindow(window);
    const ui::SaveOnSignals saveOnSignals([&window] { window.game().SavePendingBest(); });
    if (!window.load())
        return 1;  // the player has seen why; the window never appears
    window.showCentred();
    return app->exec();
}
