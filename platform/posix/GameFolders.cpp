#include "platform/posix/GameFolders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "persist/HighScore.h"
#include "platform/Files.h"

#ifndef ZENKORA_ASSETS_FROM_BIN
#define ZENKORA_ASSETS_FROM_BIN "../share/zenkora"
#endif

namespace platform {

namespace {

bool absolute(const char* path) { return path && path[0] == '/'; }

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); absolute(home))
        return home;
    const passwd* user = ::getpwuid(::getuid());
    return user && absolute(user->pw_dir) ? user->pw_dir : "";
}

// The new folder's one file, made and flushed in a folder nobody else knows yet.
bool writeNew(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

}  // namespace

std::string GameFolders::locate(const std::string& bareName) const
{
    const std::string own = inFolder(player, bareName);
    struct stat st {};
    return ::lstat(own.c_str(), &st) == 0 ? own : inFolder(assets, bareName);
}

GameFolders findGameFolders()
{
    GameFolders folders;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::string data = absolute(xdg) ? xdg : homeFolder();
    if (!absolute(xdg) && !data.empty())
        data += "/.local/share";
    if (!data.empty())
        folders.player = inFolder(data, "zenkora");
    // The installed tree keeps its shape wherever it is moved.
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        folders.assets = (program.parent_path() / ZENKORA_ASSETS_FROM_BIN).lexically_normal().string();
    return folders;
}

bool makePlayerFolder(const GameFolders& folders, std::string& problem)
{
    const std::string& player = folders.player;
    if (player.empty()) {
        problem = "cannot find the home folder: HOME is not set";
        return false;
    }
    const auto fail = [&](int error) {
        problem = "cannot make " + player + ": " + reasonOf(error);
        return false;
    };
    struct stat st {};
    const int found = ::stat(player.c_str(), &st) == 0 ? 0 : errno;
    if (found == 0 && S_ISDIR(st.st_mode))
        return true;
    // A link to a folder that is not there (an unmounted disk) is left alone.
    if (found != ENOENT || ::lstat(player.c_str(), &st) == 0)
        return fail(found == 0 ? ENOTDIR : found);

    const std::string initial = inFolder(folders.assets, persist::kHighScoreFile);
    std::string bytes, why;
    if (!readRegularFile(initial, persist::kHighScoreCap, bytes, why)) {
        problem = "cannot read " + initial + ": " + why;
        return false;
    }
    // The folder appears whole, with its h-score.txt, or not at all: a copy of the game
    // started at the same moment finds either nothing or both.
    const std::string parent = std::filesystem::path(player).parent_path().string();
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error)
        return fail(error.value());
    std::string temp = parent + "/.zenkora-XXXXXX";
    if (!::mkdtemp(temp.data()))
        return fail(errno);
    const std::string seeded = inFolder(temp, persist::kHighScoreFile);
    if (writeNew(seeded, bytes) && ::rename(temp.c_str(), player.c_str()) == 0)
        return true;
    const int renameError = errno;
    ::unlink(seeded.c_str());
    ::rmdir(temp.c_str());
    // Another copy made it first.
    if (::stat(player.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    return fail(renameError);
}

}  // namespace platform
