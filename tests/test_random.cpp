#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "fakes/FakePlatform.h"
#include "platform/MixingRandom.h"

namespace {

using platform::drawInt;
using platform::MixingRandom;

std::vector<double> draws(MixingRandom& r, int n)
{
    std::vector<double> out;
    for (int i = 0; i < n; ++i)
        out.push_back(r.next());
    return out;
}

TEST(Draws, NeverLeaveTheirRangeEvenAtTheEdges)
{
    const double largest = std::nextafter(1.0, 0.0);
    for (int k : {2, 5, 7, 8, 9}) {
        EXPECT_EQ(drawInt(0.0, k, 1), 1);
        EXPECT_EQ(drawInt(largest, k, 1), k);
        EXPECT_EQ(drawInt(largest, k, 0), k - 1);
    }
    EXPECT_EQ(drawInt(0.5, 2, 1), 2);        // r >= 1/2 flies right
    EXPECT_EQ(drawInt(0.4999999, 2, 1), 1);  // r < 1/2 flies left
}

TEST(MixingRandomTest, ValuesAreUniformBelowOne)
{
    fake::FixedClock clock;
    MixingRandom r(clock, 42);
    std::vector<int> buckets(8);
    for (int i = 0; i < 80000; ++i) {
        double v = r.next();
        ASSERT_GE(v, 0.0);
        ASSERT_LT(v, 1.0);
        ++buckets[static_cast<size_t>(drawInt(v, 8, 0))];
    }
    for (int b : buckets)
        EXPECT_NEAR(b, 10000, 500);
}

// Reseeding twice within one clock reading must not replay the same draws:
// the first UFO of a game would otherwise copy the bottom row.
TEST(MixingRandomTest, ReseedsInTheSameMillisecondDoNotRepeat)
{
    fake::FixedClock clock;
    MixingRandom r(clock, std::nullopt);
    r.randomize();
    auto first = draws(r, 9);
    r.randomize();
    auto second = draws(r, 9);
    EXPECT_NE(first, second);

    MixingRandom other(clock, std::nullopt);
    other.randomize();
    EXPECT_NE(draws(other, 9), first) << "two programs started together must not play the same game";
}

TEST(MixingRandomTest, FixedSeedReplaysAWholeRunWhateverTheClock)
{
    fake::FixedClock a, b;
    b.now = a.now + 123456;
    MixingRandom x(a, 7), y(b, 7);
    for (int i = 0; i < 5; ++i) {
        x.randomize();
        y.randomize();
        a.now += 1000;
        EXPECT_EQ(draws(x, 5), draws(y, 5));
    }
    MixingRandom z(a, 8);
    z.randomize();
    x.randomize();
    EXPECT_NE(draws(z, 5), draws(x, 5));
}

TEST(MixingRandomTest, ClockIsStirredInWithoutAFixedSeed)
{
    fake::FixedClock a;
    MixingRandom x(a, std::nullopt);
    std::set<std::vector<double>> seen;
    for (int i = 0; i < 100; ++i) {
        a.now += 1;
        x.randomize();
        seen.insert(draws(x, 3));
    }
    EXPECT_EQ(seen.size(), 100u);
}

}  // namespace
