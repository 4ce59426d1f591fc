#include "game/frmMain.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <stdexcept>

#include "persist/HighScore.h"

namespace game {

using platform::Control;
using sound::Cue;

namespace {

// Arithmetic on the fields never wraps: a result that does not fit is an error.
template <typename T>
T fit(long long value)
{
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max())
        throw std::overflow_error("game arithmetic overflow");
    return static_cast<T>(value);
}

// A UFO starts over one of columns 2 to the last, and drops over any column but the
// last; one UFO in five, the one whose draw of 1 to 5 shows 3, carries a bomb.
constexpr int kFirstStartColumn = 2;
constexpr int kBombOdds = 5;
constexpr int kBombFace = 3;

Control optMax(int index) { return index == 0 ? Control::optMax0 : Control::optMax1; }
Control optMode(int index) { return index == 0 ? Control::optMode0 : Control::optMode1; }

}  // namespace

std::string signedText(std::int32_t value)
{
    std::string text = std::to_string(value);
    if (value >= 0)
        text.insert(0, 1, ' ');
    return text;
}

int drawInt(double r, int k, int c)
{
    int step = static_cast<int>(std::floor(k * r));
    if (step >= k)
        step = k - 1;
    if (step < 0)
        step = 0;
    return c + step;
}

frmMain::frmMain(const Services& services) : s_(services), sound_(services.audio, services.picSpace) {}

// ---------------------------------------------------------------- board and tiles

void frmMain::ClearBoard() { module.board.fill(kEmpty); }

void frmMain::LoadTiles()
{
    // n0.bmp, the empty cell, to n9.bmp.
    for (int code = kEmpty; code <= kUpToNine; ++code)
        module.tiles[static_cast<size_t>(code)] = s_.images.load(std::string{'n', char('0' + code)} + ".bmp");
    module.tiles[kUfoClosed] = s_.images.load("ufo01.bmp");
    module.tiles[kUfoOpen] = s_.images.load("ufo02.bmp");
    module.tiles[kBomb] = s_.images.load("bom.bmp");
    module.tiles[kBlast] = s_.images.load("ban.bmp");
}

void frmMain::PaintTile(std::int16_t slot, int x, int y)
{
    const auto& picture = module.tiles.at(static_cast<size_t>(slot));
    if (picture)
        s_.picSpace.paintPicture(*picture, x, y);
}

void frmMain::PaintCell(std::int16_t slot, int column, int row)
{
    PaintTile(slot, column * kCell + kWellLeft, row * kCell + kWellTop);
}

void frmMain::DrawBoard()
{
    s_.picSpace.setPersistent(true);
    for (int column = 0; column < kColumns; ++column)
        for (int row = 0; row <= kBottomRow; ++row)
            PaintCell(board(column, row), column, row);
    s_.picSpace.setPersistent(false);
}

void frmMain::DrawPieceMove()
{
    PaintCell(kEmpty, prevCol, prevRow);
    PaintCell(cargo, pieceCol, pieceRow);
    prevCol = pieceCol;
    prevRow = pieceRow;
}

void frmMain::DrawUfo(std::int16_t col, std::int16_t cargoCode, std::int16_t dropped)
{
    // Wide enough to wipe the UFO and its cargo at either neighbouring position.
    s_.picSpace.fillBlack((col - 1) * kCell, 0, 2 * kCell + 96, kWellTop);
    PaintTile(fit<std::int16_t>(kUfoClosed + dropped), col * kCell, 0);
    PaintCell(cargoCode, col, -1);  // the cargo spot under the UFO
}

void frmMain::ClearLane() { s_.picSpace.fillBlack(0, 0, 330, kWellTop); }

// ---------------------------------------------------------------- high score

void frmMain::LoadHighScore()
{
    highScore = 0;
    highScore = persist::loadBest(s_.files);
    s_.controls.setCaption(Control::lblHighScore, signedText(highScore));
}

bool frmMain::SaveHighScore()
{
    if (score < 0 || score < highScore)
        return true;
    highScore = score;
    s_.controls.setCaption(Control::lblHighScore, signedText(highScore));
    const std::optional<std::int32_t> best = persist::saveBest(s_.files, score);
    if (best && *best > highScore) {
        highScore = *best;  // another copy of the game saved it meanwhile
        s_.controls.setCaption(Control::lblHighScore, signedText(highScore));
    }
    return best.has_value();
}

// ---------------------------------------------------------------- start-up, idle, game over

bool frmMain::Form_Load()
{
    try {
        LoadTiles();
        LoadHighScore();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zenkora: %s\n", e.what());
        s_.messageBox.show(text::kFileNotFound, platform::mb::Critical, text::kCaution);
        s_.controls.unloadWindow();
        return false;
    }
    s_.picSpace.setPixelUnits();
    ResetToIdle();
    maxNumber = kUpToFive;
    gameMode = 0;
    sound_.play(Cue::Title);
    return true;
}

void frmMain::SetOptionsEnabled(bool on)
{
    for (int index = 0; index <= 1; ++index) {
        s_.controls.setEnabled(optMax(index), on);
        s_.controls.setEnabled(optMode(index), on);
    }
}

