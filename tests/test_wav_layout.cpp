// The reader of sound-file layouts: sound files can be replaced by anyone, so every
// size in them is checked against the file before a sample is read.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/WavLayout.h"

namespace {

using platform::SampleCoding;
using platform::WavLayout;

void put(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::string chunk(const char* id, const std::string& body, std::uint32_t declared = UINT32_MAX)
{
    std::string out(id, 4);
    put(out, declared == UINT32_MAX ? static_cast<std::uint32_t>(body.size()) : declared, 4);
    out += body;
    if (body.size() % 2)
        out.push_back('\0');
    return out;
}

std::string fmt(std::uint16_t tag, int channels, std::uint32_t rate, int bits, std::uint32_t blockAlign = 0)
{
    std::string f;
    put(f, tag, 2);
    put(f, static_cast<std::uint32_t>(channels), 2);
    put(f, rate, 4);
    const std::uint32_t align = blockAlign ? blockAlign : static_cast<std::uint32_t>(channels * bits / 8);
    put(f, rate * align, 4);
    put(f, align, 2);
    put(f, static_cast<std::uint32_t>(bits), 2);
    return f;
}

std::string riff(const std::string& chunks) { return "RIFF" + std::string(4, '\0') + "WAVE" + chunks; }

std::optional<WavLayout> read(const std::string& file)
{
    return platform::readWavLayout(reinterpret_cast<const unsigned char*>(file.data()), file.size());
}

TEST(WavLayout, FindsTheSamplesPastOtherChunksAndOddPadding)
{
    const std::string file = riff(chunk("LIST", "abc") + chunk("fmt ", fmt(1, 1, 22050, 16)) +
                                  chunk("fact", "1234") + chunk("data", std::string(8820, 'x')));
    const auto layout = read(file);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->coding, SampleCoding::S16LE);
    EXPECT_EQ(layout->channels, 1);
    EXPECT_EQ(layout->rate, 22050u);
    EXPECT_EQ(layout->frameBytes, 2u);
    EXPECT_EQ(layout->dataOffset, file.size() - 8820);
    EXPECT_EQ(layout->dataBytes, 8820u);
    EXPECT_EQ(layout->lengthMs(), 200u);
}

TEST(WavLayout, CodingsTheServerPlaysAsTheyAre)
{
    struct Case {
        std::uint16_t tag;
        int bits;
        SampleCoding coding;
    };
    for (const Case& c : {Case{1, 8, SampleCoding::U8}, Case{1, 24, SampleCoding::S24LE},
                          Case{1, 32, SampleCoding::S32LE}, Case{3, 32, SampleCoding::Float32LE},
                          Case{6, 8, SampleCoding::ALaw}, Case{7, 8, SampleCoding::MuLaw}}) {
        const auto layout = read(riff(chunk("fmt ", fmt(c.tag, 2, 44100, c.bits)) + chunk("data", "")));
        ASSERT_TRUE(layout) << c.tag << "/" << c.bits;
        EXPECT_EQ(layout->coding, c.coding);
        EXPECT_EQ(layout->frameBytes, static_cast<std::uint32_t>(2 * c.bits / 8));
    }
    // Extensible: the coding is the sub-format's.
    std::string ext = fmt(0xFFFE, 2, 48000, 32);
    put(ext, 22, 2);        // extra bytes
    put(ext, 32, 2);        // valid bits
    put(ext, 3, 4);         // channel mask
    put(ext, 3, 2);         // sub-format: float
    ext += std::string(14, '\x11');
    const auto layout = read(riff(chunk("fmt ", ext) + chunk("data", std::string(16, '\0'))));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->coding, SampleCoding::Float32LE);
}

TEST(WavLayout, TrustsNoSizeBeyondTheFile)
{
    // Declared longer than the file, by a streaming writer or by a cut download:
    // only the whole frames that are there.
    const std::string head = riff(chunk("fmt ", fmt(1, 2, 22050, 16)));
    const auto cut = read(head + "data" + std::string("\xFF\xFF\xFF\xFF", 4) + std::string(1003, 's'));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->dataBytes, 1000u);
    // A chunk claiming gigabytes before the samples ends the search, not the program.
    EXPECT_FALSE(read(riff(chunk("fmt ", fmt(1, 1, 22050, 16)) + chunk("junk", "", 0xFFFFFFF0u) +
                           chunk("data", "zz"))));
    EXPECT_FALSE(read("RIFF"));
    EXPECT_FALSE(read(riff(chunk("fmt ", fmt(1, 1, 22050, 16)).substr(0, 20))));
    // A silent file is a layout with no samples; the player decides what that means.
    const auto empty = read(riff(chunk("fmt ", fmt(1, 1, 22050, 16)) + chunk("data", "")));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->dataBytes, 0u);
}

TEST(WavLayout, RefusesWhatIsNotAPlainSound)
{
    const std::string data = chunk("data", std::string(64, '\0'));
    EXPECT_FALSE(read("RIFX" + riff(chunk("fmt ", fmt(1, 1, 22050, 16)) + data).substr(4)));
    EXPECT_FALSE(read(riff(data + chunk("fmt ", fmt(1, 1, 22050, 16)))));  // samples before format
    EXPECT_FALSE(read(riff(chunk("fmt ", fmt(2, 1, 22050, 4)) + data)));   // ADPCM
    EXPECT_FALSE(read(riff(chunk("fmt ", fmt(1, 1, 22050, 12)) + data)));
    EXPECT_FALSE(read(riff(chunk("fmt ", fmt(3, 1, 22050, 64)) + data)));  // doubles
    EXPECT_FALSE(read(riff(chunk("fmt ", fmt(1, 0, 22050, 16)) + data)));
    EXPECT_FALSE(read(riff(chunk("fmt ", fmt(1, 9, 22050, 16)) + data)));
    EXPECT_FALSE(read(riff(chunk("fmt ", fmt(1, 1, 0, 16)) + data)));
    EXPECT_FALSE(read(riff(chunk("fmt ", fmt(1, 1, 1000000, 16)) + data)));
    EXPECT_FALSE(read(riff(chunk("fmt ", fmt(1, 2, 22050, 16, 3)) + data)));  // frame size lies
    EXPECT_FALSE(read(riff(chunk("fmt ", fmt(0xFFFE, 1, 22050, 16)) + data)));  // extensible, cut short
    std::string many;
    for (int i = 0; i < 70; ++i)
        many += chunk("pad ", "");
    EXPECT_FALSE(read(riff(chunk("fmt ", fmt(1, 1, 22050, 16)) + many + data)));
}

}  // namespace
