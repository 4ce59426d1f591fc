// libFuzzer target: the sound-file layout reader must never crash, hang or read out
// of bounds, and what it accepts must lie inside the file in whole frames.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/WavLayout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto layout = platform::readWavLayout(data, size);
    if (!layout)
        return 0;
    if (layout->frameBytes == 0 || layout->dataBytes % layout->frameBytes != 0 ||
        layout->dataOffset + layout->dataBytes > size || layout->channels < 1 || layout->rate == 0)
        std::abort();
    return 0;
}