void frmMain::ResetToIdle()
{
    s_.UFO_Timer.setEnabled(false);
    s_.GameTimer.setEnabled(false);
    playing = False;
    SetOptionsEnabled(true);
    ufoCol = 4;
    ufoDir = -1;
    ClearBoard();
    DrawBoard();
    cargo = 0;
    s_.controls.setCaption(Control::cmdStart, text::kStart);
    s_.UFO_Timer.setEnabled(true);
    ufoCount = 0;
    score = 0;
    ShowScore();
}

void frmMain::GameOver()
{
    s_.GameTimer.setEnabled(false);
    s_.UFO_Timer.setEnabled(false);
    bestPending_ = true;
    sound_.stop();
    s_.messageBox.show(text::kGameOver, platform::mb::Exclamation, text::kGameOverTitle);
    if (!bestPending_)
        return;  // saved while the box was up: the program is ending
    bestPending_ = false;
    sound_.play(Cue::Title);
    if (!SaveHighScore())
        s_.messageBox.show(text::kSaveFailed, platform::mb::Exclamation, text::kCaution);
    ResetToIdle();
}

void frmMain::SavePendingBest()
{
    if (bestPending_) {
        bestPending_ = false;
        SaveHighScore();  // nobody is left to be told of a failure
    }
}

// ---------------------------------------------------------------- UFO flight and dispatch

int frmMain::Draw(int k, int c) { return drawInt(s_.random.next(), k, c); }

std::int16_t frmMain::DrawColumn(int first, int last) { return fit<std::int16_t>(Draw(last - first + 1, first)); }

bool frmMain::DrawBomb() { return Draw(kBombOdds, 1) == kBombFace; }

void frmMain::ShowUfosLeft()
{
    s_.controls.setCaption(Control::lblUFO, std::to_string(fit<std::int32_t>(kUfosPerGame - 1LL * ufoCount)));
}

void frmMain::NextUfo()
{
    s_.random.randomize();
    ClearLane();
    ufoCol = DrawColumn(kFirstStartColumn, kLastColumn);
    ufoDir = Draw(2, 1) == 1 ? -1 : 1;
    cargo = fit<std::int16_t>(Draw(maxNumber, 1));
    if (DrawBomb()) {
        cargo = kBomb;
        sound_.play(Cue::Danger);
    }
    dropCol = DrawColumn(0, kLastColumn - 1);
    ufoDropped = 0;
    ufoCount = fit<std::int32_t>(ufoCount + 1LL);
    if (ufoCount > kUfosPerGame)
        GameOver();
    ShowUfosLeft();
}

void frmMain::UFO_Timer_Timer()
{
    s_.GameTimer.setEnabled(false);
    if (playing == True && ufoCol == dropCol)
        ufoDropped = 1;
    DrawUfo(ufoCol, cargo, ufoDropped);
    if (playing == True && ufoDropped == 1) {
        s_.UFO_Timer.setEnabled(false);
        pieceCol = dropCol;
        prevCol = dropCol;
        pieceRow = -1;
        prevRow = -1;
        s_.GameTimer.setEnabled(true);
    }
    ufoCol = fit<std::int16_t>(ufoCol + ufoDir);
    // Turned at either end of the lane.
    if (ufoCol <= 0)
        ufoDir = 1;
    if (ufoCol >= kLastColumn)
        ufoDir = -1;
}

// ---------------------------------------------------------------- falling block

void frmMain::TurnChange()
{
    s_.GameTimer.setEnabled(false);
    NextUfo();
    s_.UFO_Timer.setEnabled(true);
}

// The end of a block: a bomb explodes, a number is summed with its column; then the
// next UFO. A number that cleared nothing may instead end the game, or stay live
// where it was dropped until the next tick, which ends it again at rest.
void frmMain::EndBlock(IfNothingCleared otherwise)
{
    if (cargo == kBomb) {
        ExplodeBomb();
        TurnChange();
        return;
    }
    // At rest the next UFO comes whatever the sum; only the other ends ask.
    if (otherwise != IfNothingCleared::NextUfo)
        columnCleared = False;
    CheckColumnSum();
    if (columnCleared == True || otherwise == IfNothingCleared::NextUfo)
        TurnChange();
    else if (otherwise == IfNothingCleared::GameOver)
        GameOver();
}

void frmMain::GameTimer_Timer()
{
    if (board(dropCol, 0) != kEmpty) {
        EndBlock(IfNothingCleared::GameOver);  // it cannot enter the well
        return;
    }
    const int next = pieceRow + 1;
    if (board(pieceCol, next) == kEmpty && next != kGuardRow) {
        pieceRow = fit<std::int16_t>(next);
        DrawPieceMove();
        return;
    }
    if (cargo != kBomb)
        board(pieceCol, pieceRow) = cargo;
    EndBlock(IfNothingCleared::NextUfo);
}

