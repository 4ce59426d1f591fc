#pragma once
// The game's sound, straight to the desktop's sound server (PulseAudio, or PipeWire
// speaking its protocol). One sound at a time, each a stream of its own, read from
// its file a piece at a time as the server asks for more.
//
// Without a server, while it does not answer, after it went away, the same calls
// keep the same time in silence: a loop is silent, a sound played to its end is
// waited for its own length. While a loop is wanted a gone server is called again
// every 300 ms for ten seconds, then every 5 s (as is one never reached), and the
// loop resumes once it answers; otherwise at the next sound.
// The streams carry the game's name, id and icon and the role "game".

#include <functional>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace platform {

class PulseDevice : public AudioDevice {
public:
    // Turns a sound's bare name into the path it is read from.
    using Locate = std::function<std::string(const std::string&)>;

    explicit PulseDevice(Locate locate = [](const std::string& name) { return name; });
    ~PulseDevice() override;
    PulseDevice(const PulseDevice&) = delete;
    PulseDevice& operator=(const PulseDevice&) = delete;

    // Calls the server, in the background; the loop asked for meanwhile starts once
    // it answers. Until then every sound is silent.
    void open();

    void startLoop(const std::string& fileName) override;
    // Holds the caller for the sound's own length, at most 5 s (a longer sound is
    // cut there), whatever the server does; what the server still holds then plays
    // on until the next call. Returns at once for a file that is not a sound.
    void playToEnd(const std::string& fileName) override;
    void stop() override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
