// The SDL sound layer on SDL's dummy driver, which plays at real-time pace without
// a sound card: timing is measured, what is playing is asked of the mixer.

#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "platform/sdl/SdlAudio.h"
#include "tests/audio/WavFile.h"

using audiotest::elapsedMs;
using audiotest::writeTone;
using namespace std::chrono_literals;

namespace {

// A blocking play may end this far from the sound's own length.
constexpr long long kToleranceMs = 60;
// "At once": no sound is waited for.
constexpr long long kAtOnceMs = 100;

long long chunkMs(const Mix_Chunk* chunk)
{
    int freq = 0;
    int channels = 0;
    Uint16 format = 0;
    if (chunk == nullptr || Mix_QuerySpec(&freq, &format, &channels) == 0)
        return -1;
    const long long frameBytes = channels * (SDL_AUDIO_BITSIZE(format) / 8);
    return static_cast<long long>(chunk->alen) / frameBytes * 1000 / freq;
}

class SdlAudioTest : public ::testing::Test {
protected:
    // Opens the device, so that timings below measure only the call itself.
    void open()
    {
        audio.stop();
        ASSERT_EQ(audio.driverName(), "dummy");
    }

    audiotest::ScratchDir dir;
    platform::SdlAudio audio;
};

TEST_F(SdlAudioTest, OpensTheDeviceAtTheFirstCall)
{
    EXPECT_EQ(audio.driverName(), "");
    audio.stop();
    EXPECT_EQ(audio.driverName(), "dummy");
    EXPECT_EQ(Mix_AllocateChannels(-1), 1);
}

TEST_F(SdlAudioTest, LoopReturnsAtOnceAndKeepsPlayingPastItsLength)
{
    writeTone("loop.wav", 0.2);
    open();
    EXPECT_LT(elapsedMs([&] { audio.startLoop("loop.wav"); }), 50);
    EXPECT_EQ(Mix_Playing(0), 1);
    std::this_thread::sleep_for(500ms);  // well past the end of one pass
    EXPECT_EQ(Mix_Playing(0), 1);
}

struct Format {
    double seconds;
    int rate;
    int channels;
};

class BlockingPlay : public SdlAudioTest, public ::testing::WithParamInterface<Format> {};

TEST_P(BlockingPlay, LastsTheSoundsLength)
{
    const Format f = GetParam();
    writeTone("once.wav", f.seconds, f.rate, f.channels);
    open();
    const long long ms = elapsedMs([&] { audio.playToEnd("once.wav"); });
    const long long expected = std::llround(f.seconds * 1000);
    std::printf("blocking play of %lld ms (%d Hz, %d ch) lasted %lld ms\n", expected, f.rate, f.channels, ms);
    EXPECT_NEAR(static_cast<double>(ms), static_cast<double>(expected), kToleranceMs);
    EXPECT_EQ(Mix_Playing(0), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, BlockingPlay,
                         ::testing::Values(Format{0.5, 22050, 1}, Format{0.4, 48000, 2}, Format{0.3, 8000, 1}));

TEST_F(SdlAudioTest, StopHaltsAtOnce)
{
    writeTone("loop.wav", 1.0);
    open();
    audio.startLoop("loop.wav");
    ASSERT_EQ(Mix_Playing(0), 1);
    EXPECT_LT(elapsedMs([&] { audio.stop(); }), 50);
    EXPECT_EQ(Mix_Playing(0), 0);
}

TEST_F(SdlAudioTest, NewCallReplacesThePreviousSound)
{
    writeTone("long.wav", 1.0);
    writeTone("short.wav", 0.3);
    open();
    audio.startLoop("long.wav");
    audio.startLoop("short.wav");
    EXPECT_EQ(Mix_AllocateChannels(-1), 1);
    EXPECT_EQ(Mix_Playing(-1), 1);
    EXPECT_NEAR(static_cast<double>(chunkMs(Mix_GetChunk(0))), 300.0, 2.0);

    // The once-played sound cuts the loop, and the loop does not come back after it.
    audio.startLoop("long.wav");
    const long long ms = elapsedMs([&] { audio.playToEnd("short.wav"); });
    EXPECT_NEAR(static_cast<double>(ms), 300.0, kToleranceMs);
    EXPECT_EQ(Mix_Playing(-1), 0);
}

TEST_F(SdlAudioTest, UnplayableFilesAreSilentAndReturnAtOnce)
{
    writeTone("tone.wav", 1.0);
    audiotest::writeBytes("empty.wav", "");
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.push_back(static_cast<char>((i * 7919 + 13) % 251));
    audiotest::writeBytes("garbage.wav", garbage);
    std::string badRiff = "RIFF";
    audiotest::putLE(badRiff, 36, 4);
    audiotest::writeBytes("badriff.wav", badRiff + "WAVEfmt junk junk junk junk");
    writeTone("noframes.wav", 0.0);
    std::filesystem::create_directory("folder.wav");
    open();

    for (const char* name : {"missing.wav", "empty.wav", "garbage.wav", "badriff.wav", "noframes.wav",
                             "folder.wav", ""}) {
        SCOPED_TRACE(name);
        audio.startLoop("tone.wav");
        ASSERT_EQ(Mix_Playing(0), 1);
        EXPECT_LT(elapsedMs([&] { audio.playToEnd(name); }), kAtOnceMs);
        EXPECT_EQ(Mix_Playing(-1), 0);

        audio.startLoop("tone.wav");
        EXPECT_LT(elapsedMs([&] { audio.startLoop(name); }), kAtOnceMs);
        EXPECT_EQ(Mix_Playing(-1), 0);
    }
    // And the layer still plays afterwards.
    audio.startLoop("tone.wav");
    EXPECT_EQ(Mix_Playing(0), 1);
}

TEST_F(SdlAudioTest, StalledDeviceReleasesTheGameAfterLengthPlusTwoSeconds)
{
    writeTone("once.wav", 0.2, 11025, 2);
    open();
    // A paused channel never ends: the device looks stalled from the waiting side.
    std::thread staller([] {
        std::this_thread::sleep_for(50ms);
        Mix_Pause(0);
    });
    const long long ms = elapsedMs([&] { audio.playToEnd("once.wav"); });
    staller.join();
    std::printf("stalled play of 200 ms gave up after %lld ms\n", ms);
    EXPECT_NEAR(static_cast<double>(ms), 2200.0, 100.0);
    EXPECT_EQ(Mix_Playing(-1), 0);
}

TEST_F(SdlAudioTest, KeepsTheProcessSignalHandlers)
{
    open();
    for (int sig : {SIGINT, SIGTERM}) {
        struct sigaction current {};
        ASSERT_EQ(sigaction(sig, nullptr, &current), 0);
        EXPECT_EQ(current.sa_handler, SIG_DFL) << "signal " << sig;
    }
}

TEST_F(SdlAudioTest, ClosesAndOpensAgain)
{
    writeTone("once.wav", 0.2);
    {
        platform::SdlAudio first;
        first.startLoop("once.wav");
        EXPECT_EQ(Mix_Playing(0), 1);
    }
    platform::SdlAudio second;
    const long long ms = elapsedMs([&] { second.playToEnd("once.wav"); });
    EXPECT_EQ(second.driverName(), "dummy");
    EXPECT_NEAR(static_cast<double>(ms), 200.0, kToleranceMs + 50);  // includes opening
}

// Restores an environment variable on leaving the scope.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value, 1);
    }
    ~EnvOverride()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(SdlAudioFallback, WithoutAUsableDeviceFallsBackToTheDummyDriver)
{
    audiotest::ScratchDir dir;
    writeTone("once.wav", 0.3);
    EnvOverride env("SDL_AUDIODRIVER", "no-such-driver");
    platform::SdlAudio audio;
    const long long ms = elapsedMs([&] { audio.playToEnd("once.wav"); });
    EXPECT_EQ(audio.driverName(), "dummy");
    EXPECT_NEAR(static_cast<double>(ms), 300.0, kToleranceMs + 50);  // includes both attempts to open
    audio.startLoop("once.wav");
    EXPECT_EQ(Mix_Playing(0), 1);
}

}  // namespace
