#pragma once
// Sound straight to the desktop's sound server (PulseAudio, or PipeWire speaking its
// protocol). Each sound is a stream of its own, fed from its file as the server asks
// for more, in pieces of 70 ms: the feeding thread wakes rarely, and no more of a
// long sound than the server's queue is held in memory. Stopping drops the stream,
// and with it everything the server still had queued, so a sound ends at once.
// libpulse is loaded on the first connect, not when the program starts.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class PulseOutput {
public:
    // Nothing when libpulse is missing or no server answers.
    static std::unique_ptr<PulseOutput> connect(const char* appName);
    ~PulseOutput();
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    // Replaces whatever plays. Nothing is heard from a file that is missing or not a
    // sound; both return at once then.
    void startLoop(const std::string& fileName);
    // Returns when the sound has been heard to its end: never before its own length,
    // and at most two seconds after it if the server stalls. Without a server (it went
    // away) the sound's length is still waited for, in silence.
    void playToEnd(const std::string& fileName);
    void stop();

    struct Impl;

private:
    explicit PulseOutput(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
