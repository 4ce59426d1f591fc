// zenkora_e2e_pilot: plays the real game for the end-to-end scripts.
//
// With --seed every draw of a game is fixed and does not depend on what the player
// does, so the rules themselves (zenkora_core on a silent stand-in platform) can
// replay a seeded game ahead of time. The pilot uses that to choose a short game
// (fill one column until a number finds it full), then plays it on the real window:
// it reads the well off the screen cell by cell against the tile images, waits for
// each falling block to show up in the top row exactly where the replay has it, and
// sends the arrow keys with xdotool. A screen that stops agreeing with the replay
// is reported, never guessed at.
//
//   pilot plan  --seed N [--goal G]               what a seeded game will do
//   pilot pick  --goal G [--from A] [--to B]      the seed with the shortest such game
//   pilot well  --window W --assets DIR           prints the well as read off the screen
//   pilot play  --window W --seed N --assets DIR [--goal G] [--shots DIR] [--start]
//               [--step-timeout S]
//       --start: check that the idle well is empty, then click はじめ; --shots: save
//       the first falling block, the first explosion and the first cleared column seen
//   pilot level FILE [--from BYTE] [--to BYTE] [--window-ms M] [--threshold-db D]
//       one line "windows loud_windows rms_db min_db max_db" for raw s16le mono audio
//
// Goals: fast (shortest game), nonneg (ends with a score of 0 or more, so the game
// tries to save it), gain (ends above 0), bomb (two bombs or more explode on the way).
// Exit codes: 0 done, 1 error or mismatch, 2 usage, 3 the screen left the replay.

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../fakes/NullSurface.h"
#include "game/frmMain.h"
#include "persist/HighScore.h"
#include "platform/Files.h"
#include "platform/MixingRandom.h"
#include "platform/Platform.h"

