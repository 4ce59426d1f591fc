#include "platform/posix/PosixFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <thread>

namespace platform {

namespace {

// Up to and including the last slash; empty for a bare name.
std::string folderOf(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A save's file is the target's name, this mark and mkstemp's six letters: a name no
// player gives a file of theirs.
constexpr const char kTempMark[] = ".saving-";
constexpr size_t kTempLetters = 6;
// A save takes well under a second: a file of its kind older than this was left by a
// save that was killed, even where no lock tells.
constexpr time_t kStaleSeconds = 60;

// A temporary file of a save of `target`.
bool tempOf(const std::string& target, const char* entry)
{
    const std::string base = target.substr(folderOf(target).size()) + kTempMark;
    if (std::strlen(entry) != base.size() + kTempLetters || std::strncmp(entry, base.c_str(), base.size()) != 0)
        return false;
    for (const char* p = entry + base.size(); *p; ++p)
        if (!std::isalnum(static_cast<unsigned char>(*p)))
            return false;
    return true;
}

}  // namespace

std::string reasonOf(int error)
{
    if (error == ENOENT)
        return "no such file";
    std::string text = std::strerror(error);
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string inFolder(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool readRegularFile(const std::string& path, std::size_t cap, std::string& content, std::string& why)
{
    content.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        why = reasonOf(errno);
        return false;
    }
    const std::string tooLarge = "larger than " + std::to_string(cap) + " bytes";
    struct stat st {};
    bool ok = false;
    if (::fstat(fd, &st) != 0) {
        why = reasonOf(errno);
    } else if (!S_ISREG(st.st_mode)) {
        why = "not a regular file";
    } else if (static_cast<std::size_t>(st.st_size) > cap) {
        why = tooLarge;
    } else {
        // One byte more than allowed tells a file that grew since fstat.
        content.resize(cap + 1);
        size_t done = 0;
        int error = 0;
        while (done < content.size()) {
            const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                error = errno;
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        content.resize(done);
        if (error)
            why = reasonOf(error);
        else if (done > cap)
            why = tooLarge;
        else
            ok = true;
    }
    ::close(fd);
    return ok;
}

std::string PosixFiles::resolve(const std::string& path)
{
    std::string at = path;
    char link[PATH_MAX];
    for (int hop = 0; hop < 40; ++hop) {
        const ssize_t n = ::readlink(at.c_str(), link, sizeof link);
        if (n < 0 && errno == EINVAL)
            return at;  // not a link: the file itself
        if (n < 0 && errno == ENOENT)
            return hop == 0 ? at : std::string();  // only the player's own file is ever made new
        if (n < 0 || n == sizeof link)
            return {};
        const std::string to(link, static_cast<size_t>(n));
        at = to.front() == '/' ? to : folderOf(at) + to;
    }
    return {};
}

int PosixFiles::lock(const std::string& path)
{
    const std::string folder = folderOf(path);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    constexpr std::chrono::milliseconds poll{20};
    for (std::chrono::milliseconds waited{0};;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            lockHandle_ = fd;
            return fd;
        }
        if (errno == EINTR)
            continue;
        // Where the file system keeps no locks (some network ones), saves go on unlocked.
        if (errno != EWOULDBLOCK)
            return fd;
        if (waited >= kLockPatience) {
            ::close(fd);
            return -1;
        }
        waited += pause(std::min(poll, kLockPatience - waited));
    }
}

std::chrono::milliseconds PosixFiles::pause(std::chrono::milliseconds wanted)
{
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(wanted);
    return std::chrono::ceil<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

int PosixFiles::createTempBeside(const std::string& target, std::string& tempName)
{
    // Only what the player owns is replaced, also when root plays: a link into a
    // folder of someone else's is never written through.
    struct stat folder {}, old {};
    if (::stat(folder_.empty() ? "." : folder_.c_str(), &folder) != 0)
        return -1;
    const int probe = ::open(target.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    const bool exists = probe >= 0;
    if (!exists && errno != ENOENT)
        return -1;
    if (exists) {
        const bool stated = ::fstat(probe, &old) == 0;
        ::close(probe);
        if (!stated || !S_ISREG(old.st_mode) || old.st_uid != folder.st_uid)
            return -1;
        // A player who took away the write permission has frozen the best score.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            return -1;
    } else {
        old.st_uid = folder.st_uid;
        old.st_gid = folder.st_gid;
        old.st_mode = 0644;
    }
    std::string pattern = target + kTempMark + std::string(kTempLetters, 'X');
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    // The file keeps its owner and group: the player can still save after root played.
    // mkstemp makes 0600: keep the player's bits instead, but never setuid, setgid or sticky.
    struct stat made {};
    const bool owned = ::fstat(fd, &made) == 0 &&
                       ((made.st_uid == old.st_uid && made.st_gid == old.st_gid) ||
                        ::fchown(fd, old.st_uid, old.st_gid) == 0 || made.st_uid == old.st_uid);
    if (!owned || ::fchmod(fd, old.st_mode & 0777) != 0) {
        ::close(fd);
        ::unlink(pattern.c_str());
        return -1;
    }
    tempName = pattern;
    return fd;
}

bool PosixFiles::write(int handle, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(handle, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool PosixFiles::sync(int handle) { return ::fsync(handle) == 0; }

bool PosixFiles::close(int handle)
{
    if (handle == lockHandle_)
        lockHandle_ = -1;
    return ::close(handle) == 0;
}

bool PosixFiles::rename(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return false;
    const std::string folder = folderOf(to);
    // Make the new directory entry itself durable; a failure here loses nothing.
    if (DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str())) {
        ::fsync(::dirfd(dir));
        // A killed save's file: under the lock any other is one; without it, another
        // copy may be writing its own, so only an old one is.
        const time_t stale = ::time(nullptr) - kStaleSeconds;
        struct stat st {};
        while (const dirent* entry = ::readdir(dir))
            if (tempOf(to, entry->d_name) &&
                (lockHandle_ >= 0 || (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                                      st.st_mtime < stale)))
                ::unlinkat(::dirfd(dir), entry->d_name, 0);
        ::closedir(dir);
    }
    return true;
}

void PosixFiles::remove(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace platform
