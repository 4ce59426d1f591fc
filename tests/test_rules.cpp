// The rules played through their events on the fake window: what the player sees,
// hears and keeps after each scene.

#include <gtest/gtest.h>

#include "fakes/FakePlatform.h"

namespace {

using fake::Game;
using fake::ufoDraws;
using platform::Control;
using Cells = std::vector<int>;

const Cells kBottom = {1, 2, 3, 4, 5, 1, 2, 3, 4};
const std::string kZeroBest = "\"HighScore=0\"\r\n";

// A game whose first UFO releases `cargo` over `column` (2 to 7) on its first tick.
void releaseOver(Game& g, int column, int cargo, bool bomb = false)
{
    g.start(kBottom, ufoDraws(column, -1, cargo, g.f.maxNumber, bomb, column));
    ASSERT_EQ(g.flyUntilRelease(), 1);
    auto& script = g.p.random.script;
    for (double r : ufoDraws(5, 1, 1, g.f.maxNumber, false, 0))  // the next UFO carries a 1
        script.push_back(r);
}

// The idle state as the player sees it: the start button, the title music, a UFO flying, free options.
void expectIdle(Game& g)
{
    EXPECT_EQ(g.caption(Control::cmdStart), "はじめ");
    EXPECT_EQ(g.p.looping, "open.wav");
    EXPECT_TRUE(g.p.ufoTimer.on);
    EXPECT_TRUE(g.p.enabled[Control::optMax0]);
    EXPECT_TRUE(g.p.enabled[Control::optMode1]);
}

// The block enters row 0 and drops at once, or falls to its rest.
void dropOrFall(Game& g, bool drop)
{
    if (drop) {
        g.f.GameTimer_Timer();
        g.key(game::vbKeyDown);
    }
    if (g.p.gameTimer.on)
        g.land();
}

// Every block ends with the next UFO on its way. A number that makes its column a multiple
// of ten clears it for points by row, mode and largest number; a bomb clears its column
// and costs a hundred for every row below it.
TEST(BlockEnds, ClearsScoreByRowModeAndLargestNumberAndBombsCostByRow)
{
    const struct {
        int mode, max;
        Cells stack;
        int cargo, drop;  // cargo 12: a bomb
        const char* score;
        Cells after;
    } cases[] = {
        {0, 5, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 1, 0, " 10240", {}},  // cannot enter: as row -1
        {1, 9, {2, 2, 2, 2, 2, 2, 2, 2, 2}, 2, 0, " 40960", {}},
        {0, 9, {1, 1, 1, 1, 1, 1, 1, 1}, 2, 0, " 10240", {}},  // row 0
        {1, 5, {1, 1, 1, 1, 1, 1, 1, 1}, 2, 0, " 10240", {}},
        {0, 9, {9, 9}, 2, 0, " 160", {}},  // row 6, sum 20
        {0, 5, {5}, 5, 1, " 40", {}},      // row 7
        {1, 9, {5}, 5, 1, " 160", {}},
        {0, 5, {3}, 4, 0, " 0", {3, 4}},  // 7
        {0, 5, {}, 12, 0, " 0", {}},
        {1, 9, {1, 1, 1}, 12, 0, "-300", {}},
        {0, 5, {1, 1, 1}, 12, 1, "-300", {}},
        {0, 5, {1, 2, 1, 2, 1, 2, 1, 2, 1}, 12, 0, "-900", {}},  // it blows up under the UFO
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.max << " " << c.stack.size() << " " << c.cargo);
        const bool bomb = c.cargo == game::kBomb;
        Game g;
        g.f.optMode_Click(static_cast<std::int16_t>(c.mode));
        g.f.optMax_Click(c.max == 9);
        releaseOver(g, 4, bomb ? 1 : c.cargo, bomb);
        EXPECT_EQ(g.p.looping, bomb ? "danger.wav" : "game.wav") << "the alarm replaces the game music at once";
        g.fillColumn(4, c.stack);
        g.p.whilePlaying = [&] {
            EXPECT_EQ(g.p.unpresented, 0) << "the blast must be on screen before the wait";
            for (int row = game::kBottomRow - static_cast<int>(c.stack.size()); row <= game::kBottomRow; ++row)
                EXPECT_EQ(g.p.cell(4, row), "ban.bmp") << row;
        };
        dropOrFall(g, c.drop);
        EXPECT_EQ(g.caption(Control::lblScore), c.score);
        EXPECT_EQ(g.column(4), c.after);
        EXPECT_EQ(g.p.playedOnce, bomb ? std::vector<std::string>{"bom.wav"} : std::vector<std::string>{});
        EXPECT_EQ(g.p.looping, "game.wav");
        EXPECT_EQ(g.caption(Control::lblUFO), "48");
        EXPECT_EQ(g.mismatch(), "");
    }
}