void frmMain::Form_KeyDown(std::int16_t& KeyCode, std::int16_t /*Shift*/)
{
    if (!s_.GameTimer.enabled() || pieceRow == -1)
        return;
    int step = 0;
    if (KeyCode == vbKeyLeft && pieceCol > 0)
        step = -1;
    else if (KeyCode == vbKeyRight && pieceCol < kLastColumn)
        step = 1;
    else if (KeyCode == vbKeyDown) {
        HardDrop();
        return;
    }
    if (step == 0 || board(pieceCol + step, pieceRow) != kEmpty)
        return;
    // A hard-dropped block that completed nothing is already in the board; it
    // goes along with the block instead of staying behind as an invisible cell.
    if (board(pieceCol, pieceRow) == cargo)
        board(pieceCol, pieceRow) = kEmpty;
    prevCol = pieceCol;
    pieceCol = fit<std::int16_t>(pieceCol + step);
    DrawPieceMove();
}

void frmMain::HardDrop()
{
    int n = 0;
    for (int row = pieceRow + 1; row <= kBottomRow; ++row)
        if (board(pieceCol, row) == kEmpty)
            ++n;
    if (n == 0)
        return;
    prevRow = pieceRow;
    pieceRow = fit<std::int16_t>(pieceRow + n);
    board(pieceCol, pieceRow) = cargo;
    DrawPieceMove();
    EndBlock(IfNothingCleared::StayLive);
}

// ---------------------------------------------------------------- column sums and bombs

void frmMain::CheckColumnSum()
{
    std::int16_t sum = 0;
    for (int row = 0; row <= kBottomRow; ++row)
        sum = fit<std::int16_t>(sum + board(pieceCol, row));
    if (pieceRow == -1)
        sum = fit<std::int16_t>(sum + cargo);
    if (sum % kClearingSum != 0)
        return;
    // Points double with every row from the bottom up to the block: 20 on the bottom row.
    const int e = kBottomRow + 1 - pieceRow + gameMode;
    std::int32_t points = fit<std::int32_t>(10LL << e);
    if (maxNumber == kUpToNine)
        points = fit<std::int32_t>(points * 2LL);
    score = fit<std::int32_t>(1LL * score + points);
    ShowScore();
    columnCleared = True;
    for (int row = 0; row <= kBottomRow; ++row) {
        board(pieceCol, row) = kEmpty;
        PaintCell(kEmpty, pieceCol, row);
    }
}

void frmMain::ExplodeBomb()
{
    for (int row = pieceRow; row <= kBottomRow; ++row)
        PaintCell(kBlast, pieceCol, row);
    sound_.play(Cue::Explosion);
    sound_.play(Cue::Game);
    for (int row = 0; row <= kBottomRow; ++row) {
        board(pieceCol, row) = kEmpty;
        PaintCell(kEmpty, pieceCol, row);
    }
    const auto penalty = fit<std::int16_t>((kBottomRow - pieceRow) * 100);
    score = fit<std::int32_t>(1LL * score - penalty);
    ShowScore();
}

void frmMain::ShowScore() { s_.controls.setCaption(Control::lblScore, signedText(score)); }

// ---------------------------------------------------------------- start, restart, quit, options

void frmMain::NewGame()
{
    ClearBoard();
    ufoCount = 0;
    ShowUfosLeft();
    score = 0;
    ShowScore();
    s_.random.randomize();
    for (int column = 0; column < kColumns; ++column)
        board(column, kBottomRow) = fit<std::int16_t>(Draw(maxNumber, 1));
    DrawBoard();
    NextUfo();
}

void frmMain::cmdStart_Click()
{
    s_.controls.setFocus(Control::picSpace);
    if (playing == False) {
        SetOptionsEnabled(false);
        playing = True;
        sound_.play(Cue::Game);
        NewGame();
        s_.GameTimer.setEnabled(false);
        s_.UFO_Timer.setEnabled(true);
        s_.controls.setCaption(Control::cmdStart, text::kStartOver);
    } else {
        SetOptionsEnabled(true);
        ufoCount = 0;
        ShowUfosLeft();
        sound_.play(Cue::Title);
        ResetToIdle();
    }
}

void frmMain::cmdClose_Click()
{
    sound_.stop();
    // A modal box does not stop the timers: without this a block would fall
    // unsteered, or a game over would open its box over the question.
    s_.GameTimer.setEnabled(false);
    s_.UFO_Timer.setEnabled(false);
    if (s_.messageBox.show(text::kQuitQuestion, platform::mb::YesNoExclamation, text::kQuitTitle) == platform::mb::No) {
        ufoCount = 0;
        ShowUfosLeft();
        sound_.play(Cue::Title);
        ResetToIdle();
    } else {
        s_.controls.unloadWindow();
    }
}

void frmMain::optMax_Click(std::int16_t Index)
{
    if (Index == 0)
        maxNumber = kUpToFive;
    else if (Index == 1)
        maxNumber = kUpToNine;
}

void frmMain::optMode_Click(std::int16_t Index)
{
    if (Index == 0)
        gameMode = 0;
    else if (Index == 1)
        gameMode = 1;
}

}  // namespace game
