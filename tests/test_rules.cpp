#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/FakePlatform.h"

namespace {

using fake::Game;
using fake::ufoDraws;
using platform::Control;

#define CHECK_WORLD(g)                              \
    do {                                            \
        EXPECT_EQ((g).screenMismatch(), "");        \
        EXPECT_EQ((g).invariantBreak(), "");        \
    } while (0)

const std::vector<int> kBottom = {1, 2, 3, 4, 5, 1, 2, 3, 4};

size_t dispatches(Game& g, size_t mark = 0) { return g.p.log.since(mark, "fill 0 0 330 96").size(); }

// A game whose first UFO, carrying `cargo`, starts over column 2 and drops there at once.
void releaseOver2(Game& g, int cargo, bool bomb = false)
{
    g.start(kBottom, ufoDraws(2, -1, cargo, g.f.maxNumber, bomb, 2));
    ASSERT_EQ(g.flyUntilRelease(), 1);
    ASSERT_EQ(g.f.pieceRow, -1);
}

// ---------------------------------------------------------------- the block's first tick

TEST(EntryTest, NumberCompletingAFullColumnScoresAsRowMinusOne)
{
    Game g;
    releaseOver2(g, 1);
    g.fillColumn(2, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    size_t mark = g.p.log.mark();
    g.tickBlock();
    EXPECT_EQ(g.f.score, 10240);
    EXPECT_EQ(g.caption(Control::lblScore), " 10240");
    for (int r = 0; r <= 8; ++r)
        EXPECT_EQ(g.f.board(2, r), 0);
    EXPECT_EQ(dispatches(g, mark), 1u);
    EXPECT_TRUE(g.p.ufoTimer.enabled());
    EXPECT_EQ(g.caption(Control::lblUFO), "48");
    EXPECT_TRUE(g.p.messageBox.shown.empty());
    CHECK_WORLD(g);
}

TEST(EntryTest, NumberThatCannotEnterEndsTheGame)
{
    Game g;
    releaseOver2(g, 2);
    g.fillColumn(2, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    size_t mark = g.p.log.mark();
    g.tickBlock();
    EXPECT_EQ(dispatches(g, mark), 0u) << "a block that ends the game sends no UFO";
    ASSERT_EQ(g.p.messageBox.shown.size(), 1u);
    EXPECT_EQ(g.p.messageBox.shown[0].text, "ゲームオーバー！！");
    EXPECT_EQ(g.f.playing, game::False);
    EXPECT_EQ(g.caption(Control::lblUFO), "49") << "the count of the ended game stays";
    EXPECT_EQ(g.f.ufoDropped, 1) << "the idle UFO flies opened after such an end";
    CHECK_WORLD(g);
}

TEST(EntryTest, BombOverAFullColumnExplodesFromUnderTheUfo)
{
    Game g;
    releaseOver2(g, 3, true);
    EXPECT_EQ(g.f.cargo, 12);
    g.fillColumn(2, {1, 2, 1, 2, 1, 2, 1, 2, 1});
    size_t mark = g.p.log.mark();
    g.tickBlock();
    auto blasts = g.p.log.since(mark, "paint ban.bmp");
    ASSERT_EQ(blasts.size(), 10u);
    EXPECT_EQ(blasts.front(), "paint ban.bmp 98 63");
    EXPECT_EQ(g.f.score, -900);
    EXPECT_EQ(g.caption(Control::lblScore), "-900");
    EXPECT_EQ(dispatches(g, mark), 1u);
    // The blast under the UFO stays until the next lane clear wipes it.
    EXPECT_EQ(g.p.surface.at(98, 63), "");
    CHECK_WORLD(g);
}

// ---------------------------------------------------------------- falling and resting

TEST(Falling, EntersRowZeroThenRestsOnTheStack)
{
    Game g;
    releaseOver2(g, 4);
    g.tickBlock();
    EXPECT_EQ(g.f.pieceRow, 0);
    EXPECT_EQ(g.p.surface.at(98, 63), "n0.bmp") << "the cargo spot under the opened UFO is erased";
    EXPECT_EQ(g.p.surface.cell(2, 0), "n4.bmp");
    CHECK_WORLD(g);
    for (int row = 1; row <= 7; ++row) {
        g.tickBlock();
        EXPECT_EQ(g.f.pieceRow, row);
        CHECK_WORLD(g);
    }
    size_t mark = g.p.log.mark();
    g.tickBlock();  // (2,8) holds the 3 of the bottom row: 3 + 4 is no multiple of ten
    EXPECT_EQ(g.f.board(2, 7), 4);
    EXPECT_EQ(g.f.score, 0);
    EXPECT_EQ(dispatches(g, mark), 1u);
    EXPECT_TRUE(g.p.log.since(mark, "paint n4").empty()) << "a resting block is not drawn again";
    CHECK_WORLD(g);
}

TEST(Falling, BlockOnRowEightNeverEntersTheGuardRow)
{
    Game g;
    releaseOver2(g, 4);
    g.fillColumn(2, {});
    for (int i = 0; i < 9; ++i)
        g.tickBlock();
    EXPECT_EQ(g.f.pieceRow, 8);
    size_t mark = g.p.log.mark();
    g.tickBlock();
    EXPECT_EQ(g.f.board(2, 8), 4);
    EXPECT_EQ(g.f.board(2, 9), 0);
    EXPECT_EQ(dispatches(g, mark), 1u);
    CHECK_WORLD(g);
}

TEST(Falling, RestingTickNeitherResetsNorTestsColumnCleared)
{
    Game g;
    releaseOver2(g, 3);  // 3 lands on the 3 of column 2... no: on (2,8)=3 giving 6
    for (int i = 0; i < 8; ++i)
        g.tickBlock();
    g.f.columnCleared = game::True;  // stale value from earlier
    size_t mark = g.p.log.mark();
    g.tickBlock();
    EXPECT_EQ(g.f.columnCleared, game::True);
    EXPECT_EQ(dispatches(g, mark), 1u);
}

TEST(Falling, BombRestingOnRowEightCostsNothingButStillBlows)
{
    Game g;
    releaseOver2(g, 1, true);
    g.fillColumn(2, {});
    for (int i = 0; i < 9; ++i)
        g.tickBlock();
    size_t mark = g.p.log.mark();
    g.tickBlock();
    EXPECT_EQ(g.p.log.since(mark, "sound")[0], "sound once bom.wav");
    EXPECT_EQ(g.p.log.since(mark, "sound")[1], "sound loop game.wav");
    EXPECT_EQ(g.f.score, 0);
    EXPECT_EQ(g.f.board(2, 8), 0) << "a falling bomb is never written into the board";
    CHECK_WORLD(g);
}

// ---------------------------------------------------------------- keys and the hard drop

TEST(Keys, IgnoredWhileHangingFlyingOrIdle)
{
    Game g;
    auto before = g.f.pieceCol;
    for (std::int16_t k : {game::vbKeyLeft, game::vbKeyRight, game::vbKeyDown})
        g.key(k);  // idle
    g.start(kBottom, ufoDraws(5, -1, 2, 5, false, 2));
    g.f.UFO_Timer_Timer();
    for (std::int16_t k : {game::vbKeyLeft, game::vbKeyRight, game::vbKeyDown})
        g.key(k);  // UFO flying
    EXPECT_EQ(g.f.pieceCol, before);
    g.flyUntilRelease();
    size_t mark = g.p.log.mark();
    for (std::int16_t k : {game::vbKeyLeft, game::vbKeyRight, game::vbKeyDown, std::int16_t{38}, std::int16_t{65}})
        g.key(k);  // hanging under the UFO
    EXPECT_TRUE(g.p.log.since(mark).empty());
    EXPECT_EQ(g.f.pieceCol, 2);
}

TEST(Keys, SidewaysOnlyIntoAFreeCellOnTheSameRow)
{
    Game g;
    g.start(kBottom, ufoDraws(2, -1, 1, 5, false, 0));
    g.flyUntilRelease();
    g.tickBlock();
    EXPECT_EQ(g.f.pieceCol, 0);
    g.key(game::vbKeyLeft);  // at the wall
    EXPECT_EQ(g.f.pieceCol, 0);
    g.fillColumn(1, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    g.p.surface.paintPicture(*g.f.module.tiles[1], 32, 96);  // the block is drawn over the new backdrop
    g.key(game::vbKeyRight);  // (1,0) occupied
    EXPECT_EQ(g.f.pieceCol, 0);
    g.fillColumn(1, {1});
    g.p.surface.paintPicture(*g.f.module.tiles[1], 32, 96);
    size_t mark = g.p.log.mark();
    g.key(game::vbKeyRight);
    EXPECT_EQ(g.f.pieceCol, 1);
    EXPECT_EQ(g.f.prevCol, 1);
    EXPECT_EQ(g.f.pieceRow, 0) << "a sideways move never changes the row";
    EXPECT_EQ(g.p.log.since(mark), (std::vector<std::string>{"paint n0.bmp 32 96", "paint n1.bmp 65 96"}));
    CHECK_WORLD(g);
    for (int i = 0; i < 8; ++i)
        g.key(game::vbKeyRight);
    EXPECT_EQ(g.f.pieceCol, 8);
    CHECK_WORLD(g);
}

TEST(HardDropTest, NumberCompletingATenScoresForItsRestingRow)
{
    Game g;
    releaseOver2(g, 5);
    g.fillColumn(2, {5});
    g.tickBlock();
    size_t mark = g.p.log.mark();
    g.key(game::vbKeyDown);
    EXPECT_EQ(g.f.score, 40);  // row 7, practice, up to 5
    EXPECT_EQ(dispatches(g, mark), 1u);
    EXPECT_FALSE(g.p.gameTimer.enabled());
    EXPECT_EQ(g.p.log.since(mark, "paint n5.bmp").front(), "paint n5.bmp 98 327");
    CHECK_WORLD(g);
}

TEST(HardDropTest, NumberCompletingNothingWaitsForTheNextTick)
{
    Game g;
    releaseOver2(g, 2);
    g.tickBlock();
    size_t mark = g.p.log.mark();
    g.key(game::vbKeyDown);
    EXPECT_EQ(g.f.pieceRow, 7);
    EXPECT_EQ(g.f.board(2, 7), 2);
    EXPECT_TRUE(g.p.gameTimer.enabled());
    EXPECT_EQ(dispatches(g, mark), 0u);
    CHECK_WORLD(g);
    g.key(game::vbKeyDown);  // nothing below is free
    EXPECT_EQ(g.f.pieceRow, 7);
    g.tickBlock();
    EXPECT_EQ(g.f.score, 0);
    EXPECT_EQ(dispatches(g, mark), 1u);
    CHECK_WORLD(g);
}

TEST(HardDropTest, BombIsShownAtItsRestThenBlowsWithPenaltyFromThere)
{
    Game g;
    releaseOver2(g, 1, true);
    g.fillColumn(2, {1, 1, 1});
    g.tickBlock();
    size_t mark = g.p.log.mark();
    g.key(game::vbKeyDown);
    auto lines = g.p.log.since(mark);
    EXPECT_EQ(lines[0], "paint n0.bmp 98 96");
    EXPECT_EQ(lines[1], "paint bom.bmp 98 261");  // row 5
    EXPECT_EQ(g.p.log.since(mark, "paint ban.bmp").size(), 4u);
    EXPECT_EQ(g.f.score, -300);
    EXPECT_EQ(g.caption(Control::lblScore), "-300");
    EXPECT_EQ(dispatches(g, mark), 1u);
    CHECK_WORLD(g);
}

// A hard-dropped block that completed nothing is already in the board; moving it
// sideways must take its code along, or an invisible block would stay behind.
TEST(HardDropTest, SidewaysAfterADropTakesTheBlockAlong)
{
    Game g;
    releaseOver2(g, 2);
    g.tickBlock();
    g.key(game::vbKeyDown);
    ASSERT_EQ(g.f.board(2, 7), 2);
    g.key(game::vbKeyLeft);
    EXPECT_EQ(g.f.pieceCol, 1);
    EXPECT_EQ(g.f.board(2, 7), 0);
    CHECK_WORLD(g);
    g.tickBlock();  // (1,8) holds 2: rests on it, 2 + 2
    EXPECT_EQ(g.f.board(1, 7), 2);
    EXPECT_EQ(g.f.board(2, 7), 0);
    CHECK_WORLD(g);

    // Moved over a deeper column it goes on falling.
    Game h;
    releaseOver2(h, 2);
    h.fillColumn(1, {});
    h.tickBlock();
    h.key(game::vbKeyDown);
    h.key(game::vbKeyLeft);
    h.tickBlock();
    EXPECT_EQ(h.f.pieceRow, 8);
    EXPECT_TRUE(h.p.gameTimer.enabled());
    CHECK_WORLD(h);
    h.tickBlock();
    EXPECT_EQ(h.f.board(1, 8), 2);
    CHECK_WORLD(h);
}

// ---------------------------------------------------------------- scores and penalties

struct ScoreCase {
    int row, mode, max;
    std::int32_t points;
};

TEST(Scoring, PointsByRowModeAndLargestNumber)
{
    const ScoreCase cases[] = {
        {-1, 0, 5, 10240}, {-1, 0, 9, 20480}, {-1, 1, 5, 20480}, {-1, 1, 9, 40960}, {0, 0, 5, 5120},
        {0, 0, 9, 10240},  {0, 1, 5, 10240},  {0, 1, 9, 20480},  {7, 0, 5, 40},     {7, 0, 9, 80},
        {7, 1, 5, 80},     {7, 1, 9, 160},    {8, 1, 9, 80},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << c.row << " mode " << c.mode << " max " << c.max);
        Game g;
        g.f.gameMode = static_cast<std::int16_t>(c.mode);
        g.f.maxNumber = static_cast<std::int16_t>(c.max);
        g.f.score = 7;
        g.f.pieceCol = 4;
        g.f.pieceRow = static_cast<std::int16_t>(c.row);
        // A column summing to ten with the block counted once.
        int first = std::max(c.row, 0);
        for (int r = first; r <= 8; ++r)
            g.f.board(4, r) = 1;
        int cells = 9 - first + (c.row == -1 ? 1 : 0);
        g.f.board(4, 8) = static_cast<std::int16_t>(1 + (10 - cells));
        if (c.row == -1)
            g.f.cargo = 1;
        g.f.columnCleared = game::False;
        size_t mark = g.p.log.mark();
        g.f.CheckColumnSum();
        EXPECT_EQ(g.f.score, 7 + c.points);
        EXPECT_EQ(g.f.columnCleared, game::True);
        auto lines = g.p.log.since(mark);
        ASSERT_EQ(lines.size(), 10u);
        EXPECT_EQ(lines[0], "caption lblScore ' " + std::to_string(7 + c.points) + "'") << "score shows first";
        EXPECT_EQ(lines[1], "paint n0.bmp 164 96");
        for (int r = 0; r <= 8; ++r)
            EXPECT_EQ(g.f.board(4, r), 0);
    }
}

TEST(Scoring, NoMultipleOfTenChangesNothing)
{
    Game g;
    for (int r = 0; r <= 8; ++r)
        g.f.board(4, r) = 1;  // full, sum 9
    g.f.pieceCol = 4;
    g.f.pieceRow = 0;
    g.f.columnCleared = game::True;
    size_t mark = g.p.log.mark();
    g.f.CheckColumnSum();
    EXPECT_EQ(g.f.columnCleared, game::True);
    EXPECT_EQ(g.f.score, 0);
    EXPECT_TRUE(g.p.log.since(mark).empty());
}

TEST(Scoring, BombPenaltiesAndTheirOrder)
{
    for (auto [row, penalty] : {std::pair{-1, 900}, {5, 300}, {8, 0}, {0, 800}}) {
        SCOPED_TRACE(row);
        Game g;
        g.f.pieceCol = 6;
        g.f.pieceRow = static_cast<std::int16_t>(row);
        g.f.board(6, 8) = 3;
        size_t mark = g.p.log.mark();
        g.f.ExplodeBomb();
        EXPECT_EQ(g.f.score, -penalty);
        EXPECT_EQ(g.caption(Control::lblScore), penalty ? "-" + std::to_string(penalty) : " 0");
        auto lines = g.p.log.since(mark);
        size_t blasts = static_cast<size_t>(9 - row);
        ASSERT_EQ(lines.size(), blasts + 3 + 9 + 1);
        for (size_t i = 0; i < blasts; ++i)
            EXPECT_EQ(lines[i], "paint ban.bmp 230 " + std::to_string((row + static_cast<int>(i)) * 33 + 96));
        EXPECT_EQ(lines[blasts], "present") << "the blast must be on screen before the wait";
        EXPECT_EQ(lines[blasts + 1], "sound once bom.wav");
        EXPECT_EQ(lines[blasts + 2], "sound loop game.wav");
        EXPECT_EQ(lines[blasts + 3], "paint n0.bmp 230 96");
        EXPECT_EQ(lines.back().rfind("caption lblScore", 0), 0u);
        EXPECT_EQ(g.f.board(6, 8), 0);
    }
}

// ---------------------------------------------------------------- UFO flight and dispatch

TEST(Flight, EveryStartDirectionAndDropReleasesWithinFifteenTicks)
{
    for (int start = 2; start <= 8; ++start)
        for (int dir : {-1, 1})
            for (int drop = 0; drop <= 7; ++drop) {
                SCOPED_TRACE(testing::Message() << start << " " << dir << " " << drop);
                Game g;
                g.start(kBottom, ufoDraws(start, dir, 2, 5, false, drop));
                size_t mark = g.p.log.mark();
                int ticks = g.flyUntilRelease();
                ASSERT_GE(ticks, 1);
                EXPECT_LE(ticks, 15);
                // Reconstruct the drawn positions from the erasing boxes.
                std::vector<int> drawn;
                for (auto& line : g.p.log.since(mark, "fill "))
                    drawn.push_back(std::stoi(line.substr(5)) / 33 + 1);
                ASSERT_EQ(drawn.size(), static_cast<size_t>(ticks));
                EXPECT_EQ(drawn.front(), start);
                EXPECT_EQ(drawn.back(), drop);
                for (size_t i = 1; i < drawn.size(); ++i)
                    EXPECT_EQ(std::abs(drawn[i] - drawn[i - 1]), 1);
                bool nine = std::find(drawn.begin(), drawn.end(), 9) != drawn.end();
                EXPECT_EQ(nine, start == 8 && dir == 1);
                EXPECT_EQ(g.p.log.since(mark, "paint ufo02.bmp"),
                          (std::vector<std::string>{"paint ufo02.bmp " + std::to_string(drop * 33) + " 0"}));
                EXPECT_EQ(g.f.pieceCol, drop);
                EXPECT_EQ(g.f.prevRow, -1);
                EXPECT_FALSE(g.p.ufoTimer.enabled());
                if (start == 2 && dir == 1 && drop == 0) {
                    EXPECT_EQ(ticks, 15);
                }
                if (start == drop) {
                    EXPECT_EQ(ticks, 1);
                }
            }
}

TEST(Flight, TickDrawsHandsOverThenSteps)
{
    Game g;
    g.start(kBottom, ufoDraws(3, 1, 2, 5, false, 3));
    size_t mark = g.p.log.mark();
    g.f.UFO_Timer_Timer();
    EXPECT_EQ(g.p.log.since(mark), (std::vector<std::string>{"GameTimer off", "fill 66 0 162 96",
                                                             "paint ufo02.bmp 99 0", "paint n2.bmp 131 63",
                                                             "UFO_Timer off", "GameTimer on"}));
    EXPECT_EQ(g.f.ufoCol, 4) << "the step is taken in the release tick too";
}

TEST(Flight, IdleUfoSweepsAndNeverDrops)
{
    Game g;
    std::vector<int> drawn;
    for (int tick = 0; tick < 40; ++tick) {
        g.f.dropCol = g.f.ufoCol;
        size_t mark = g.p.log.mark();
        g.f.UFO_Timer_Timer();
        drawn.push_back(std::stoi(g.p.log.since(mark, "fill ")[0].substr(5)) / 33 + 1);
        EXPECT_FALSE(g.p.gameTimer.enabled());
        EXPECT_TRUE(g.p.ufoTimer.enabled());
        EXPECT_EQ(g.f.ufoDropped, 0);
    }
    std::vector<int> sweep = {4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    EXPECT_TRUE(std::equal(sweep.begin(), sweep.end(), drawn.begin()));
}

TEST(Dispatch, ReseedClearDrawsCountLabelInThatOrder)
{
    Game g;
    g.f.playing = game::True;
    g.f.ufoCount = 9;
    g.p.random.script = {0.0, 0.99, 0.99, 0.5, 0.99};  // start 2, right, 5, bomb, drop 7
    int drawsAtAlarm = -1;
    g.p.audio.onLoop = [&](const std::string& file) {
        if (file == "danger.wav")
            drawsAtAlarm = g.p.random.draws;
    };
    size_t mark = g.p.log.mark();
    g.f.NextUfo();
    EXPECT_EQ(g.p.log.since(mark), (std::vector<std::string>{"randomize", "fill 0 0 330 96",
                                                             "sound loop danger.wav", "caption lblUFO '40'"}));
    EXPECT_EQ(drawsAtAlarm, 4) << "the alarm starts before the drop column is drawn";
    EXPECT_EQ(g.p.random.draws, 5);
    EXPECT_EQ(g.f.ufoCol, 2);
    EXPECT_EQ(g.f.ufoDir, 1);
    EXPECT_EQ(g.f.cargo, 12);
    EXPECT_EQ(g.f.dropCol, 7);
    EXPECT_EQ(g.f.ufoDropped, 0);
    EXPECT_EQ(g.f.ufoCount, 10);

    g.p.random.script = {0.99, 0.0, 0.0, 0.0, 0.0};
    g.f.NextUfo();
    EXPECT_EQ(g.f.ufoCol, 8);
    EXPECT_EQ(g.f.ufoDir, -1);
    EXPECT_EQ(g.f.cargo, 1);
    EXPECT_EQ(g.f.dropCol, 0);
    EXPECT_EQ(g.p.random.draws, 10) << "all five draws are made, bomb or not";
}

TEST(Dispatch, FiftyFirstEndsTheGameAndLeavesFifty)
{
    Game g;
    g.p.files.files["h-score.txt"] = "\"HighScore=50\"\r\n";
    g.f.LoadHighScore();
    releaseOver2(g, 1);
    g.f.ufoCount = 50;
    g.f.score = 300;
    for (int i = 0; i < 8; ++i)
        g.tickBlock();
    g.p.random.script = {0.1, 0.1, 0.1, 0.5, 0.1};  // the 51st draws a bomb
    size_t mark = g.p.log.mark();
    g.tickBlock();
    auto lines = g.p.log.since(mark);
    std::vector<std::string> expect = {"GameTimer off", "randomize", "fill 0 0 330 96", "sound loop danger.wav",
                                       "GameTimer off", "UFO_Timer off", "sound stop",
                                       "msgbox 48 ゲームオーバー ゲームオーバー！！", "sound loop open.wav",
                                       "caption lblHighScore ' 300'", "file create", "file write", "file sync",
                                       "file close", "file rename", "UFO_Timer off", "GameTimer off"};
    ASSERT_GE(lines.size(), expect.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(expect.size())), expect);
    EXPECT_EQ(lines[lines.size() - 3], "caption lblScore ' 0'");
    EXPECT_EQ(lines[lines.size() - 2], "caption lblUFO '50'");
    EXPECT_EQ(lines[lines.size() - 1], "UFO_Timer on");
    EXPECT_EQ(g.f.ufoCount, 0);
    EXPECT_EQ(g.f.ufoDropped, 0) << "after the fifty-UFO end the idle UFO flies closed";
    EXPECT_EQ(g.p.files.files["h-score.txt"], "\"HighScore=300\"\r\n");
    CHECK_WORLD(g);
}

// ---------------------------------------------------------------- game over

TEST(GameOverTest, TimersOffDuringTheBoxAndNoSaveForANegativeScore)
{
    Game g;
    releaseOver2(g, 1);
    g.f.score = -100;
    bool quiet = false;
    g.p.messageBox.whileOpen = [&] { quiet = !g.p.gameTimer.enabled() && !g.p.ufoTimer.enabled(); };
    g.f.GameOver();
    EXPECT_TRUE(quiet);
    EXPECT_TRUE(g.p.log.since(0, "file").empty());
    EXPECT_EQ(g.p.messageBox.shown.size(), 1u);
    EXPECT_EQ(g.f.playing, game::False);
    EXPECT_TRUE(g.p.ufoTimer.enabled());
}

TEST(GameOverTest, FailedSaveWarnsBeforeReturningToIdle)
{
    Game g;
    releaseOver2(g, 1);
    g.f.score = 1280;
    g.p.files.failAt = fake::FakeFiles::Step::Rename;
    size_t mark = g.p.log.mark();
    g.f.GameOver();
    ASSERT_EQ(g.p.messageBox.shown.size(), 2u);
    EXPECT_EQ(g.p.messageBox.shown[1].style, 48);
    EXPECT_EQ(g.p.messageBox.shown[1].title, "ちゅうい!!");
    EXPECT_EQ(g.p.messageBox.shown[1].text, "ハイスコアをほぞんできませんでした。");
    auto lines = g.p.log.since(mark);
    auto warn = std::find_if(lines.begin(), lines.end(), [](auto& s) { return s.find("ほぞん") != s.npos; });
    auto idle = std::find(lines.begin(), lines.end(), "caption cmdStart 'はじめ'");
    EXPECT_LT(warn, idle);
    EXPECT_EQ(g.f.highScore, 1280);
    EXPECT_EQ(g.caption(Control::lblHighScore), " 1280");
    EXPECT_EQ(g.p.files.files["h-score.txt"], "\"HighScore=0\"\r\n");
}

// ---------------------------------------------------------------- start, restart, quit, options

TEST(StartTest, StartsWithOneBlockPerColumnAndTheFirstUfo)
{
    Game g;
    g.f.optMax_Click(1);
    size_t mark = g.p.log.mark();
    g.start({9, 8, 7, 6, 5, 4, 3, 2, 1}, ufoDraws(4, -1, 9, 9, false, 1));
    auto lines = g.p.log.since(mark);
    std::vector<std::string> head = {"focus picSpace",         "enable optMax(0) off", "enable optMode(0) off",
                                     "enable optMax(1) off",   "enable optMode(1) off", "sound loop game.wav",
                                     "caption lblUFO '50'",    "caption lblScore ' 0'", "randomize"};
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(head.size())), head);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"GameTimer off", "UFO_Timer on", "caption cmdStart 'やりなおす'"}));
    for (int c = 0; c < 9; ++c) {
        EXPECT_EQ(g.f.board(c, 8), 9 - c);
        for (int r = 0; r < 8; ++r)
            EXPECT_EQ(g.f.board(c, r), 0);
    }
    EXPECT_EQ(g.caption(Control::lblUFO), "49");
    EXPECT_EQ(g.f.playing, game::True);
    EXPECT_EQ(g.f.cargo, 9);
    CHECK_WORLD(g);
}