namespace {

constexpr int kCols = 9;
constexpr int kRowsShown = 9;
constexpr int kCell = 33;
constexpr int kSurfaceX = 16;  // picSpace in the window
constexpr int kSurfaceY = 16;
constexpr int kWellX = 32;  // well in picSpace
constexpr int kWellY = 96;
constexpr int kUnknown = -1;
constexpr int kBombTile = 12;
constexpr int kBlastTile = 13;
constexpr int kVariations = 12;  // random plans tried per column; pick and play must agree

using Well = std::array<int, kCols * kRowsShown>;  // tile index per cell, column-fastest

int& at(Well& w, int c, int r) { return w[static_cast<size_t>(c + r * kCols)]; }
int at(const Well& w, int c, int r) { return w[static_cast<size_t>(c + r * kCols)]; }

char tileChar(int t)
{
    if (t == 0)
        return '.';
    if (t >= 1 && t <= 9)
        return static_cast<char>('0' + t);
    if (t == kBombTile)
        return 'B';
    if (t == kBlastTile)
        return '*';
    return '?';
}

std::string wellText(const Well& w)
{
    std::string s;
    for (int r = 0; r < kRowsShown; ++r) {
        s += "    ";
        for (int c = 0; c < kCols; ++c)
            s += tileChar(at(w, c, r));
        s += '\n';
    }
    return s;
}

// ------------------------------------------------------------ a silent platform for replays

class NullPicture : public platform::Picture {
public:
    int width() const override { return kCell; }
    int height() const override { return kCell; }
};

class NullImages : public platform::ImageLoader {
public:
    platform::PictureRef load(const std::string&) override { return std::make_shared<NullPicture>(); }
};

using NullSurface = fake::NullSurface;

class FlagTimer : public platform::Timer {
public:
    void setEnabled(bool on) override { on_ = on; }
    bool enabled() const override { return on_; }

private:
    bool on_ = false;
};

class NullControls : public platform::Controls {
public:
    void setCaption(platform::Control, const std::string&) override {}
    void setEnabled(platform::Control, bool) override {}
    void setFocus(platform::Control) override {}
    void unloadWindow() override {}
};

class BoxLog : public platform::MessageBox {
public:
    int show(const std::string& text, int, const std::string&) override
    {
        if (text == game::text::kGameOver) {
            gameOver = true;
            if (onGameOver)
                onGameOver();
        }
        if (text == game::text::kSaveFailed)
            saveFailed = true;
        return platform::mb::Ok;
    }
    bool gameOver = false;
    bool saveFailed = false;
    std::function<void()> onGameOver;
};

class StillClock : public platform::Clock {
public:
    std::int64_t millisecondsSinceMidnight() override { return 0; }
};

class CountingAudio : public platform::AudioDevice {
public:
    void startLoop(const std::string&) override {}
    void playToEnd(const std::string&) override { ++explosions; }
    void stop() override {}
    int explosions = 0;
};

class MemoryFiles : public platform::Files {
public:
    std::string pathOf(const std::string& name) override { return name; }
    bool read(const std::string& name, std::size_t, std::string& content, std::string&) override
    {
        auto it = files.find(name);
        if (it == files.end())
            return false;
        content = it->second;
        return true;
    }
    std::string resolve(const std::string& path) override { return path; }
    int lock(const std::string&) override { return 4; }
    int createTempBeside(const std::string&, std::string& tempName) override
    {
        tempName = "tmp";
        files[tempName].clear();
        return 3;
    }
    bool write(int, const std::string& bytes) override
    {
        files["tmp"] += bytes;
        return true;
    }
    bool sync(int) override { return true; }
    bool close(int) override { return true; }
    bool rename(const std::string& from, const std::string& to) override
    {
        files[to] = files[from];
        files.erase(from);
        ++saves;
        return true;
    }
    void remove(const std::string& name) override { files.erase(name); }
    std::map<std::string, std::string> files;
    int saves = 0;
};

// ------------------------------------------------------------ replaying a seeded game

// One moment the pilot acts on: a block has just entered the top row.
struct Decision {
    int ufo = 0;
    int column = 0;  // where it entered
    int cargo = 0;
    int target = 0;  // where the pilot steers it before dropping it
    Well screen{};   // the well as it must look at that moment
    std::vector<std::string> keys;
    bool lateSafe = true;  // the same keys one row lower would end the same way
    int clearsBefore = 0;  // columns completed so far in this game
};

struct Outcome {
    std::uint64_t seed = 0;
    bool gameOver = false;
    int ufos = 0;  // UFOs dispatched when the game ended
    std::int32_t score = 0;
    int explosions = 0;
    int clears = 0;
    bool saves = false;  // the game writes the high-score file (starting from 0)
    long long ms = 0;    // estimated time from the click on start to the game-over box
    std::array<int, kCols> bottom{};
    Well finalWell{};
    std::vector<Decision> decisions;
    int fragile = 0;  // decisions that must be acted on while the block is in row 0

    std::string summary() const
    {
        char b[256];
        std::snprintf(b, sizeof b,
                      "seed=%llu ufos=%d score=%d explosions=%d clears=%d saves=%s est_ms=%lld decisions=%zu "
                      "row0_only=%d",
                      static_cast<unsigned long long>(seed), ufos, score, explosions, clears, saves ? "yes" : "no",
                      ms, decisions.size(), fragile);
        return b;
    }
};

// Which column the pilot wants each block in. Index: UFO number.
struct Plan {
    int fillColumn = -1;         // the column to fill up; -1: drop every block where it enters
    std::vector<bool> skip;      // numbers deliberately kept out of the filled column
    std::vector<int> dumpShift;  // where kept-out blocks and bombs go: -1 left, +1 right, 0 stay
};

class Replay {
public:
    explicit Replay(std::uint64_t seed)
        : random_(clock_, seed),
          f_(game::Services{surface_, images_, gameTimer_, ufoTimer_, controls_, box_, random_, audio_, files_}),
          seed_(seed)
    {
        files_.files[persist::kHighScoreFile] = "\"HighScore=0\"\r\n";
    }

