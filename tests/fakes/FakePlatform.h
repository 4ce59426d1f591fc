#pragma once
// The window's world for the rules, in one fake: a playfield that knows which picture
// shows at every pixel, labels, boxes that answer as told, a sound device that knows
// what plays, and timers that tick only when a test says so.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "game/frmMain.h"
#include "platform/Files.h"
#include "platform/posix/MixingRandom.h"
#include "platform/Platform.h"

namespace fake {

struct Log {
    std::vector<std::string> lines;
    void add(std::string line) { lines.push_back(std::move(line)); }
    // Lines from `mark` on that start with `prefix`.
    std::vector<std::string> since(size_t mark, const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (size_t i = mark; i < lines.size(); ++i)
            if (lines[i].rfind(prefix, 0) == 0)
                out.push_back(lines[i]);
        return out;
    }
};

struct FakeTimer : platform::Timer {
    bool on = false;
    void setEnabled(bool enable) override { on = enable; }
    bool enabled() const override { return on; }
};

struct FixedClock : platform::Clock {
    std::int64_t now = 12 * 3600 * 1000;
    std::int64_t millisecondsSinceMidnight() override { return now; }
};

// Scripted values first, then a seeded generator.
struct FakeRandom : platform::Random {
    std::vector<double> script;
    size_t used = 0;
    FixedClock clock;
    std::unique_ptr<platform::MixingRandom> real = std::make_unique<platform::MixingRandom>(clock, 1);
    void reseedWith(std::uint64_t seed) { real = std::make_unique<platform::MixingRandom>(clock, seed); }
    void randomize() override { real->randomize(); }
    double next() override { return used < script.size() ? script[used++] : real->next(); }
};

// Files in memory, by bare name; any step of a save can be made to fail.
class FakeFiles : public platform::Files {
public:
    explicit FakeFiles(Log& log) : log_(log) {}
    std::string pathOf(const std::string& name) override { return name; }
    bool read(const std::string& path, std::size_t cap, std::string& content, std::string& why) override;
    std::string resolve(const std::string& path) override { return path; }
    // Only a save takes the lock: its log tells whether the file was touched at all.
    int lock(const std::string&) override { return log_.add("file lock"), failAt == Step::Lock ? -1 : kLock; }
    int createTempBeside(const std::string& target, std::string& tempName) override;
    bool write(int handle, const std::string& bytes) override;
    bool sync(int handle) override;
    bool close(int handle) override;
    bool rename(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;

    enum class Step { None, Lock, Create, Write, Sync, Close, Rename };
    Step failAt = Step::None;
    std::map<std::string, std::string> files;

private:
    static constexpr int kLock = 1;
    Log& log_;
    std::map<int, std::string> open_;
    int nextHandle_ = 3;
};

struct FakePicture : platform::Picture {
    std::string name;
    int w, h;
    FakePicture(std::string file, int width, int height) : name(std::move(file)), w(width), h(height) {}
    int width() const override { return w; }
    int height() const override { return h; }
};

struct FakePlatform : platform::Surface, platform::ImageLoader, platform::Controls, platform::MessageBox,
                      platform::AudioDevice {
    static constexpr int kWidth = 369, kHeight = 401;
    FakePlatform() { files.files["h-score.txt"] = "\"HighScore=0\"\r\n"; }
    game::Services services() { return {*this, *this, gameTimer, ufoTimer, *this, *this, random, *this, files}; }

    // Pictures and fills clip to the playfield; a fill excludes its far edges.
    void setPixelUnits() override { pixelUnits = true; }
    void setPersistent(bool) override {}
    void paintPicture(const platform::Picture& picture, int x, int y) override;
    void fillBlack(int x, int y, int width, int height) override { cover(x, y, width, height, -1); }
    void present() override { unpresented = 0; }
    struct Paint { FakePicture picture; int x, y; };
    // The painting that shows at pixel (x, y); null where it is black or never drawn.
    const Paint* showing(int x, int y) const;
    // The file shown whole with its corner at (x, y), "" for black, "?" for anything else.
    std::string at(int x, int y) const;
    std::string cell(int column, int row) const  // row -1: the cargo spot under the UFO
    {
        return at(column * game::kCell + game::kWellLeft, row * game::kCell + game::kWellTop);
    }
    std::string ufo(int column) const { return at(column * game::kCell, 0); }
    bool pixelUnits = false;
    int unpresented = 0;  // drawings since the last present()
    std::vector<Paint> paints;
    std::vector<int> pixels = std::vector<int>(kWidth * kHeight, -1);  // index into paints, -1: black

    platform::PictureRef load(const std::string& file) override
    {
        if (missing.count(file))
            throw platform::LoadError("cannot load " + file);
        const bool ufo = file[0] == 'u';  // the cargo hangs under the UFO's 96 x 63
        return std::make_shared<FakePicture>(file, ufo ? 96 : game::kCell, ufo ? 63 : game::kCell);
    }
    std::set<std::string> missing;

    void setCaption(platform::Control c, const std::string& utf8) override { captions[c] = utf8; }
    void setEnabled(platform::Control c, bool on) override { enabled[c] = on; }
    void setFocus(platform::Control) override {}
    void unloadWindow() override { unloaded = true; }
    std::map<platform::Control, std::string> captions;
    std::map<platform::Control, bool> enabled;
    bool unloaded = false;

    // Each box as "style|title|text"; answered with `answer`, or OK, or No to a question.
    int show(const std::string& text, int style, const std::string& title) override
    {
        boxes.push_back(std::to_string(style) + "|" + title + "|" + text);
        whileBox();
        return answer ? answer : style == platform::mb::YesNoExclamation ? platform::mb::No : platform::mb::Ok;
    }
    std::vector<std::string> boxes;
    int answer = 0;
    std::function<void()> whileBox = [] {};

    void startLoop(const std::string& file) override { looping = file; }
    void playToEnd(const std::string& file) override { looping.clear(), playedOnce.push_back(file), whilePlaying(); }
    void stop() override { looping.clear(); }
    std::string looping;  // "" while silent
    std::vector<std::string> playedOnce;
    std::function<void()> whilePlaying = [] {};  // inside a blocking sound

    Log log;
    FakeTimer gameTimer, ufoTimer;
    std::string timersOn() const { return std::string(gameTimer.on ? "Game" : "") + (ufoTimer.on ? "UFO" : ""); }
    FakeRandom random;
    FakeFiles files{log};

private:
    void cover(int x, int y, int w, int h, int with);
};

// A window over the fake, loaded and idle unless told not to load.
struct Game {
    FakePlatform p;
    game::frmMain f{p.services()};

    explicit Game(bool load = true) { if (load) f.Form_Load(); }
    std::string caption(platform::Control c) { return p.captions[c]; }
    // Starts a game with this bottom row, then these draws.
    void start(const std::vector<int>& bottom, const std::vector<double>& draws);
    // Ticks until the cargo is released, or until the block has ended: their count, or -1.
    int flyUntilRelease() { return tickUntil(&game::frmMain::UFO_Timer_Timer, true); }
    int land() { return tickUntil(&game::frmMain::GameTimer_Timer, false); }
    void key(std::int16_t code) { f.Form_KeyDown(code, 0); }
    void fillColumn(int column, const std::vector<int>& fromBottom);
    std::vector<int> column(int c);  // from the bottom up
    // Where the picture and the rules disagree, or the rules leave their bounds; "" when all is well.
    std::string mismatch();

private:
    int tickUntil(void (game::frmMain::*tick)(), bool gameTimerOn);
};

double pick(int value, int k, int c);  // an r with c + floor(k r) == value
// The five draws of a UFO that flies from startCol in dir with cargo (or a bomb) to dropCol.
std::vector<double> ufoDraws(int startCol, int dir, int cargo, int maxNumber, bool bomb, int dropCol);

}  // namespace fake
