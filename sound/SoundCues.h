#pragma once
// Which file each moment of the game plays, and how. This table is the one place
// that says so; the rules only name the cue.

#include "platform/Platform.h"

namespace sound {

enum class Cue { Title, Game, Danger, Explosion };

class SoundCues {
public:
    SoundCues(platform::AudioDevice& device, platform::Surface& screen);
    void play(Cue cue);
    void stop();

private:
    platform::AudioDevice& device_;
    platform::Surface& screen_;
};

}  // namespace sound
