#include "platform/posix/MixingRandom.h"

#include <chrono>

namespace platform {

namespace {

std::uint64_t splitmix(std::uint64_t& x)
{
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

MixingRandom::MixingRandom(Clock& clock, std::optional<std::uint64_t> fixedSeed)
    : clock_(clock), fixed_(fixedSeed.has_value())
{
    std::uint64_t x = fixedSeed ? *fixedSeed
                                : static_cast<std::uint64_t>(
                                      std::chrono::steady_clock::now().time_since_epoch().count())
            ^ static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    for (auto& word : s_)
        word = splitmix(x);
}

void MixingRandom::randomize()
{
    ++reseeds_;
    std::uint64_t x = reseeds_ * 0xD1B54A32D192ED03ULL;
    if (!fixed_)
        x ^= static_cast<std::uint64_t>(clock_.millisecondsSinceMidnight());
    for (auto& word : s_)
        word ^= splitmix(x);
    if ((s_[0] | s_[1] | s_[2] | s_[3]) == 0)
        s_[0] = 1;  // the one state xoshiro cannot leave
    nextBits();
}

std::uint64_t MixingRandom::nextBits()
{
    // xoshiro256**
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
}

double MixingRandom::next()
{
    // 53 random bits: exactly representable, always below 1.
    return static_cast<double>(nextBits() >> 11) * 0x1.0p-53;
}

}  // namespace platform