TEST(StartTest, UpToFiveNeverDealsMoreThanFive)
{
    Game g;
    for (int game = 0; game < 200; ++game) {
        g.f.cmdStart_Click();
        for (int c = 0; c < 9; ++c) {
            ASSERT_GE(g.f.board(c, 8), 1);
            ASSERT_LE(g.f.board(c, 8), 5);
        }
        ASSERT_TRUE(g.f.cargo == 12 || (g.f.cargo >= 1 && g.f.cargo <= 5));
        g.f.cmdStart_Click();
    }
}

TEST(RestartTest, AbandonsWithoutSavingAndReturnsToIdle)
{
    Game g;
    releaseOver2(g, 4);
    g.tickBlock();
    g.f.score = 99999;
    size_t mark = g.p.log.mark();
    g.f.cmdStart_Click();
    auto lines = g.p.log.since(mark);
    std::vector<std::string> head = {"focus picSpace",       "enable optMax(0) on",  "enable optMode(0) on",
                                     "enable optMax(1) on",  "enable optMode(1) on", "caption lblUFO '50'",
                                     "sound loop open.wav", "UFO_Timer off",        "GameTimer off"};
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(head.size())), head);
    EXPECT_TRUE(g.p.log.since(mark, "file").empty());
    EXPECT_EQ(g.f.highScore, 0);
    EXPECT_EQ(g.caption(Control::lblScore), " 0");
    EXPECT_EQ(g.caption(Control::cmdStart), "はじめ");
    EXPECT_EQ(g.f.playing, game::False);
    EXPECT_EQ(g.f.ufoDropped, 1);
    CHECK_WORLD(g);
}

