#include "persist/HighScore.h"

#include <cstdio>
#include <limits>

#include "platform/Platform.h"

namespace persist {

namespace {

constexpr std::string_view kKey = "HighScore=";

std::int32_t parseValue(std::string_view text)
{
    bool negative = !text.empty() && text.front() == '-';
    std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty())
        throw BadHighScore("high score has no digits");
    std::int64_t value = 0;
    for (char ch : digits) {
        if (ch < '0' || ch > '9')
            throw BadHighScore("high score is not a number");
        value = value * 10 + (ch - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            throw BadHighScore("high score out of range");
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max())
        throw BadHighScore("high score out of range");
    return static_cast<std::int32_t>(value);
}

bool replaceFile(platform::Files& files, const std::string& target, const std::string& bytes)
{
    std::string temp;
    int handle = files.createTempBeside(target, temp);
    if (handle < 0)
        return false;
    bool ok = files.write(handle, bytes) && files.sync(handle);
    ok = files.close(handle) && ok;
    ok = ok && files.rename(temp, target);
    if (!ok)
        files.remove(temp);
    return ok;
}

}  // namespace

std::int32_t parseHighScore(std::string_view content, bool* recognised)
{
    std::int32_t candidate = 0;
    if (recognised)
        *recognised = false;
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    size_t pos = content.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (pos < content.size()) {
        size_t end = content.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = content.size();
        std::string_view line = content.substr(pos, end - pos);
        pos = end;
        if (pos < content.size()) {
            // CR LF counts as one line end.
            pos += (content[pos] == '\r' && pos + 1 < content.size() && content[pos + 1] == '\n') ? 2 : 1;
        }
        if (line.size() < 11 || line.substr(1, kKey.size()) != kKey)
            continue;
        if (line.size() == 11)
            throw BadHighScore("high score line ends after its key");
        // Everything after the key but the line's last character (the closing quote).
        candidate = parseValue(line.substr(11, line.size() - 12));
        if (recognised)
            *recognised = true;
    }
    return candidate;
}

std::int32_t loadBest(platform::Files& files)
{
    const std::string path = files.pathOf(kHighScoreFile);
    std::string content, why;
    if (!files.read(path, kHighScoreCap, content, why))
        throw platform::LoadError("cannot read " + path + ": " + why);
    bool recognised = false;
    std::int32_t best = 0;
    try {
        best = parseHighScore(content, &recognised);
    } catch (const BadHighScore& e) {
        throw platform::LoadError("cannot read " + path + ": " + e.what());
    }
    // A best kept in a form the reader does not know would be lost at the next save.
    if (!recognised && content.find_first_not_of(" \t\r\n") != std::string::npos)
        std::fprintf(stderr, "zenkora: %s has no line \"HighScore=...\"; the best score is read as 0\n", path.c_str());
    return best;
}

std::string formatHighScore(std::int32_t value)
{
    return "\"HighScore=" + std::to_string(value) + "\"\r\n";
}

std::optional<std::int32_t> saveBest(platform::Files& files, std::int32_t score)
{
    // A link stays a link: the file it names is the one replaced, in its own folder.
    const std::string target = files.resolve(files.pathOf(kHighScoreFile));
    if (target.empty())
        return std::nullopt;
    const int lock = files.lock(target);
    if (lock < 0)
        return std::nullopt;
    std::optional<std::int32_t> best;
    std::string content, why;
    if (files.read(target, kHighScoreCap, content, why)) {
        try {
            if (const std::int32_t stored = parseHighScore(content); stored > score)
                best = stored;
        } catch (const BadHighScore&) {
            // A damaged line gives way to the new best.
        }
    }
    if (!best && replaceFile(files, target, formatHighScore(score)))
        best = score;
    files.close(lock);
    return best;
}

}  // namespace persist