    Outcome run(const Plan& plan)
    {
        Outcome out;
        out.seed = seed_;
        // What the window shows while the game-over box is open.
        box_.onGameOver = [&] {
            out.finalWell = well();
            out.score = f_.score;
            out.ufos = f_.ufoCount;
        };
        if (!f_.Form_Load())
            return out;
        f_.cmdStart_Click();
        for (int c = 0; c < kCols; ++c)
            out.bottom[static_cast<size_t>(c)] = f_.board(c, 8);
        long long ms = 0;
        int lastExplosions = 0;
        std::int32_t lastScore = f_.score;
        auto account = [&] {
            if (!box_.gameOver && f_.score > lastScore)
                ++out.clears;  // only a completed ten raises the score
            lastScore = f_.score;
            ms += 1000LL * (audio_.explosions - lastExplosions);  // the explosion holds the game
            lastExplosions = audio_.explosions;
        };
        for (int step = 0; step < 200000 && !box_.gameOver; ++step) {
            if (ufoTimer_.enabled()) {
                f_.UFO_Timer_Timer();
                ms += 100;
                account();
            } else if (gameTimer_.enabled()) {
                const bool released = f_.pieceRow == -1;
                f_.GameTimer_Timer();
                ms += 400;
                account();
                if (released && !box_.gameOver && gameTimer_.enabled() && f_.pieceRow == 0) {
                    decide(plan, out);
                    ms += 50;  // the keys' way through xdotool and the X server
                    account();
                }
            } else {
                break;  // cannot happen outside a message box
            }
        }
        box_.onGameOver = nullptr;
        out.gameOver = box_.gameOver;
        out.explosions = audio_.explosions;
        out.saves = files_.saves > 0;
        out.ms = ms;
        return out;
    }

private:
    Well well()
    {
        Well w{};
        for (int c = 0; c < kCols; ++c)
            for (int r = 0; r < kRowsShown; ++r)
                at(w, c, r) = f_.board(c, r);
        return w;
    }

    void decide(const Plan& plan, Outcome& out)
    {
        Decision d;
        d.ufo = f_.ufoCount;
        d.column = f_.pieceCol;
        d.cargo = f_.cargo;
        d.clearsBefore = out.clears;
        d.screen = well();
        at(d.screen, d.column, 0) = d.cargo;

        const size_t k = static_cast<size_t>(d.ufo);
        int target = d.column;
        const int fill = plan.fillColumn;
        if (fill >= 0) {
            int sum = 0, height = 0;
            for (int r = 0; r < kRowsShown; ++r) {
                sum += f_.board(fill, r);
                height += f_.board(fill, r) != 0;
            }
            const bool wanted = d.cargo != kBombTile && height < kRowsShown && (sum + d.cargo) % 10 != 0 &&
                                !(k < plan.skip.size() && plan.skip[k]);
            if (wanted) {
                target = fill;
            } else {
                const int shift = k < plan.dumpShift.size() ? plan.dumpShift[k] : 0;
                target = std::clamp(d.column + shift, 0, kCols - 1);
                if (target == fill)
                    target = fill + (fill < kCols - 1 ? 1 : -1);
            }
        }
        d.target = target;
        const char* key = target < d.column ? "Left" : "Right";
        for (int i = 0; i < std::abs(target - d.column); ++i)
            d.keys.emplace_back(key);
        d.keys.emplace_back("Down");

        // Would the same keys still work with the block one row lower?
        const int lo = std::min(target, d.column), hi = std::max(target, d.column);
        for (int c = lo; c <= hi; ++c)
            if (c != d.column && f_.board(c, 1) != 0)
                d.lateSafe = false;
        if (!d.lateSafe)
            ++out.fragile;

        for (const std::string& name : d.keys) {
            std::int16_t code = name == "Left" ? game::vbKeyLeft : name == "Right" ? game::vbKeyRight : game::vbKeyDown;
            f_.Form_KeyDown(code, 0);
        }
        out.decisions.push_back(std::move(d));
    }