TEST(QuitTest, NoAbandonsMidGameWithTimersStoppedWhileAsking)
{
    Game g;
    releaseOver2(g, 4);
    g.tickBlock();
    g.f.score = 500;
    bool paused = false;
    g.p.messageBox.whileOpen = [&] { paused = !g.p.gameTimer.enabled() && !g.p.ufoTimer.enabled(); };
    g.p.messageBox.answers = {platform::mb::No};
    size_t mark = g.p.log.mark();
    g.f.cmdClose_Click();
    auto lines = g.p.log.since(mark);
    EXPECT_EQ(lines[0], "sound stop");
    EXPECT_TRUE(paused) << "nothing may fall while the question is open";
    EXPECT_EQ(g.p.messageBox.shown.back().text, "ゲームをやめますか？");
    EXPECT_EQ(g.p.messageBox.shown.back().style, 52);
    EXPECT_EQ(g.p.messageBox.shown.back().title, "おしまい");
    EXPECT_EQ(g.p.log.since(mark, "sound"), (std::vector<std::string>{"sound stop", "sound loop open.wav"}));
    EXPECT_EQ(g.caption(Control::lblUFO), "50");
    EXPECT_EQ(g.f.playing, game::False);
    EXPECT_TRUE(g.p.log.since(mark, "file").empty());
    EXPECT_FALSE(g.p.controls.unloaded);
    EXPECT_TRUE(g.p.ufoTimer.enabled());
    CHECK_WORLD(g);
}

