// Seeded games with keys pressed at random moments. After every event the picture
// must match the board and the rules stay within their bounds; every UFO releases
// over its column within 15 ticks, and every block ends with exactly one new UFO or
// with the end of the game.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>

#include "fakes/FakePlatform.h"

namespace {

TEST(Soak, RandomPlayKeepsEveryInvariant)
{
    const std::int16_t keys[] = {game::vbKeyLeft, game::vbKeyRight, game::vbKeyDown, 38, 32};
    long blocks = 0, gameOvers = 0, bombs = 0, clears = 0, longest = 0;
    for (unsigned seed = 1; seed <= 500; ++seed) {
        fake::Game g;
        g.p.random.reseedWith(seed);
        std::mt19937 roll(seed);
        g.f.optMax_Click(static_cast<std::int16_t>(roll() % 2));
        g.f.optMode_Click(static_cast<std::int16_t>(roll() % 2));
        g.f.cmdStart_Click();
        for (int step = 0, flight = 0; g.f.playing == game::True && roll() % 3000; ++step) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " step " << step);
            const bool falling = g.p.gameTimer.on;
            const int count = g.f.ufoCount, score = g.f.score;
            const size_t boxes = g.p.boxes.size(), booms = g.p.playedOnce.size();
            if (roll() % 3 == 0)
                g.key(keys[roll() % (roll() % 8 ? 3 : 5)]);
            else if (g.p.ufoTimer.on)
                g.f.UFO_Timer_Timer(), ++flight;
            else if (falling)
                g.f.GameTimer_Timer();
            ASSERT_EQ(g.mismatch(), "");
            if (!falling && g.p.gameTimer.on) {
                ASSERT_LE(flight, 15);
                ASSERT_EQ(g.p.ufo(g.f.dropCol), "ufo02.bmp") << "released over its column";
                longest = std::max<long>(longest, std::exchange(flight, 0));
            }
            const bool ended = falling && !g.p.gameTimer.on, over = g.p.boxes.size() > boxes;
            blocks += ended, gameOvers += over, bombs += g.p.playedOnce.size() > booms, clears += g.f.score > score;
            if (!over)
                ASSERT_EQ(g.f.ufoCount, count + ended);
            else  // by a full column the count stays; the fifty-first UFO leaves 50
                ASSERT_EQ(g.caption(platform::Control::lblUFO), g.f.ufoDropped ? std::to_string(game::kUfosPerGame - count) : "50");
        }
        if (g.f.playing == game::True)
            g.f.cmdStart_Click();  // abandoned now and then
        ASSERT_EQ(g.p.timersOn(), "UFO");
        ASSERT_EQ(g.f.playing, game::False);
    }
    // They really were games, and some UFO flew the longest way.
    EXPECT_EQ(longest, 15);
    EXPECT_GT(blocks, 10000);
    EXPECT_GT(gameOvers, 300);
    EXPECT_GT(bombs, 500);
    EXPECT_GT(clears, 500);
}

}  // namespace
