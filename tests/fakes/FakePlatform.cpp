#include "fakes/FakePlatform.h"

#include <algorithm>
#include <sstream>

using platform::Control;

namespace fake {

std::vector<std::string> Log::since(size_t mark, const std::string& prefix) const
{
    std::vector<std::string> out;
    for (size_t i = mark; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0)
            out.push_back(lines[i]);
    return out;
}

const char* tileFile(int slot)
{
    static const char* names[] = {"n0.bmp", "n1.bmp", "n2.bmp", "n3.bmp", "n4.bmp", "n5.bmp", "n6.bmp", "n7.bmp",
                                  "n8.bmp", "n9.bmp", "ufo01.bmp", "ufo02.bmp", "bom.bmp", "ban.bmp"};
    return slot >= 0 && slot < 14 ? names[slot] : "?";
}

platform::PictureRef FakeImageLoader::load(const std::string& fileName)
{
    log_.add("load " + fileName);
    if (missing.count(fileName))
        throw platform::LoadError("cannot load " + fileName);
    bool ufo = fileName.rfind("ufo", 0) == 0;
    return std::make_shared<FakePicture>(fileName, ufo ? 96 : 33, ufo ? 63 : 33);
}

void FakeSurface::setPixelUnits()
{
    pixelUnits = true;
    log_.add("surface pixels");
}

void FakeSurface::setPersistent(bool on) { log_.add(on ? "persistent on" : "persistent off"); }

void FakeSurface::paintPicture(const platform::Picture& picture, int x, int y)
{
    const auto& name = static_cast<const FakePicture&>(picture).name();
    corners_[{x, y}] = name;
    log_.add("paint " + name + " " + std::to_string(x) + " " + std::to_string(y));
}

void FakeSurface::fillBlack(int x, int y, int width, int height)
{
    for (auto it = corners_.begin(); it != corners_.end();) {
        auto [cx, cy] = it->first;
        bool inside = cx >= x && cx < x + width && cy >= y && cy < y + height;
        it = inside ? corners_.erase(it) : std::next(it);
    }
    log_.add("fill " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(width) + " " +
             std::to_string(height));
}

void FakeSurface::present()
{
    ++presents;
    log_.add("present");
}

std::string FakeSurface::at(int x, int y) const
{
    auto it = corners_.find({x, y});
    return it == corners_.end() ? std::string() : it->second;
}

void FakeTimer::setEnabled(bool on)
{
    on_ = on;
    log_.add(name_ + (on ? " on" : " off"));
}

void FakeControls::setCaption(Control c, const std::string& utf8)
{
    captions[c] = utf8;
    log_.add(std::string("caption ") + platform::controlName(c) + " '" + utf8 + "'");
}

void FakeControls::setEnabled(Control c, bool on)
{
    enabled[c] = on;
    log_.add(std::string("enable ") + platform::controlName(c) + (on ? " on" : " off"));
}

void FakeControls::setFocus(Control c)
{
    focus = c;
    log_.add(std::string("focus ") + platform::controlName(c));
}

void FakeControls::unloadWindow()
{
    unloaded = true;
    log_.add("unload");
}

int FakeMessageBox::show(const std::string& text, int style, const std::string& title)
{
    shown.push_back({text, style, title});
    log_.add("msgbox " + std::to_string(style) + " " + title + " " + text);
    if (whileOpen)
        whileOpen();
    if (!answers.empty()) {
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return style == platform::mb::YesNoExclamation ? platform::mb::No : platform::mb::Ok;
}

void FakeRandom::randomize()
{
    ++reseeds;
    if (log_)
        log_->add("randomize");
    real_->randomize();
}

double FakeRandom::next()
{
    ++draws;
    if (!script.empty()) {
        double r = script.front();
        script.pop_front();
        return r;
    }
    return real_->next();
}

void FakeAudio::startLoop(const std::string& fileName)
{
    log_.add("sound loop " + fileName);
    if (onLoop)
        onLoop(fileName);
}

void FakeAudio::playToEnd(const std::string& fileName)
{
    log_.add("sound once " + fileName);
    if (whilePlaying)
        whilePlaying();
}

void FakeAudio::stop() { log_.add("sound stop"); }

bool FakeFiles::read(const std::string& path, std::size_t cap, std::string& content, std::string& why)
{
    auto it = files.find(path);
    why = it == files.end() ? "no such file" : it->second.size() > cap ? "too large" : "";
    content = why.empty() ? it->second : "";
    return why.empty();
}

int FakeFiles::createTempBeside(const std::string& target, std::string& tempName)
{
    log_.add("file create");
    if (failAt == Step::Create)
        return -1;
    tempName = target + ".tmp" + std::to_string(nextHandle_);
    files[tempName] = "";
    open_[nextHandle_] = tempName;
    return nextHandle_++;
}

bool FakeFiles::write(int handle, const std::string& bytes)
{
    log_.add("file write");
    if (failAt == Step::Write) {
        files[open_.at(handle)] += bytes.substr(0, bytes.size() / 2);  // a short write
        return false;
    }
    files[open_.at(handle)] += bytes;
    return true;
}

bool FakeFiles::sync(int) { return log_.add("file sync"), failAt != Step::Sync; }

bool FakeFiles::close(int handle)
{
    if (handle == kLock)
        return true;
    log_.add("file close");
    open_.erase(handle);
    return failAt != Step::Close;
}

bool FakeFiles::rename(const std::string& from, const std::string& to)
{
    log_.add("file rename");
    if (failAt == Step::Rename || !files.count(from))
        return false;
    files[to] = files[from];
    files.erase(from);
    return true;
}

void FakeFiles::remove(const std::string& path)
{
    log_.add("file remove");
    files.erase(path);
}

double pick(int value, int k, int c) { return (value - c + 0.5) / k; }

std::vector<double> ufoDraws(int startCol, int dir, int cargo, int maxNumber, bool bomb, int dropCol)
{
    return {pick(startCol, 7, 2), dir < 0 ? 0.25 : 0.75, pick(cargo, maxNumber, 1), bomb ? pick(3, 5, 1) : 0.1,
            pick(dropCol, 8, 0)};
}

FakePlatform::FakePlatform()
{
    files.files["h-score.txt"] = "\"HighScore=0\"\r\n";
}

game::Services FakePlatform::services()
{
    return {surface, images, gameTimer, ufoTimer, controls, messageBox, random, audio, files};
}

Game::Game(bool load)
{
    if (load)
        f.Form_Load();
}

void Game::start(const std::vector<int>& bottom, const std::vector<double>& firstUfo)
{
    for (int v : bottom)
        p.random.script.push_back(pick(v, f.maxNumber, 1));
    for (double r : firstUfo)
        p.random.script.push_back(r);
    f.cmdStart_Click();
}

int Game::flyUntilRelease()
{
    for (int tick = 1; tick <= 20; ++tick) {
        f.UFO_Timer_Timer();
        if (p.gameTimer.enabled())
            return tick;
    }
    return -1;
}

void Game::key(std::int16_t code)
{
    std::int16_t keyCode = code;
    f.Form_KeyDown(keyCode, 0);
}

void Game::fillColumn(int column, const std::vector<int>& fromBottom)
{
    for (int row = 0; row <= 8; ++row)
        f.board(column, row) = 0;
    int row = 8;
    for (int v : fromBottom)
        f.board(column, row--) = static_cast<std::int16_t>(v);
    f.DrawBoard();
}

std::string Game::screenMismatch()
{
    std::ostringstream out;
    bool live = p.gameTimer.enabled();
    for (int c = 0; c < 9; ++c)
        for (int r = 0; r <= 8; ++r) {
            if (live && c == f.pieceCol && r == f.pieceRow)
                continue;  // the falling block is drawn, not stored
            std::string want = tileFile(f.board(c, r));
            std::string got = p.surface.cell(c, r);
            if (got != want)
                out << "(" << c << "," << r << ") shows " << (got.empty() ? "nothing" : got) << " but holds "
                    << f.board(c, r) << "; ";
        }
    if (live && f.pieceRow >= 0 && p.surface.cell(f.pieceCol, f.pieceRow) != tileFile(f.cargo))
        out << "falling block not shown; ";
    return out.str();
}

std::string Game::invariantBreak()
{
    std::ostringstream out;
    if (p.gameTimer.enabled() && p.ufoTimer.enabled())
        out << "both timers on; ";
    for (int c = 0; c < 9; ++c) {
        bool gap = false;
        for (int r = 8; r >= 0; --r) {
            int v = f.board(c, r);
            if (v == 0)
                gap = true;
            else if (gap)
                out << "hole under (" << c << "," << r << "); ";
            if (v < 0 || v > 9)
                out << "code " << v << " at (" << c << "," << r << "); ";
        }
        if (f.board(c, 9) != 0)
            out << "guard row written; ";
    }
    if (f.ufoCount < 0 || f.ufoCount > 51)
        out << "ufoCount " << f.ufoCount << "; ";
    return out.str();
}

}  // namespace fake