    StillClock clock_;
    NullSurface surface_;
    NullImages images_;
    FlagTimer gameTimer_;
    FlagTimer ufoTimer_;
    NullControls controls_;
    BoxLog box_;
    platform::MixingRandom random_;
    CountingAudio audio_;
    MemoryFiles files_;
    game::frmMain f_;
    std::uint64_t seed_;
};

Outcome replay(std::uint64_t seed, const Plan& plan)
{
    Replay r(seed);
    return r.run(plan);
}

bool meets(const Outcome& o, const std::string& goal)
{
    if (!o.gameOver)
        return false;
    if (goal == "nonneg")
        return o.score >= 0 && o.saves;
    if (goal == "gain")
        return o.score > 0 && o.saves;
    if (goal == "bomb")
        return o.explosions >= 2;
    return true;
}

// Shorter games first; among equals, fewer moves that only work in the top row.
bool better(const Outcome& a, const Outcome& b)
{
    if (a.ms != b.ms)
        return a.ms < b.ms;
    return a.fragile < b.fragile;
}

// Tries filling each column, with a few random variations of which numbers to keep
// out and where the rest go, and keeps the shortest game that meets the goal.
std::optional<std::pair<Plan, Outcome>> best(std::uint64_t seed, const std::string& goal, int variations)
{
    std::optional<std::pair<Plan, Outcome>> found;
    std::mt19937_64 rng(seed * 7919 + 17);
    auto consider = [&](const Plan& plan) {
        Outcome o = replay(seed, plan);
        if (meets(o, goal) && (!found || better(o, found->second)))
            found = std::make_pair(plan, std::move(o));
    };
    Plan none;
    consider(none);
    for (int fill = 0; fill < kCols - 1; ++fill) {
        Plan plan;
        plan.fillColumn = fill;
        consider(plan);
        for (int v = 0; v < variations; ++v) {
            Plan p = plan;
            p.skip.assign(52, false);
            p.dumpShift.assign(52, 0);
            for (size_t k = 0; k < 52; ++k) {
                p.skip[k] = rng() % 6 == 0;
                const int roll = static_cast<int>(rng() % 4);
                p.dumpShift[k] = roll == 0 ? -1 : roll == 1 ? 1 : 0;
            }
            consider(p);
        }
    }
    return found;
}

// ------------------------------------------------------------ the real window

struct Tiles {
    std::array<QImage, 14> images;  // n0..n9, 10/11 unused, bomb, blast
    bool load(const QString& dir)
    {
        const char* names[14] = {"n0.bmp", "n1.bmp", "n2.bmp", "n3.bmp", "n4.bmp", "n5.bmp", "n6.bmp",
                                 "n7.bmp", "n8.bmp", "n9.bmp", nullptr,  nullptr,  "bom.bmp", "ban.bmp"};
        for (int i = 0; i < 14; ++i) {
            if (!names[i])
                continue;
            QImage img(dir + QLatin1Char('/') + QLatin1String(names[i]));
            if (img.isNull() || img.width() != kCell || img.height() != kCell) {
                std::fprintf(stderr, "pilot: cannot read tile %s\n", names[i]);
                return false;
            }
            images[static_cast<size_t>(i)] = img.convertToFormat(QImage::Format_RGB32);
        }
        return true;
    }
};

bool sameCell(const QImage& shot, int x0, int y0, const QImage& tile)
{
    for (int y = 0; y < kCell; ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(shot.constScanLine(y0 + y)) + x0;
        const auto* b = reinterpret_cast<const QRgb*>(tile.constScanLine(y));
        for (int x = 0; x < kCell; ++x)
            if ((a[x] ^ b[x]) & 0xFFFFFFu)
                return false;
    }
    return true;
}

class Screen {
public:
    Screen(WId window, const Tiles& tiles) : window_(window), tiles_(tiles) {}

