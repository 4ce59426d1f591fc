#pragma once
// Where the samples of a RIFF WAVE file are and how they are coded, read from the
// file's chunks without loading the samples: the sound layer streams them from the
// file. Sound files can be replaced by anyone, so the reader trusts no size in them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace platform {

enum class SampleCoding { U8, S16LE, S24LE, S32LE, Float32LE, ALaw, MuLaw };

struct WavLayout {
    SampleCoding coding = SampleCoding::S16LE;
    int channels = 0;
    std::uint32_t rate = 0;
    std::uint32_t frameBytes = 0;
    std::uint64_t dataOffset = 0;  // from the start of the file
    std::uint64_t dataBytes = 0;   // whole frames that are really in the file; may be 0

    std::uint64_t lengthMs() const { return dataBytes / frameBytes * 1000 / rate; }
};

// Reads up to n bytes at offset into out; returns how many it read.
using ReadAt = std::function<std::size_t(std::uint64_t offset, void* out, std::size_t n)>;

// Nothing when the file is not a WAVE file with samples coded in a way the sound
// server plays as they are.
std::optional<WavLayout> readWavLayout(const ReadAt& read, std::uint64_t fileSize);

// The same, for a file already in memory.
std::optional<WavLayout> readWavLayout(const unsigned char* bytes, std::size_t size);

}  // namespace platform
