// The cue table and the order of its calls, with a recording device and screen;
// then once through the real SDL layer on the dummy driver.

#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sdl/SdlAudio.h"
#include "sound/SoundCues.h"
#include "tests/audio/WavFile.h"

namespace {

using Log = std::vector<std::string>;

class RecordingAudio : public platform::AudioDevice {
public:
    explicit RecordingAudio(Log& log) : log_(log) {}
    void startLoop(const std::string& fileName) override { log_.push_back("loop " + fileName); }
    void playToEnd(const std::string& fileName) override { log_.push_back("once " + fileName); }
    void stop() override { log_.push_back("stop"); }

private:
    Log& log_;
};

class RecordingSurface : public platform::Surface {
public:
    explicit RecordingSurface(Log& log) : log_(log) {}
    void setPixelUnits() override {}
    void setPersistent(bool) override {}
    void paintPicture(const platform::Picture&, int, int) override {}
    void fillBlack(int, int, int, int) override {}
    void present() override { log_.push_back("present"); }

private:
    Log& log_;
};

TEST(CueTable, NamesEachFileAndHowItPlays)
{
    using sound::Cue;
    EXPECT_STREQ(sound::cueInfo(Cue::Title).file, "open.wav");
    EXPECT_TRUE(sound::cueInfo(Cue::Title).loop);
    EXPECT_STREQ(sound::cueInfo(Cue::Game).file, "game.wav");
    EXPECT_TRUE(sound::cueInfo(Cue::Game).loop);
    EXPECT_STREQ(sound::cueInfo(Cue::Danger).file, "danger.wav");
    EXPECT_TRUE(sound::cueInfo(Cue::Danger).loop);
    EXPECT_STREQ(sound::cueInfo(Cue::Explosion).file, "bom.wav");
    EXPECT_FALSE(sound::cueInfo(Cue::Explosion).loop);
}

class SoundCuesTest : public ::testing::Test {
protected:
    Log log;
    RecordingAudio audio{log};
    RecordingSurface screen{log};
    sound::SoundCues cues{audio, screen};
};

TEST_F(SoundCuesTest, LoopsStartWithoutTouchingTheScreen)
{
    cues.play(sound::Cue::Title);
    cues.play(sound::Cue::Game);
    cues.play(sound::Cue::Danger);
    EXPECT_EQ(log, (Log{"loop open.wav", "loop game.wav", "loop danger.wav"}));
}

TEST_F(SoundCuesTest, ExplosionShowsThePictureBeforeHoldingTheGame)
{
    cues.play(sound::Cue::Danger);
    cues.play(sound::Cue::Explosion);
    cues.play(sound::Cue::Game);
    EXPECT_EQ(log, (Log{"loop danger.wav", "present", "once bom.wav", "loop game.wav"}));
}

TEST_F(SoundCuesTest, StopIsOneCallToTheDevice)
{
    cues.stop();
    EXPECT_EQ(log, (Log{"stop"}));
}

TEST(SoundCuesOnSdl, ExplosionHoldsForItsLengthThenTheGameMusicLoops)
{
    audiotest::ScratchDir dir;
    audiotest::writeTone("bom.wav", 0.3);
    audiotest::writeTone("game.wav", 0.1);
    Log log;
    RecordingSurface screen{log};
    platform::SdlAudio audio;
    sound::SoundCues cues{audio, screen};
    audio.stop();  // open the device first: the timing below is the explosion's alone

    const long long ms = audiotest::elapsedMs([&] { cues.play(sound::Cue::Explosion); });
    EXPECT_NEAR(static_cast<double>(ms), 300.0, 60.0);
    EXPECT_EQ(log, (Log{"present"}));
    EXPECT_EQ(Mix_Playing(0), 0);

    cues.play(sound::Cue::Game);
    EXPECT_EQ(Mix_Playing(0), 1);
    cues.stop();
    EXPECT_EQ(Mix_Playing(0), 0);
}

}  // namespace
