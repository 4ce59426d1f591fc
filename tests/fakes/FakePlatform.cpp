#include "FakePlatform.h"

#include <algorithm>
#include <sstream>

using game::kBottomRow;
using game::kCell;
using game::kGuardRow;
using game::kUfosPerGame;
using platform::Control;

namespace fake {

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

void FakePlatform::cover(int x, int y, int w, int h, int with)
{
    ++unpresented;
    const int left = std::max(x, 0), right = std::min(x + w, kWidth);
    for (int py = std::max(y, 0); py < std::min(y + h, kHeight) && left < right; ++py)
        std::fill_n(pixels.begin() + py * kWidth + left, right - left, with);
}

void FakePlatform::paintPicture(const platform::Picture& picture, int x, int y)
{
    paints.push_back({static_cast<const FakePicture&>(picture), x, y});
    cover(x, y, picture.width(), picture.height(), static_cast<int>(paints.size()) - 1);
}

const FakePlatform::Paint* FakePlatform::showing(int x, int y) const
{
    const int i = x < 0 || y < 0 || x >= kWidth || y >= kHeight ? -1 : pixels[static_cast<size_t>(y * kWidth + x)];
    return i < 0 ? nullptr : &paints[static_cast<size_t>(i)];
}

std::string FakePlatform::at(int x, int y) const
{
    const Paint* p = showing(x, y);
    const bool whole = p && p->x == x && p->y == y && showing(std::min(x + 32, kWidth - 1), y + 32) == p;
    return !p ? "" : whole ? p->picture.name : "?";
}

double pick(int value, int k, int c) { return (value - c + 0.5) / k; }

std::vector<double> ufoDraws(int startCol, int dir, int cargo, int maxNumber, bool bomb, int dropCol)
{
    return {pick(startCol, 7, 2), dir < 0 ? 0.25 : 0.75, pick(cargo, maxNumber, 1), bomb ? pick(3, 5, 1) : 0.1,
            pick(dropCol, 8, 0)};
}

void Game::start(const std::vector<int>& bottom, const std::vector<double>& draws)
{
    for (int v : bottom)
        p.random.script.push_back(pick(v, f.maxNumber, 1));
    p.random.script.insert(p.random.script.end(), draws.begin(), draws.end());
    f.cmdStart_Click();
}

int Game::tickUntil(void (game::frmMain::*tick)(), bool gameTimerOn)
{
    for (int n = 1; n <= 20; ++n)
        if ((f.*tick)(), p.gameTimer.on == gameTimerOn)
            return n;
    return -1;
}

void Game::fillColumn(int column, const std::vector<int>& fromBottom)
{
    for (size_t i = 0; i <= kBottomRow; ++i)
        f.board(column, static_cast<int>(kBottomRow - i)) =
            static_cast<std::int16_t>(i < fromBottom.size() ? fromBottom[i] : 0);
    f.DrawBoard();
}

std::vector<int> Game::column(int c)
{
    std::vector<int> cells;
    for (int r = kBottomRow; r >= 0 && f.board(c, r); --r)
        cells.push_back(f.board(c, r));
    return cells;
}

std::string Game::mismatch()
{
    std::ostringstream out;
    auto tile = [](int code) { return code == game::kBomb ? "bom.bmp" : std::string{'n', char('0' + code)} + ".bmp"; };
    const bool playing = f.playing == game::True, falling = p.gameTimer.on && f.pieceRow >= 0;
    for (int c = 0; c < game::kColumns; ++c) {
        for (int r = kBottomRow, gap = 0; r >= 0; --r) {
            const int v = f.board(c, r);
            const int shown = falling && c == f.pieceCol && r == f.pieceRow ? f.cargo : v;
            if (p.cell(c, r) != tile(shown) || v < 0 || v > game::kUpToNine || (v && gap))
                out << "(" << c << "," << r << ") holds " << v << (gap ? " over a hole" : "") << ", shows '"
                    << p.cell(c, r) << "'; ";
            gap = gap || v == 0;
        }
        if (f.board(c, kGuardRow) != 0 || p.showing(c * kCell + 40, kGuardRow * kCell + 100))
            out << "guard row used; ";
    }
    // In a game the lane shows only the UFO last drawn and what hangs under it.
    auto last = std::find_if(p.paints.rbegin(), p.paints.rend(), [](auto& q) { return q.y == 0; });
    const FakePlatform::Paint* ufo = playing && last != p.paints.rend() ? &*last : nullptr;
    for (int y = 1; ufo && y < game::kWellTop; y += 15)
        for (int x = 1; x < FakePlatform::kWidth; x += 8)
            if (auto* s = p.showing(x, y); s && s != ufo && s != p.showing(ufo->x + kCell, 64))
                return out.str() + "stale " + s->picture.name + " in the lane; ";
    if (ufo && p.ufoTimer.on && p.showing(ufo->x, 0) == ufo && p.cell(ufo->x / kCell, -1) != tile(f.cargo))
        out << "the UFO does not carry its cargo; ";
    const std::string ufos = caption(Control::lblUFO), score = caption(Control::lblScore);
    if (p.gameTimer.on + p.ufoTimer.on != 1 || f.ufoCount < 0 || f.ufoCount > kUfosPerGame ||
        score != game::signedText(f.score) || (playing && ufos != std::to_string(kUfosPerGame - f.ufoCount)))
        out << "timers " << p.gameTimer.on << p.ufoTimer.on << ", " << f.ufoCount << " UFOs shown as '" << ufos
            << "', score " << f.score << " shown as '" << score << "'; ";
    return out.str();
}

}  // namespace fake
