#pragma once
// Small WAV files for the sound tests, written on the spot so the tests do not
// depend on the game's own sounds.

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace audiotest {

inline void putLE(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// 16-bit PCM: a 440 Hz tone at half scale, the same on every channel.
inline std::string toneWav(double seconds, int rate = 22050, int channels = 1)
{
    const auto frames = static_cast<std::uint32_t>(std::lround(seconds * rate));
    const std::uint32_t dataBytes = frames * static_cast<std::uint32_t>(channels) * 2;
    std::string out;
    out += "RIFF";
    putLE(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    putLE(out, 16, 4);
    putLE(out, 1, 2);  // PCM
    putLE(out, static_cast<std::uint32_t>(channels), 2);
    putLE(out, static_cast<std::uint32_t>(rate), 4);
    putLE(out, static_cast<std::uint32_t>(rate * channels * 2), 4);
    putLE(out, static_cast<std::uint32_t>(channels * 2), 2);
    putLE(out, 16, 2);
    out += "data";
    putLE(out, dataBytes, 4);
    const double pi = std::acos(-1.0);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto sample = static_cast<std::int16_t>(std::lround(16000.0 * std::sin(2 * pi * 440.0 * i / rate)));
        for (int c = 0; c < channels; ++c)
            putLE(out, static_cast<std::uint16_t>(sample), 2);
    }
    return out;
}

inline void writeTone(const std::string& path, double seconds, int rate = 22050, int channels = 1)
{
    writeBytes(path, toneWav(seconds, rate, channels));
}

// A fresh folder that is the working directory while it lives: the sound layer
// loads files by bare name, as the game does.
class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zenkora-audio-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) == nullptr)
            std::abort();
        path_ = buf.data();
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

template <typename F>
long long elapsedMs(F&& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace audiotest
