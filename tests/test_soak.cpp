// Thousands of seeded games with keys pressed at random moments, checking after
// every event that the picture matches the board and the rules' invariants hold.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "fakes/FakePlatform.h"

namespace {

int soakGames()
{
    const char* env = std::getenv("ZENKORA_SOAK_GAMES");
    return env ? std::atoi(env) : 2000;
}

TEST(Soak, RandomPlayKeepsEveryInvariant)
{
    const int games = soakGames();
    long blocks = 0, gameOvers = 0, bombs = 0, clears = 0;
    for (int seed = 1; seed <= games; ++seed) {
        fake::Game g;
        g.p.random.reseedWith(static_cast<std::uint64_t>(seed));
        std::mt19937 driver(static_cast<std::uint32_t>(seed));
        auto roll = [&](unsigned n) { return static_cast<unsigned>(driver() % n); };
        if (roll(2))
            g.f.optMax_Click(1);
        if (roll(2))
            g.f.optMode_Click(1);
        g.f.cmdStart_Click();

        for (int step = 0; step < 5000 && g.f.playing == game::True; ++step) {
            g.p.log.lines.clear();
            const bool falling = g.p.gameTimer.enabled();
            const std::int32_t countBefore = g.f.ufoCount;
            const std::int32_t scoreBefore = g.f.score;
            if (roll(4000) == 0) {
                g.f.cmdStart_Click();  // abandon now and then
                break;
            }
            unsigned action = roll(100);
            if (action < 40) {
                std::int16_t keys[] = {game::vbKeyLeft, game::vbKeyRight, game::vbKeyDown, 38, 32};
                g.key(keys[roll(action < 5 ? 5 : 2)]);
            } else if (g.p.ufoTimer.enabled()) {
                g.f.UFO_Timer_Timer();
                if (g.p.gameTimer.enabled())
                    ++blocks;
            } else if (g.p.gameTimer.enabled()) {
                g.f.GameTimer_Timer();
            } else {
                FAIL() << "a game with no timer running, seed " << seed;
            }
            ASSERT_EQ(g.invariantBreak(), "") << "seed " << seed << " step " << step;
            ASSERT_EQ(g.screenMismatch(), "") << "seed " << seed << " step " << step;

            const size_t dispatched = g.p.log.since(0, "fill 0 0 330 96").size();
            const size_t overs = g.p.log.since(0, "msgbox 48 ゲームオーバー").size();
            bombs += static_cast<long>(g.p.log.since(0, "sound once bom.wav").size());
            if (g.f.score > scoreBefore)
                ++clears;
            gameOvers += static_cast<long>(overs);
            if (falling && !g.p.gameTimer.enabled()) {
                // The block ended: one dispatch, or a game over on entry with none.
                // The 51st dispatch ends the game too, and leaves the counter at 50.
                const bool fiftyFirst = overs == 1 && g.caption(platform::Control::lblUFO) == "50";
                if (fiftyFirst) {
                    ASSERT_EQ(countBefore, 50);
                }
                ASSERT_EQ(dispatched, overs == 0 || fiftyFirst ? 1u : 0u) << "seed " << seed << " step " << step;
            } else {
                ASSERT_EQ(dispatched, 0u) << "seed " << seed << " step " << step;
            }
            if (g.f.playing == game::True) {
                ASSERT_EQ(g.caption(platform::Control::lblUFO), std::to_string(50 - g.f.ufoCount));
            }
        }
        if (g.f.playing == game::True)
            g.f.cmdStart_Click();
        ASSERT_EQ(g.f.playing, game::False);
        ASSERT_TRUE(g.p.ufoTimer.enabled());
    }
    // The games really were games.
    EXPECT_GT(blocks, games * 10L);
    EXPECT_GT(gameOvers, games / 10L);
    EXPECT_GT(bombs, games);
    EXPECT_GT(clears, games);
}

}  // namespace