TEST(QuitTest, NoWhileIdleStartsTheIdleOver)
{
    Game g;
    for (int i = 0; i < 6; ++i)
        g.f.UFO_Timer_Timer();
    g.p.messageBox.answers = {platform::mb::No};
    g.f.cmdClose_Click();
    EXPECT_EQ(g.f.ufoCol, 4);
    EXPECT_EQ(g.f.ufoDir, -1);
    EXPECT_EQ(g.p.log.lines.back(), "caption lblScore ' 0'");
    EXPECT_TRUE(g.p.ufoTimer.enabled());
}

TEST(QuitTest, YesClosesWithoutSaving)
{
    for (bool midGame : {false, true}) {
        Game g;
        if (midGame)
            releaseOver2(g, 4);
        g.f.score = 7777;
        g.p.messageBox.answers = {platform::mb::Yes};
        size_t mark = g.p.log.mark();
        g.f.cmdClose_Click();
        EXPECT_TRUE(g.p.controls.unloaded);
        EXPECT_TRUE(g.p.log.since(mark, "file").empty());
        EXPECT_TRUE(g.p.log.since(mark, "UFO_Timer on").empty());
        EXPECT_TRUE(g.p.log.since(mark, "sound loop").empty());
    }
}

TEST(Options, ClicksSetOnlyTheirValue)
{
    Game g;
    size_t mark = g.p.log.mark();
    g.f.optMax_Click(1);
    EXPECT_EQ(g.f.maxNumber, 9);
    g.f.optMode_Click(1);
    EXPECT_EQ(g.f.gameMode, 1);
    g.f.optMax_Click(2);
    g.f.optMode_Click(-1);
    EXPECT_EQ(g.f.maxNumber, 9);
    EXPECT_EQ(g.f.gameMode, 1);
    g.f.optMax_Click(0);
    g.f.optMode_Click(0);
    EXPECT_EQ(g.f.maxNumber, 5);
    EXPECT_EQ(g.f.gameMode, 0);
    EXPECT_TRUE(g.p.log.since(mark).empty()) << "the idle animation goes on undisturbed";

    g.f.cmdStart_Click();
    for (auto c : {Control::optMax0, Control::optMax1, Control::optMode0, Control::optMode1})
        EXPECT_FALSE(g.p.controls.enabled[c]);
}

}  // namespace
