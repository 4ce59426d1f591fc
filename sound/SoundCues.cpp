#include "sound/SoundCues.h"

namespace sound {

namespace {

struct CueInfo {
    const char* file;
    bool loop;  // false: play once and hold everything until it ends
};

const CueInfo& cueInfo(Cue cue)
{
    static const CueInfo table[] = {
        {"open.wav", true},    // Title: while no game runs
        {"game.wav", true},    // Game: during a game
        {"danger.wav", true},  // Danger: while a bomb is on its way
        {"bom.wav", false},    // Explosion: the game stands still while it plays
    };
    return table[static_cast<int>(cue)];
}

}  // namespace

SoundCues::SoundCues(platform::AudioDevice& device, platform::Surface& screen)
    : device_(device), screen_(screen)
{
}

void SoundCues::play(Cue cue)
{
    const CueInfo& info = cueInfo(cue);
    if (info.loop) {
        device_.startLoop(info.file);
        return;
    }
    // Nothing repaints during the wait, so what was just drawn must be on screen first.
    screen_.present();
    device_.playToEnd(info.file);
}

void SoundCues::stop() { device_.stop(); }

}  // namespace sound