    QImage grab()
    {
        QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->grabWindow(window_).toImage().convertToFormat(QImage::Format_RGB32) : QImage();
    }

    // The well as tile indexes, kUnknown where a cell matches no tile exactly.
    bool read(Well& w, QImage* shotOut = nullptr)
    {
        QImage shot = grab();
        if (shot.width() < kSurfaceX + kWellX + kCols * kCell || shot.height() < kSurfaceY + kWellY + kRowsShown * kCell)
            return false;
        for (int c = 0; c < kCols; ++c)
            for (int r = 0; r < kRowsShown; ++r) {
                const int x = kSurfaceX + kWellX + c * kCell, y = kSurfaceY + kWellY + r * kCell;
                int found = kUnknown;
                for (int t = 0; t < 14 && found == kUnknown; ++t)
                    if (!tiles_.images[static_cast<size_t>(t)].isNull() &&
                        sameCell(shot, x, y, tiles_.images[static_cast<size_t>(t)]))
                        found = t;
                at(w, c, r) = found;
            }
        if (shotOut)
            *shotOut = std::move(shot);
        return true;
    }

private:
    WId window_;
    const Tiles& tiles_;
};

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

bool xdotool(const QStringList& args)
{
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

// ------------------------------------------------------------ command line

struct Args {
    std::string command;
    std::map<std::string, std::string> opts;
    std::vector<std::string> rest;
    std::string get(const std::string& k, const std::string& fallback = "") const
    {
        auto it = opts.find(k);
        return it == opts.end() ? fallback : it->second;
    }
    bool has(const std::string& k) const { return opts.count(k) != 0; }
};

Args parse(int argc, char** argv)
{
    Args a;
    if (argc > 1)
        a.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string s = argv[i];
        if (s.rfind("--", 0) == 0) {
            const std::string key = s.substr(2);
            if (key == "start")
                a.opts[key] = "1";
            else if (i + 1 < argc)
                a.opts[key] = argv[++i];
        } else {
            a.rest.push_back(s);
        }
    }
    return a;
}

void printPlan(const Outcome& o)
{
    std::printf("%s\n", o.summary().c_str());
    std::printf("bottom=");
    for (int v : o.bottom)
        std::printf("%d", v);
    std::printf("\n");
    for (const Decision& d : o.decisions)
        std::printf("ufo %2d: %c enters column %d, goes to %d%s\n", d.ufo, tileChar(d.cargo), d.column, d.target,
                    d.lateSafe ? "" : " (top row only)");
    std::printf("final well:\n%s", wellText(o.finalWell).c_str());
}

int cmdPlan(const Args& a)
{
    const std::uint64_t seed = std::strtoull(a.get("seed", "1").c_str(), nullptr, 10);
    auto found = best(seed, a.get("goal", "fast"), kVariations);
    if (!found) {
        std::printf("seed=%llu: no plan meets the goal\n", static_cast<unsigned long long>(seed));
        return 1;
    }
    printPlan(found->second);
    return 0;
}

int cmdPick(const Args& a)
{
    const std::string goal = a.get("goal", "fast");
    const std::uint64_t from = std::strtoull(a.get("from", "1").c_str(), nullptr, 10);
    const std::uint64_t to = std::strtoull(a.get("to", "40").c_str(), nullptr, 10);
    std::optional<Outcome> pick;
    for (std::uint64_t seed = from; seed <= to; ++seed) {
        auto found = best(seed, goal, kVariations);
        // Prefer games that never depend on acting within the top row.
        if (found && (!pick || found->second.fragile < pick->fragile ||
                      (found->second.fragile == pick->fragile && better(found->second, *pick))))
            pick = found->second;
    }
    if (!pick) {
        std::fprintf(stderr, "pilot: no seed from %llu to %llu meets goal %s\n", static_cast<unsigned long long>(from),
                     static_cast<unsigned long long>(to), goal.c_str());
        return 1;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(pick->seed));
    std::fprintf(stderr, "pilot: %s\n", pick->summary().c_str());
    return 0;
}

int cmdWell(const Args& a, int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    Tiles tiles;
    if (!tiles.load(QString::fromStdString(a.get("assets", "."))))
        return 1;
    Screen screen(static_cast<WId>(std::strtoull(a.get("window").c_str(), nullptr, 0)), tiles);
    Well w{};
    if (!screen.read(w)) {
        std::fprintf(stderr, "pilot: cannot grab the window\n");
        return 1;
    }
    std::printf("%s", wellText(w).c_str());
    return 0;
}

int cmdPlay(const Args& a, int argc, char** argv)
{
    const std::uint64_t seed = std::strtoull(a.get("seed", "1").c_str(), nullptr, 10);
    const std::string goal = a.get("goal", "fast");
    const QString shots = QString::fromStdString(a.get("shots"));
    const double stepTimeout = std::atof(a.get("step-timeout", "15").c_str());

    auto found = best(seed, goal, kVariations);
    if (!found) {
        std::fprintf(stderr, "pilot: seed %llu has no game that meets goal %s\n", static_cast<unsigned long long>(seed),
                     goal.c_str());
        return 1;
    }
    const Outcome& plan = found->second;
    std::printf("plan: %s\n", plan.summary().c_str());
    std::fflush(stdout);

    QGuiApplication app(argc, argv);
    Tiles tiles;
    if (!tiles.load(QString::fromStdString(a.get("assets", "."))))
        return 1;
    const WId wid = static_cast<WId>(std::strtoull(a.get("window").c_str(), nullptr, 0));
    const QString widText = QString::number(static_cast<qulonglong>(wid));
    Screen screen(wid, tiles);
    const auto t0 = Clock::now();

    Well seen{};
    QImage shot;
    if (a.has("start")) {
        // The idle well first: all empty.
        if (!screen.read(seen, &shot)) {
            std::fprintf(stderr, "pilot: cannot grab the window\n");
            return 1;
        }
        for (int v : seen)
            if (v != 0) {
                std::fprintf(stderr, "pilot: the idle well is not empty:\n%s", wellText(seen).c_str());
                return 1;
            }
        if (!xdotool({"mousemove", "--window", widText, "468", "368", "click", "1"}))
            return 1;
    }

    int blastFrames = 0;
    bool blastSaved = false;
    bool clearSaved = false;
    auto save = [&](const QImage& img, const QString& name) {
        if (!shots.isEmpty())
            img.save(shots + QLatin1Char('/') + name);
    };

    int n = 0;
    for (const Decision& d : plan.decisions) {
        ++n;
        const auto waitFrom = Clock::now();
        bool matched = false;
        Well last{};
        while (secondsSince(waitFrom) < stepTimeout) {
            if (screen.read(seen, &shot)) {
                last = seen;
                if (std::count(seen.begin(), seen.end(), kBlastTile) > 0) {
                    ++blastFrames;
                    if (!blastSaved) {
                        save(shot, QStringLiteral("explosion.png"));
                        blastSaved = true;
                    }
                }
                if (seen == d.screen) {
                    matched = true;
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(8));
        }
        if (!matched) {
            std::printf("diverged: at UFO %d (decision %d, %.1f s) the screen never showed\n%sit showed\n%s", d.ufo, n,
                        secondsSince(t0), wellText(d.screen).c_str(), wellText(last).c_str());
            save(shot, QStringLiteral("diverged.png"));
            return 3;
        }
        const double late = secondsSince(waitFrom);
        if (n == 1)
            save(shot, QStringLiteral("first-block.png"));
        if (d.clearsBefore > 0 && !clearSaved) {
            save(shot, QStringLiteral("after-clear.png"));
            clearSaved = true;
        }
        QStringList keys{"key", "--delay", "4"};
        for (const std::string& k : d.keys)
            keys << QString::fromStdString(k);
        if (!xdotool(keys))
            return 1;
        std::printf("ufo %2d: %c at column %d -> %d (seen after %.2f s)\n", d.ufo, tileChar(d.cargo), d.column,
                    d.target, late);
        std::fflush(stdout);
    }

    // Last: the well freezes as the replay ends it. The game-over box may already
    // cover some cells; those read as unknown and are let pass.
    const auto waitFrom = Clock::now();
    bool matched = false;
    while (secondsSince(waitFrom) < stepTimeout) {
        if (screen.read(seen, &shot)) {
            if (std::count(seen.begin(), seen.end(), kBlastTile) > 0)
                ++blastFrames;
            int covered = 0;
            bool same = true;
            for (size_t i = 0; i < seen.size() && same; ++i) {
                if (seen[i] == kUnknown)
                    ++covered;
                else
                    same = seen[i] == plan.finalWell[i];
            }
            if (same && covered <= 30) {
                matched = true;
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(8));
    }
    if (!matched) {
        std::printf("diverged: the final well never showed\n%sit showed\n%s", wellText(plan.finalWell).c_str(),
                    wellText(seen).c_str());
        return 3;
    }
    save(shot, QStringLiteral("last-well.png"));
    std::printf("done: %s blast_frames_seen=%d elapsed=%.1fs\n", plan.summary().c_str(), blastFrames,
                secondsSince(t0));
    return 0;
}

// Levels of raw signed 16-bit mono audio from byte `from` to byte `to`: one line
// "windows loud_windows rms_db min_db max_db" over windows of `window-ms`.
int cmdLevel(const Args& a)
{
    if (a.rest.empty())
        return 2;
    std::FILE* f = std::fopen(a.rest[0].c_str(), "rb");
    if (!f) {
        std::perror(a.rest[0].c_str());
        return 1;
    }
    const long rate = std::atol(a.get("rate", "44100").c_str());
    const long from = std::atol(a.get("from", "0").c_str()) & ~1L;
    const long to = std::atol(a.get("to", "-1").c_str());
    const double windowMs = std::atof(a.get("window-ms", "50").c_str());
    const double threshold = std::atof(a.get("threshold-db", "-45").c_str());
    std::fseek(f, from, SEEK_SET);
    const long perWindow = std::max(1L, static_cast<long>(rate * windowMs / 1000.0));
    long pos = from, inWindow = 0, windows = 0, loud = 0;
    double sum = 0, total = 0, minDb = 1e9, maxDb = -1e9;
    long long totalN = 0;
    auto db = [](double s, long long n) { return s > 0 ? 10 * std::log10(s / n / (32768.0 * 32768.0)) : -200.0; };
    auto close = [&] {
        if (inWindow < perWindow)
            return;
        const double d = db(sum, inWindow);
        minDb = std::min(minDb, d);
        maxDb = std::max(maxDb, d);
        loud += d > threshold;
        ++windows;
        sum = 0;
        inWindow = 0;
    };
    std::int16_t sample;
    while ((to < 0 || pos + 2 <= to) && std::fread(&sample, 2, 1, f) == 1) {
        pos += 2;
        sum += double(sample) * sample;
        total += double(sample) * sample;
        ++totalN;
        if (++inWindow == perWindow)
            close();
    }
    std::fclose(f);
    std::printf("%ld %ld %.1f %.1f %.1f\n", windows, loud, totalN ? db(total, totalN) : -200.0,
                windows ? minDb : -200.0, windows ? maxDb : -200.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const Args a = parse(argc, argv);
    if (a.command == "plan")
        return cmdPlan(a);
    if (a.command == "pick")
        return cmdPick(a);
    if (a.command == "well")
        return cmdWell(a, argc, argv);
    if (a.command == "play")
        return cmdPlay(a, argc, argv);
    if (a.command == "level")
        return cmdLevel(a);
    std::fprintf(stderr, "usage: pilot plan|pick|well|play|level ... (see the top of pilot.cpp)\n");
    return 2;
}
