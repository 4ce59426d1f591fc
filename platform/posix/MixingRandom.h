#pragma once
// The game's random numbers. A reseed stirs the time of day and a call counter
// into the running state instead of restarting the sequence, so two reseeds in
// the same second never repeat each other's draws. With a fixed seed the clock
// is left out and a whole run can be replayed.

#include <array>
#include <cstdint>
#include <optional>

#include "platform/Platform.h"

namespace platform {

class MixingRandom : public Random {
public:
    MixingRandom(Clock& clock, std::optional<std::uint64_t> fixedSeed);
    void randomize() override;
    double next() override;

private:
    std::uint64_t nextBits();

    Clock& clock_;
    bool fixed_;
    std::uint64_t reseeds_ = 0;
    std::array<std::uint64_t, 4> s_{};
};

}  // namespace platform