// A number that finds its column full and completes nothing ends the game.
TEST(GameOver, ByAFullColumnSavesANewBestAndKeepsTheCount)
{
    using Step = fake::FakeFiles::Step;
    const struct {
        int score;
        const char *stored, *file, *best;  // the file before and after, the label after
        Step failAt;
    } cases[] = {{30, "0", "30", " 30", Step::None}, {-100, "-500", "-500", "-500", Step::None},
                 {30, "0", "0", " 30", Step::Rename}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.score);
        Game g(false);
        g.p.files.files["h-score.txt"] = std::string("\"HighScore=") + c.stored + "\"\r\n";
        g.f.Form_Load();
        releaseOver(g, 2, 2);
        g.fillColumn(2, {1, 1, 1, 1, 1, 1, 1, 1, 1});
        g.f.score = c.score;
        g.f.columnCleared = game::True;  // left from an earlier clear
        g.p.files.failAt = c.failAt;
        g.p.whileBox = [&] {  // the first box: silent, and nothing moves
            if (g.p.boxes.size() == 1) {
                EXPECT_EQ(g.p.timersOn(), "");
                EXPECT_EQ(g.p.looping, "");
            }
        };
        EXPECT_EQ(g.land(), 1);
        EXPECT_EQ(g.p.boxes.front(), "48|ゲームオーバー|ゲームオーバー！！");
        EXPECT_EQ(g.p.boxes.back(), c.failAt == Step::None ? g.p.boxes.front()
                                                           : "48|ちゅうい!!|ハイスコアをほぞんできませんでした。");
        EXPECT_EQ(g.p.files.files["h-score.txt"], std::string("\"HighScore=") + c.file + "\"\r\n");
        EXPECT_EQ(g.caption(Control::lblHighScore), c.best);
        EXPECT_EQ(g.caption(Control::lblUFO), "49") << "the count of the ended game stays";
        expectIdle(g);
        g.f.UFO_Timer_Timer();
        EXPECT_EQ(g.p.ufo(4), "ufo02.bmp") << "the idle UFO flies opened after such an end";
        EXPECT_EQ(g.mismatch(), "");
    }
}

// Fifty blocks, each on a column of 2 to 7 that holds one 5 or none: a 5 on a 5 clears it.
TEST(GameOver, AtTheFiftyFirstUfo)
{
    Game g;
    std::vector<double> draws;
    for (int k = 0; k < 50; ++k)
        for (double r : ufoDraws(2 + k % 6, -1, 5, 5, false, 2 + k % 6))
            draws.push_back(r);
    g.start({5, 5, 5, 5, 5, 5, 5, 5, 5}, draws);
    for (int k = 0; k < 50; ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(g.caption(Control::lblUFO), std::to_string(49 - k));
        ASSERT_EQ(g.flyUntilRelease(), 1);
        dropOrFall(g, k % 2);
        ASSERT_EQ(g.mismatch(), "");
    }
    EXPECT_EQ(g.p.boxes, std::vector<std::string>{"48|ゲームオーバー|ゲームオーバー！！"});
    EXPECT_EQ(g.caption(Control::lblUFO), "50");
    EXPECT_EQ(g.p.files.files["h-score.txt"], "\"HighScore=1040\"\r\n");  // 26 clears on row 7
    EXPECT_EQ(g.caption(Control::lblHighScore), " 1040");
    g.f.UFO_Timer_Timer();
    EXPECT_EQ(g.p.ufo(4), "ufo01.bmp") << "after the fifty-UFO end the idle UFO flies closed";
}

