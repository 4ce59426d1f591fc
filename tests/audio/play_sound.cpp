// Plays one file through the game's own sound layer, to listen to it and for the
// real-audio check.
//
//   zenkora_play_sound loop FILE SECONDS   start it looping, wait, stop
//   zenkora_play_sound once FILE           play it to its end, blocking
//   zenkora_play_sound switch A B TIMES SECONDS
//                                          TIMES rounds of loop A, loop B, stop with no
//                                          pause between; then loop A for SECONDS, stop
//   zenkora_play_sound outlive LOOP ONCE SECONDS
//                                          loop for SECONDS (the server may go away
//                                          meanwhile), then play ONCE to its end
//
// A file named like one of the game's cues, asked for in that cue's mode, goes
// through the cue table from its own folder, just as the game plays it; any other
// file goes straight to the device.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "../fakes/NullSurface.h"
#include "platform/sdl/SdlAudio.h"
#include "sound/SoundCues.h"

namespace {

using NoScreen = fake::NullSurface;

std::optional<sound::Cue> cueFor(const std::string& name, bool loop)
{
    for (sound::Cue cue : {sound::Cue::Title, sound::Cue::Game, sound::Cue::Danger, sound::Cue::Explosion}) {
        const sound::CueInfo& info = sound::cueInfo(cue);
        if (name == info.file && info.loop == loop)
            return cue;
    }
    return std::nullopt;
}

int usage()
{
    std::fprintf(stderr, "usage: zenkora_play_sound loop FILE SECONDS\n"
                         "       zenkora_play_sound once FILE\n"
                         "       zenkora_play_sound switch A B TIMES SECONDS\n"
                         "       zenkora_play_sound outlive LOOP ONCE SECONDS\n");
    return 2;
}

// Sounds replaced faster than the server can make their streams.
int switchRapidly(const std::string& a, const std::string& b, int times, double seconds)
{
    platform::SdlAudio audio;
    audio.stop();
    const std::string driver = audio.driverName();
    std::printf("driver: %s\n", driver.empty() ? "none" : driver.c_str());
    for (int i = 0; i < times; ++i) {
        audio.startLoop(a);
        audio.startLoop(b);
        audio.stop();
    }
    audio.startLoop(a);
    std::printf("switched: %d\n", times);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    audio.stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    const std::string mode = argv[1];
    if (mode == "outlive") {
        if (argc != 5)
            return usage();
        platform::SdlAudio audio;
        audio.startLoop(argv[2]);
        std::printf("driver: %s\n", audio.driverName().c_str());
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::duration<double>(std::strtod(argv[4], nullptr)));
        const auto t0 = std::chrono::steady_clock::now();
        audio.playToEnd(argv[3]);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
        std::printf("played: %lld ms\n", static_cast<long long>(ms.count()));
        audio.stop();
        return 0;
    }
    if (mode == "switch") {
        if (argc != 6)
            return usage();
        const int times = std::atoi(argv[4]);
        const double seconds = std::strtod(argv[5], nullptr);
        if (times < 0 || seconds < 0)
            return usage();
        return switchRapidly(argv[2], argv[3], times, seconds);
    }
    const bool loop = mode == "loop";
    if ((!loop && mode != "once") || (loop && argc != 4) || (!loop && argc != 3))
        return usage();
    double seconds = 0;
    if (loop) {
        char* end = nullptr;
        seconds = std::strtod(argv[3], &end);
        if (end == argv[3] || *end != '\0' || seconds < 0)
            return usage();
    }

    std::string file = argv[2];
    const std::filesystem::path path(file);
    std::optional<sound::Cue> cue = cueFor(path.filename().string(), loop);
    if (cue) {
        std::error_code ec;
        if (path.has_parent_path())
            std::filesystem::current_path(path.parent_path(), ec);
        if (ec) {
            std::fprintf(stderr, "cannot enter %s: %s\n", path.parent_path().c_str(), ec.message().c_str());
            return 1;
        }
        file = path.filename().string();
    }

    platform::SdlAudio audio;
    NoScreen screen;
    sound::SoundCues cues(audio, screen);
    audio.stop();  // opens the device, so the timing below is the sound's alone
    const std::string driver = audio.driverName();
    std::printf("driver: %s\n", driver.empty() ? "none" : driver.c_str());
    std::printf("through: %s\n", cue ? "cue table" : "device");
    std::fflush(stdout);

    const auto t0 = std::chrono::steady_clock::now();
    if (loop) {
        if (cue)
            cues.play(*cue);
        else
            audio.startLoop(file);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        if (cue)
            cues.stop();
        else
            audio.stop();
    } else {
        if (cue)
            cues.play(*cue);
        else
            audio.playToEnd(file);
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    std::printf("%s: %lld ms\n", loop ? "looped" : "played", static_cast<long long>(ms.count()));
    // Closing the device drops what it still holds; let that reach the speaker first.
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    return 0;
}
