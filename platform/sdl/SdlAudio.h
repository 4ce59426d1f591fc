#pragma once
// The game's sound: one sound at a time. The device is opened at the first call.
// On a desktop with a sound server the sounds go straight to it (PulseOutput);
// otherwise through SDL_mixer on one channel, mixing on SDL's own thread, which also
// reaches plain ALSA. Without a usable device the layer falls back to SDL's dummy
// driver, so every call behaves and takes its time. SDL_AUDIODRIVER, when set to
// anything but "pulseaudio", sends the sound through SDL.
// The libraries are loaded then too, not when the program starts: their codec
// libraries would otherwise cost every start-up about ten milliseconds before main().

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/Platform.h"

struct Mix_Chunk;

namespace platform {

class PulseOutput;

class SdlAudio : public AudioDevice {
public:
    SdlAudio();
    ~SdlAudio() override;
    SdlAudio(const SdlAudio&) = delete;
    SdlAudio& operator=(const SdlAudio&) = delete;

    void startLoop(const std::string& fileName) override;
    void playToEnd(const std::string& fileName) override;
    void stop() override;

    // Which driver ended up open ("pulseaudio", "alsa", "dummy"), or "" before
    // the first call or when none could be opened.
    std::string driverName() const;

    // From now until openInBackground() has opened the device, startLoop and stop
    // only note what is to be playing then. playToEnd is never put off: it waits
    // for the opener at work, or opens the device itself.
    void holdUntilOpened();
    // Opens the device on a thread of its own, so that the window's thread never
    // waits for the sound server; then starts the loop that was noted.
    void openInBackground();

private:
    bool ensureOpen();
    Mix_Chunk* load(const std::string& fileName);
    void halt();  // the channel first, then the chunk it held
    void startLoopNow(const std::string& fileName);
    // True when the call must be noted for the opener instead of played now.
    bool deferWhileOpening(const std::optional<std::string>& loop);
    void waitForOpener() const;

    bool triedOpen_ = false;
    bool open_ = false;
    std::unique_ptr<PulseOutput> pulse_;  // when set, SDL is not used at all
    Mix_Chunk* current_ = nullptr;

    mutable std::mutex mutex_;
    mutable std::thread opener_;
    bool opening_ = false;                    // calls are noted; guarded by mutex_
    std::optional<std::string> pendingLoop_;  // guarded by mutex_
};

}  // namespace platform
