#pragma once
// The best score's one-line file: "HighScore=<digits>" in double quotes, CR LF.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/Files.h"

namespace persist {

inline constexpr const char* kHighScoreFile = "h-score.txt";
// Hand-edited files may be long; they are read as far as the images are.
inline constexpr std::size_t kHighScoreCap = platform::kMaxFileBytes;

class BadHighScore : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The value of the last line whose characters 2 to 11 are the key, 0 when none is
// (`recognised` then says false). Lines end at CR LF, a lone CR or a lone LF; a leading
// UTF-8 byte-order mark, as some editors write, is no part of the first line. Throws
// BadHighScore for a matching line whose value is not a decimal 32-bit integer.
std::int32_t parseHighScore(std::string_view content, bool* recognised = nullptr);

// The best the player's high-score file holds, as the game starts. Throws
// platform::LoadError, naming the file and why, when it cannot be read or a matching
// line holds no 32-bit number.
std::int32_t loadBest(platform::Files& files);

// The exact bytes of the file for a value (never negative when written).
std::string formatHighScore(std::int32_t value);

// Records `score` in the high-score file unless the file, read again under the save
// lock, holds a higher best: another copy of the game may have saved one meanwhile.
// The file is replaced whole (through a symbolic link, its target, when that is the
// player's), so that it is always either the old or the new file. Returns the best the
// file holds now, or nothing when it could not be written (nor the lock had in a short
// while) and the old file is left as it was.
std::optional<std::int32_t> saveBest(platform::Files& files, std::int32_t score);

}  // namespace persist
