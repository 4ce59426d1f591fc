// libFuzzer target: the high-score reader must never crash, hang or leak, whatever
// a player's editor or a broken disk leaves in the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "persist/HighScore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view content(reinterpret_cast<const char*>(data), size);
    try {
        std::int32_t value = persist::parseHighScore(content);
        // Whatever was read must survive a save and a new start unchanged.
        if (value >= 0 && persist::parseHighScore(persist::formatHighScore(value)) != value)
            std::abort();
    } catch (const persist::BadHighScore&) {
    }
    return 0;
}
