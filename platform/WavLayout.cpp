#include "platform/WavLayout.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kFloat = 3;
constexpr std::uint16_t kALaw = 6;
constexpr std::uint16_t kMuLaw = 7;
constexpr std::uint16_t kExtensible = 0xFFFE;
// A file with more chunks than this before its samples is not a sound anyone made.
constexpr int kMaxChunks = 64;
constexpr int kMaxChannels = 8;
constexpr std::uint32_t kMinRate = 1000;
constexpr std::uint32_t kMaxRate = 192000;

std::uint32_t le(const unsigned char* p, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

std::optional<SampleCoding> codingOf(std::uint16_t tag, std::uint16_t bits)
{
    switch (tag) {
    case kPcm:
        switch (bits) {
        case 8: return SampleCoding::U8;
        case 16: return SampleCoding::S16LE;
        case 24: return SampleCoding::S24LE;
        case 32: return SampleCoding::S32LE;
        default: return std::nullopt;
        }
    case kFloat: return bits == 32 ? std::optional(SampleCoding::Float32LE) : std::nullopt;
    case kALaw: return bits == 8 ? std::optional(SampleCoding::ALaw) : std::nullopt;
    case kMuLaw: return bits == 8 ? std::optional(SampleCoding::MuLaw) : std::nullopt;
    default: return std::nullopt;
    }
}

}  // namespace

std::optional<WavLayout> readWavLayout(const ReadAt& read, std::uint64_t fileSize)
{
    unsigned char head[12];
    if (fileSize < 12 || read(0, head, 12) != 12)
        return std::nullopt;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return std::nullopt;

    std::optional<WavLayout> layout;
    std::uint64_t at = 12;
    for (int chunk = 0; chunk < kMaxChunks && at + 8 <= fileSize; ++chunk) {
        unsigned char header[8];
        if (read(at, header, 8) != 8)
            return std::nullopt;
        const std::uint64_t size = le(header + 4, 4);
        const std::uint64_t body = at + 8;

        if (std::memcmp(header, "fmt ", 4) == 0) {
            unsigned char fmt[40] = {};
            if (size < 16 || body + 16 > fileSize)
                return std::nullopt;
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof fmt));
            if (read(body, fmt, want) != want)
                return std::nullopt;
            std::uint16_t tag = static_cast<std::uint16_t>(le(fmt, 2));
            const int channels = static_cast<int>(le(fmt + 2, 2));
            const std::uint32_t rate = le(fmt + 4, 4);
            const std::uint32_t blockAlign = le(fmt + 12, 2);
            const std::uint16_t bits = static_cast<std::uint16_t>(le(fmt + 14, 2));
            if (tag == kExtensible) {
                // The real coding is in the first two bytes of the sub-format GUID.
                if (want < 40 || le(fmt + 16, 2) < 22)
                    return std::nullopt;
                tag = static_cast<std::uint16_t>(le(fmt + 24, 2));
            }
            const auto coding = codingOf(tag, bits);
            if (!coding || channels < 1 || channels > kMaxChannels || rate < kMinRate || rate > kMaxRate)
                return std::nullopt;
            if (blockAlign != static_cast<std::uint32_t>(channels) * bits / 8)
                return std::nullopt;
            layout = WavLayout{*coding, channels, rate, blockAlign, 0, 0};
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (!layout)
                return std::nullopt;  // samples before their format
            // Writers that stream set the size to its largest value; the file says how much is there.
            const std::uint64_t present = std::min(size, fileSize - std::min(fileSize, body));
            layout->dataOffset = body;
            layout->dataBytes = present - present % layout->frameBytes;
            return layout;
        }
        at = body + size + (size & 1);
    }
    return std::nullopt;
}

std::optional<WavLayout> readWavLayout(const unsigned char* bytes, std::size_t size)
{
    const ReadAt read = [bytes, size](std::uint64_t offset, void* out, std::size_t n) -> std::size_t {
        if (offset >= size)
            return 0;
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, size - offset));
        std::memcpy(out, bytes + offset, count);
        return count;
    };
    return readWavLayout(read, size);
}

}  // namespace platform
