#pragma once
// A recording stand-in for the window: every call lands in one ordered log, timers
// tick only when a test says so, message boxes answer from a script.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "game/frmMain.h"
#include "platform/Files.h"
#include "platform/MixingRandom.h"
#include "platform/Platform.h"

namespace fake {

struct Log {
    std::vector<std::string> lines;
    void add(std::string line) { lines.push_back(std::move(line)); }
    size_t mark() const { return lines.size(); }
    std::vector<std::string> since(size_t mark) const { return {lines.begin() + static_cast<long>(mark), lines.end()}; }
    // Lines since `mark` that start with `prefix`.
    std::vector<std::string> since(size_t mark, const std::string& prefix) const;
};

class FakePicture : public platform::Picture {
public:
    FakePicture(std::string name, int w, int h) : name_(std::move(name)), w_(w), h_(h) {}
    int width() const override { return w_; }
    int height() const override { return h_; }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    int w_, h_;
};

class FakeImageLoader : public platform::ImageLoader {
public:
    explicit FakeImageLoader(Log& log) : log_(log) {}
    platform::PictureRef load(const std::string& fileName) override;
    std::set<std::string> missing;

private:
    Log& log_;
};

class FakeSurface : public platform::Surface {
public:
    explicit FakeSurface(Log& log) : log_(log) {}
    void setPixelUnits() override;
    void setPersistent(bool on) override;
    void paintPicture(const platform::Picture& picture, int x, int y) override;
    void fillBlack(int x, int y, int width, int height) override;
    void present() override;

    // Name of the picture last painted with its corner at (x, y), "" if none or wiped.
    std::string at(int x, int y) const;
    std::string cell(int column, int row) const { return at(column * 33 + 32, row * 33 + 96); }
    int presents = 0;
    bool pixelUnits = false;

private:
    Log& log_;
    std::map<std::pair<int, int>, std::string> corners_;
};

class FakeTimer : public platform::Timer {
public:
    FakeTimer(Log& log, std::string name) : log_(log), name_(std::move(name)) {}
    void setEnabled(bool on) override;
    bool enabled() const override { return on_; }

private:
    Log& log_;
    std::string name_;
    bool on_ = false;
};

class FakeControls : public platform::Controls {
public:
    explicit FakeControls(Log& log) : log_(log) {}
    void setCaption(platform::Control c, const std::string& utf8) override;
    void setEnabled(platform::Control c, bool on) override;
    void setFocus(platform::Control c) override;
    void unloadWindow() override;

    std::map<platform::Control, std::string> captions;
    std::map<platform::Control, bool> enabled;
    std::optional<platform::Control> focus;
    bool unloaded = false;

private:
    Log& log_;
};

class FakeMessageBox : public platform::MessageBox {
public:
    explicit FakeMessageBox(Log& log) : log_(log) {}
    int show(const std::string& text, int style, const std::string& title) override;

    struct Shown {
        std::string text;
        int style;
        std::string title;
    };
    std::vector<Shown> shown;
    std::deque<int> answers;           // taken in order; when empty: OK, or No for a question
    std::function<void()> whileOpen;   // runs while the box is "open"

private:
    Log& log_;
};

class FixedClock : public platform::Clock {
public:
    std::int64_t millisecondsSinceMidnight() override { return now; }
    std::int64_t now = 12 * 3600 * 1000;
};

// Scripted values first, then a seeded generator.
class FakeRandom : public platform::Random {
public:
    explicit FakeRandom(Log* log = nullptr, std::uint64_t seed = 1) : log_(log) { reseedWith(seed); }
    void reseedWith(std::uint64_t seed) { real_ = std::make_unique<platform::MixingRandom>(clock_, seed); }
    void randomize() override;
    double next() override;
    std::deque<double> script;
    int reseeds = 0;
    int draws = 0;

private:
    Log* log_;
    FixedClock clock_;
    std::unique_ptr<platform::MixingRandom> real_;
};

class FakeAudio : public platform::AudioDevice {
public:
    explicit FakeAudio(Log& log) : log_(log) {}
    void startLoop(const std::string& fileName) override;
    void playToEnd(const std::string& fileName) override;
    void stop() override;
    std::function<void()> whilePlaying;                 // runs inside a blocking play
    std::function<void(const std::string&)> onLoop;  // runs when a loop starts

private:
    Log& log_;
};

// Files in memory, by bare name; any step of a save can be made to fail.
class FakeFiles : public platform::Files {
public:
    explicit FakeFiles(Log& log) : log_(log) {}
    std::string pathOf(const std::string& name) override { return name; }
    bool read(const std::string& path, std::size_t cap, std::string& content, std::string& why) override;
    std::string resolve(const std::string& path) override { return path; }
    // The save lock is no file of its own: taking and releasing it is not logged.
    int lock(const std::string&) override { return failAt == Step::Lock ? -1 : kLock; }
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

// Scripted r values that make one dispatch draw exactly these.
std::vector<double> ufoDraws(int startCol, int dir, int cargo, int maxNumber, bool bomb, int dropCol);
double pick(int value, int k, int c);  // an r with c + floor(k r) == value

struct FakePlatform {
    Log log;
    FakeSurface surface{log};
    FakeImageLoader images{log};
    FakeTimer gameTimer{log, "GameTimer"};
    FakeTimer ufoTimer{log, "UFO_Timer"};
    FakeControls controls{log};
    FakeMessageBox messageBox{log};
    FakeRandom random{&log};
    FakeAudio audio{log};
    FakeFiles files{log};

    FakePlatform();
    game::Services services();
};

// A window over a fake platform, loaded and idle.
struct Game {
    FakePlatform p;
    game::frmMain f{p.services()};

    explicit Game(bool load = true);
    std::string caption(platform::Control c) { return p.controls.captions[c]; }

    // Starts a game with this bottom row and first UFO.
    void start(const std::vector<int>& bottom, const std::vector<double>& firstUfo);
    // Ticks UFO_Timer until the cargo is released (at most 20 ticks); returns the tick count.
    int flyUntilRelease();
    void key(std::int16_t code);
    void tickBlock() { f.GameTimer_Timer(); }
    void fillColumn(int column, const std::vector<int>& fromBottom);
    // What the rules imply should be on screen; empty when they agree.
    std::string screenMismatch();
    std::string invariantBreak();
};

const char* tileFile(int slot);

}  // namespace fake
