#pragma once
// The main window's state and procedures: every rule of the game. The window
// itself (controls, timers, drawing) is reached only through the platform.

#include <cstdint>
#include <string>

#include "game/modlUFO.h"
#include "platform/Files.h"
#include "platform/Platform.h"
#include "sound/SoundCues.h"

namespace game {

// Booleans as the rules keep them.
inline constexpr std::int16_t True = -1;
inline constexpr std::int16_t False = 0;

// Arrow keys as the key handler receives them.
inline constexpr std::int16_t vbKeyLeft = 37;
inline constexpr std::int16_t vbKeyRight = 39;
inline constexpr std::int16_t vbKeyDown = 40;

// The texts the player reads.
namespace text {
inline constexpr const char* kFileNotFound = "ファイルがみつかりませんでした。";
inline constexpr const char* kCaution = "ちゅうい!!";
inline constexpr const char* kGameOver = "ゲームオーバー！！";
inline constexpr const char* kGameOverTitle = "ゲームオーバー";
inline constexpr const char* kQuitQuestion = "ゲームをやめますか？";
inline constexpr const char* kQuitTitle = "おしまい";
inline constexpr const char* kStart = "はじめ";
inline constexpr const char* kStartOver = "やりなおす";
inline constexpr const char* kSaveFailed = "ハイスコアをほぞんできませんでした。";
}  // namespace text

struct Services {
    platform::Surface& picSpace;
    platform::ImageLoader& images;
    platform::Timer& GameTimer;
    platform::Timer& UFO_Timer;
    platform::Controls& controls;
    platform::MessageBox& messageBox;
    platform::Random& random;
    platform::AudioDevice& audio;
    platform::Files& files;
};

// " 120", " 0", "-300": the signed number form of the score labels.
std::string signedText(std::int32_t value);

// c + floor(k * r): a draw that cannot leave c .. c + k - 1 for any r in [0, 1).
int drawInt(double r, int k, int c);

class frmMain {
public:
    explicit frmMain(const Services& services);

    // Events of the window and its controls.
    bool Form_Load();  // false: start-up failed, the window must not be shown
    void Form_KeyDown(std::int16_t& KeyCode, std::int16_t Shift);
    void cmdStart_Click();
    void cmdClose_Click();
    void optMax_Click(std::int16_t Index);
    void optMode_Click(std::int16_t Index);
    void GameTimer_Timer();
    void UFO_Timer_Timer();

    // Game state, open to the window layer and to tests.
    std::int16_t ufoCol = 0;
    std::int16_t ufoDir = 0;
    std::int16_t cargo = 0;
    std::int16_t ufoDropped = 0;
    std::int16_t dropCol = 0;
    std::int16_t pieceCol = 0;
    std::int16_t pieceRow = 0;
    std::int16_t prevCol = 0;
    std::int16_t prevRow = 0;
    std::int16_t maxNumber = 0;
    std::int16_t gameMode = 0;
    std::int16_t playing = False;
    std::int16_t columnCleared = False;
    std::int32_t score = 0;
    std::int32_t ufoCount = 0;
    std::int32_t highScore = 0;

    modlUFO module;

    std::int16_t& board(int column, int row) { return module.cell(column, row); }

    // Procedures; public so that tests can drive them one at a time.
    void ClearBoard();
    void LoadTiles();
    void DrawBoard();
    void DrawPieceMove();
    void DrawUfo(std::int16_t col, std::int16_t cargoCode, std::int16_t dropped);
    void ClearLane();
    void LoadHighScore();
    bool SaveHighScore();  // false: a new best could not be written
    void ResetToIdle();
    void GameOver();
    // Saves the best of a game that has ended but is not saved yet (its game-over box
    // is still up): the program is about to be ended from outside.
    void SavePendingBest();
    void NextUfo();
    void HardDrop();
    void CheckColumnSum();
    void ExplodeBomb();
    void ShowScore();
    void NewGame();

private:
    enum class IfNothingCleared { NextUfo, GameOver, StayLive };
    void EndBlock(IfNothingCleared otherwise);
    void TurnChange();
    void PaintTile(std::int16_t slot, int x, int y);
    void PaintCell(std::int16_t slot, int column, int row);
    void SetOptionsEnabled(bool on);
    void ShowUfosLeft();
    int Draw(int k, int c);
    std::int16_t DrawColumn(int first, int last);  // one of first to last
    bool DrawBomb();

    Services s_;
    sound::SoundCues sound_;
    bool bestPending_ = false;  // from GameOver's box to its save
};

}  // namespace game
