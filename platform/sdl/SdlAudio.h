#pragma once
// Sound through SDL_mixer on one channel: one sound at a time, mixing on SDL's own
// thread. The device is opened at the first call; without a usable device the
// layer falls back to SDL's dummy driver, so every call behaves and takes its time.

#include <string>

#include "platform/Platform.h"

struct Mix_Chunk;

namespace platform {

class SdlAudio : public AudioDevice {
public:
    SdlAudio();
    ~SdlAudio() override;
    SdlAudio(const SdlAudio&) = delete;
    SdlAudio& operator=(const SdlAudio&) = delete;

    void startLoop(const std::string& fileName) override;
    void playToEnd(const std::string& fileName) override;
    void stop() override;

    // Which SDL driver ended up open ("pulseaudio", "alsa", "dummy"), or "" before
    // the first call or when none could be opened.
    std::string driverName() const;

private:
    bool ensureOpen();
    Mix_Chunk* load(const std::string& fileName);
    void halt();  // the channel first, then the chunk it held

    bool triedOpen_ = false;
    bool open_ = false;
    Mix_Chunk* current_ = nullptr;
};

}  // namespace platform
