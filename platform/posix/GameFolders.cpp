#include "platform/posix/GameFolders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/posix/PosixFiles.h"

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

// Root making a player's folder in a folder of theirs gives it to them: the player, and
// root playing for them, save there later. Only what this start has just made.
bool giveTo(int fd, const struct stat& owner)
{
    struct stat st {};
    return owner.st_uid == ::geteuid() || (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && st.st_nlink <= 2 &&
                                           ::fchown(fd, owner.st_uid, owner.st_gid) == 0);
}

// The new folder's one file, made and flushed in a folder nobody else knows yet.
bool writeNew(const std::string& path, const std::string& bytes, const struct stat& owner)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fsync(fd) == 0 &&
                    giveTo(fd, owner);
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

// A new player's folder is made under this name beside its place, then renamed.
constexpr char kMaking[] = ".zenkora-XXXXXX";

// Folders of first starts that were killed before they renamed theirs: an old one is
// nobody's any more. Only what such a start makes is removed.
void removeLeftovers(const std::string& parent, const std::string& seedFile)
{
    DIR* dir = ::opendir(parent.c_str());
    if (!dir)
        return;
    const time_t stale = ::time(nullptr) - kLeftoverAge.count();
    const size_t prefix = sizeof kMaking - 1 - 6;
    struct stat st {};
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strlen(name) != sizeof kMaking - 1 || std::strncmp(name, kMaking, prefix) != 0 ||
            ::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::geteuid() || st.st_mtime >= stale)
            continue;
        const int inside = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (inside >= 0) {
            ::unlinkat(inside, seedFile.c_str(), 0);
            ::close(inside);
        }
        ::unlinkat(::dirfd(dir), name, AT_REMOVEDIR);
    }
    ::closedir(dir);
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

namespace {

// Whether the player's folder is there, made by an earlier start or, since the first
// look, by another copy of the game; `error` tells why not when it cannot be made.
bool folderThere(const std::string& player, int& error)
{
    struct stat st {};
    const auto made = [&] { return ::stat(player.c_str(), &st) == 0 && S_ISDIR(st.st_mode); };
    const bool there = ::stat(player.c_str(), &st) == 0;
    if (there && S_ISDIR(st.st_mode))
        return true;
    const int found = there ? ENOTDIR : errno;
    if (::lstat(player.c_str(), &st) != 0) {
        error = errno == ENOENT ? 0 : errno;
        return false;
    }
    // A link to a folder that is not there (an unmounted disk) is left alone.
    error = S_ISLNK(st.st_mode) ? found : ENOTDIR;
    return made();
}

// The folder appears whole, with its one file, or not at all: a copy of the game started
// at the same moment finds either nothing or both. Made beside its place, then renamed.
int makeWhole(const std::string& player, const std::string& seedFile, const std::string& bytes)
{
    const std::string parent = std::filesystem::path(player).parent_path().string();
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error && !std::filesystem::is_directory(parent))
        return error.value();
    std::string temp = inFolder(parent, kMaking);
    struct stat owner {};
    if (::stat(parent.c_str(), &owner) != 0 || !::mkdtemp(temp.data()))
        return errno;
    const int made = ::open(temp.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const std::string seeded = inFolder(temp, seedFile);
    const bool whole = made >= 0 && giveTo(made, owner) && writeNew(seeded, bytes, owner);
    const int failed = errno;
    ::close(made);
    errno = failed;
    if (whole && ::rename(temp.c_str(), player.c_str()) == 0)
        return 0;
    const int renameError = errno;
    ::unlink(seeded.c_str());
    ::rmdir(temp.c_str());
    return renameError;
}

}  // namespace

bool makePlayerFolder(const GameFolders& folders, const std::string& seedFile, std::string& problem)
{
    const std::string& player = folders.player;
    if (player.empty()) {
        problem = "cannot find the home folder: HOME is not set";
        return false;
    }
    removeLeftovers(std::filesystem::path(player).parent_path().string(), seedFile);
    int error = 0;
    if (folderThere(player, error))
        return true;
    if (error == 0) {
        const std::string initial = inFolder(folders.assets, seedFile);
        std::string bytes, why;
        if (!readRegularFile(initial, kMaxFileBytes, bytes, why)) {
            problem = "cannot read " + initial + ": " + why;
            return false;
        }
        // Another copy may have made it first.
        const int failed = makeWhole(player, seedFile, bytes);
        if (failed == 0 || folderThere(player, error))
            return true;
        error = failed;
    }
    problem = "cannot make " + player + ": " + reasonOf(error);
    return false;
}

}  // namespace platform
