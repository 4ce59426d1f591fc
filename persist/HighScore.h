#pragma once
// The best score's one-line file: "HighScore=<digits>" in double quotes, CR LF.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/Files.h"

namespace persist {

inline constexpr const char* kHighScoreFile = "h-score.txt";

class BadHighScore : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The value of the last line whose characters 2 to 11 are the key, 0 when none is.
// Lines end at CR LF, a lone CR or a lone LF. Throws BadHighScore for a matching
// line whose value is not a decimal 32-bit integer.
std::int32_t parseHighScore(std::string_view content);

// The exact bytes of the file for a value (never negative when written).
std::string formatHighScore(std::int32_t value);

// Replaces `name` with `bytes` so that it is always either the old or the new file.
// On failure the old file is left as it was and false is returned.
bool replaceFile(platform::Files& files, const std::string& name, const std::string& bytes);

}  // namespace persist