TEST(Keys, MoveOnlyAFallingBlockAndOnlyIntoAFreeCell)
{
    Game g;
    g.start(kBottom, ufoDraws(5, -1, 2, 5, false, 2));
    EXPECT_EQ(g.flyUntilRelease(), 4) << "from 5 heading left to 2";
    g.key(game::vbKeyRight);  // hanging under the UFO: nothing
    g.fillColumn(1, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    g.f.GameTimer_Timer();
    g.key(game::vbKeyLeft);  // (1,0) is taken
    for (int i = 0; i < 7; ++i, g.key(game::vbKeyRight))
        EXPECT_EQ(g.mismatch(), "");
    EXPECT_EQ(g.f.pieceCol, 8);
    EXPECT_EQ(g.f.pieceRow, 0);
    g.key(game::vbKeyDown);  // onto the 4 at (8,8): 6, nothing
    g.key(game::vbKeyDown);
    EXPECT_EQ(g.f.pieceRow, 7);
    EXPECT_TRUE(g.p.gameTimer.on) << "a drop that completes nothing waits for the next tick";
    EXPECT_EQ(g.mismatch(), "");
    // Already in the board, it takes its code along sideways and falls on over an empty column.
    g.fillColumn(7, {});
    g.key(game::vbKeyLeft);
    EXPECT_EQ(g.column(8), Cells{4});
    EXPECT_EQ(g.land(), 2);
    EXPECT_EQ(g.column(7), Cells{2});
    EXPECT_EQ(g.caption(Control::lblUFO), "48");
    EXPECT_EQ(g.mismatch(), "");
}

TEST(StartUp, OpensIdleWithTheTitleMusicAndAUfoThatNeverDrops)
{
    Game g;
    EXPECT_TRUE(g.p.pixelUnits);
    EXPECT_EQ(g.f.maxNumber, 5);
    EXPECT_EQ(g.f.gameMode, 0);
    expectIdle(g);
    for (int tick = 0; tick < 21; ++tick, g.f.UFO_Timer_Timer()) {
        g.f.dropCol = g.f.ufoCol;  // not even there
        ASSERT_EQ(g.p.timersOn(), "UFO");
        ASSERT_EQ(g.f.ufoDropped, 0);
    }
    // From 4 heading left, over to 8 and back to 0: closed, carrying the empty cell.
    EXPECT_EQ(g.p.ufo(0), "ufo01.bmp");
    EXPECT_EQ(g.p.cell(0, -1), "n0.bmp");
    g.f.cmdClose_Click();  // answered No: the idle starts over
    EXPECT_EQ(g.f.ufoCol, 4);
    EXPECT_EQ(g.f.ufoDir, -1);
    EXPECT_EQ(g.p.looping, "open.wav");
}

// Any one unusable file stops the start: one box, no window, nothing else happens.
TEST(StartUp, EachMissingFileEndsTheStart)
{
    for (const std::string missing : {"n0.bmp", "n1.bmp", "n2.bmp", "n3.bmp", "n4.bmp", "n5.bmp", "n6.bmp", "n7.bmp",
                                      "n8.bmp", "n9.bmp", "ufo01.bmp", "ufo02.bmp", "bom.bmp", "ban.bmp", "h-score.txt",
                                      "bad value"}) {
        SCOPED_TRACE(missing);
        Game g(false);
        g.p.files.files["h-score.txt"] = missing == "bad value" ? "\"HighScore=abc\"\r\n" : kZeroBest;
        g.p.files.files.erase(missing);
        g.p.missing.insert(missing);
        EXPECT_FALSE(g.f.Form_Load());
        EXPECT_EQ(g.p.boxes, std::vector<std::string>{"16|ちゅうい!!|ファイルがみつかりませんでした。"});
        EXPECT_TRUE(g.p.unloaded);
        EXPECT_EQ(g.p.timersOn(), "");
        EXPECT_FALSE(g.p.pixelUnits);
        EXPECT_TRUE(g.p.paints.empty());
        EXPECT_EQ(g.p.looping, "");
        EXPECT_EQ(g.p.files.files.count("h-score.txt"), missing == "h-score.txt" ? 0u : 1u);
    }
}

// Starting a game locks the options; starting over or quitting abandons it unsaved.
TEST(StartAndAbandon, OptionsLockedUntilARestartOrQuitThatNeverSaves)
{
    for (int how = 0; how < 3; ++how) {  // restart, quit answered No, quit answered Yes
        SCOPED_TRACE(how);
        Game g;
        releaseOver(g, 4, 4);
        EXPECT_EQ(g.caption(Control::cmdStart), "やりなおす");
        EXPECT_EQ(g.caption(Control::lblUFO), "49");
        EXPECT_EQ(g.p.looping, "game.wav");
        for (Control option : {Control::optMax0, Control::optMax1, Control::optMode0, Control::optMode1})
            EXPECT_FALSE(g.p.enabled[option]) << static_cast<int>(option);
        g.f.GameTimer_Timer();
        g.f.score = 99999;
        g.p.answer = how == 2 ? platform::mb::Yes : 0;
        g.p.whileBox = [&] {
            EXPECT_EQ(g.p.timersOn(), "") << "nothing falls while the question is open";
            EXPECT_EQ(g.p.looping, "");
        };
        how ? g.f.cmdClose_Click() : g.f.cmdStart_Click();
        EXPECT_EQ(g.p.boxes.size(), how ? 1u : 0u);
        EXPECT_EQ(g.p.files.files["h-score.txt"], kZeroBest);
        EXPECT_EQ(g.caption(Control::lblHighScore), " 0");
        EXPECT_EQ(g.p.unloaded, how == 2);
        if (how == 2)
            continue;
        EXPECT_EQ(g.caption(Control::lblScore), " 0");
        EXPECT_EQ(g.caption(Control::lblUFO), "50");
        expectIdle(g);
        EXPECT_EQ(g.mismatch(), "");
    }
}

}  // namespace
