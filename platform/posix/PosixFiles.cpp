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
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <optional>
#include <thread>

namespace platform {

namespace {

// A save's file is the target's name, this mark and six letters: a name no player
// gives a file of theirs.
constexpr const char kTempMark[] = ".saving-";
constexpr size_t kTempLetters = 6;
// As the kernel: a path that goes through more links than this leads nowhere.
constexpr int kMaxLinks = 40;

// A temporary file of a save of `name`.
bool tempOf(const std::string& name, const char* entry)
{
    const std::string base = name + kTempMark;
    if (std::strlen(entry) != base.size() + kTempLetters || std::strncmp(entry, base.c_str(), base.size()) != 0)
        return false;
    for (const char* p = entry + base.size(); *p; ++p)
        if (!std::isalnum(static_cast<unsigned char>(*p)))
            return false;
    return true;
}

// Reads all of `fd`, which it closes, as Files::read.
bool readOpened(int fd, std::size_t cap, std::string& content, std::string& why)
{
    const std::string tooLarge = "larger than " + std::to_string(cap) + " bytes";
    struct stat st {};
    int error = 0;
    size_t done = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        why = "not a regular file";
    else if (static_cast<std::size_t>(st.st_size) > cap)
        why = tooLarge;
    else
        // One byte more than allowed tells a file that grew since fstat.
        for (content.resize(cap + 1); done < content.size();) {
            const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = n < 0 ? errno : 0;
                break;
            }
            done += static_cast<size_t>(n);
        }
    ::close(fd);
    content.resize(done);
    if (error)
        why = reasonOf(error);
    else if (done > cap)
        why = tooLarge;
    return S_ISREG(st.st_mode) && !error && done <= cap && why.empty();
}

// A walk along a path, one entry at a time and never through a link unseen.
struct Walk {
    std::deque<std::string> ahead;
    int at = -1;  // the folder reached
    std::string text;
    uid_t owner = 0;                   // root until another user is met
    std::optional<uid_t> folderOwner;  // the player's folder's: the one the path names the file in
    bool viaLink = false;  // the file's own name came from a link
    bool toMake = false;   // the file is not there yet
    int links = 0;

    ~Walk() { ::close(at); }
    // The first user other than root met on the way is the one the file must belong to.
    void enter(const struct stat& st)
    {
        if (owner == 0)
            owner = st.st_uid;
    }
    void take(const std::string& path)
    {
        std::deque<std::string> parts;
        for (size_t from = 0, slash; from <= path.size(); from = slash + 1) {
            slash = std::min(path.find('/', from), path.size());
            if (slash > from && path.compare(from, slash - from, ".") != 0)
                parts.push_back(path.substr(from, slash - from));
        }
        ahead.insert(ahead.begin(), parts.begin(), parts.end());
    }
    // Starts at the root for an absolute path, else at the working directory.
    bool start(const std::string& path)
    {
        ::close(at);
        text.assign(path.front() == '/' ? 1 : 0, '/');
        at = ::open(text.empty() ? "." : "/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        struct stat st {};
        take(path);
        const bool ok = at >= 0 && ::fstat(at, &st) == 0;
        if (ok)
            enter(st);
        return ok;
    }
    bool follow(int link, const struct stat& st)
    {
        char to[PATH_MAX];
        const ssize_t n = st.st_size < PATH_MAX ? ::readlinkat(link, "", to, sizeof to) : -1;
        if (++links > kMaxLinks || n <= 0 || n == sizeof to)
            return false;
        const std::string target(to, static_cast<size_t>(n));
        if (target.front() != '/') {
            take(target);
            return true;
        }
        std::deque<std::string> rest;
        rest.swap(ahead);
        const bool started = start(target);
        ahead.insert(ahead.end(), rest.begin(), rest.end());
        return started;
    }
    // Goes one entry further: into a folder, through a link, or to the file at the end,
    // whose name it sets then. False when the way is refused.
    bool step(std::string& file)
    {
        const std::string name = ahead.front();
        ahead.pop_front();
        const bool last = ahead.empty();
        struct stat st {};
        if (last && !folderOwner && ::fstat(at, &st) == 0)
            folderOwner = st.st_uid;
        int entry = ::openat(at, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (entry < 0) {
            // Only the file the game names is ever made new, never one a link names.
            toMake = last && errno == ENOENT && !viaLink;
            file = toMake ? name : "";
            return toMake;
        }
        bool ok = ::fstat(entry, &st) == 0;
        if (ok)
            enter(st);
        if (ok && S_ISLNK(st.st_mode)) {
            viaLink = viaLink || last;
            ok = follow(entry, st);
        } else if (ok && last) {
            file = name;
        } else if (ok && S_ISDIR(st.st_mode)) {
            std::swap(at, entry);
            text += name + "/";
        } else {
            ok = false;
        }
        ::close(entry);
        return ok;
    }
};

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
    why.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        why = reasonOf(errno);
        return false;
    }
    return readOpened(fd, cap, content, why);
}

bool PosixFiles::read(const std::string& path, std::size_t cap, std::string& content, std::string& why)
{
    if (held_.folder < 0 || path != held_.path)
        return readRegularFile(path, cap, content, why);
    content.clear();
    why.clear();
    const int fd = ::openat(held_.folder, held_.name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        why = reasonOf(errno);
        return false;
    }
    return readOpened(fd, cap, content, why);
}

std::string PosixFiles::resolve(const std::string& path)
{
    release();
    Walk walk;
    std::string name;
    bool ok = !path.empty() && walk.start(path);
    while (ok && name.empty() && !walk.ahead.empty())
        ok = walk.step(name);
    const int folder = ok && !name.empty() ? ::openat(walk.at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    struct stat st {};
    // The player's folder and the file's are the player's, never root's or another's.
    if (folder < 0 || ::fstat(folder, &st) != 0 || st.st_uid != walk.owner || walk.folderOwner != walk.owner) {
        ::close(folder);
        return {};
    }
    held_ = {folder, walk.text + name, walk.text, name, walk.owner, walk.toMake};
    return held_.path;
}

const PosixFiles::Held* PosixFiles::hold(const std::string& path)
{
    return held_.folder >= 0 && path == held_.path ? &held_ : resolve(path).empty() ? nullptr : &held_;
}

std::string PosixFiles::nameHeld(const std::string& path) const
{
    if (held_.folder < 0 || path.size() <= held_.at.size() || path.compare(0, held_.at.size(), held_.at) != 0 ||
        path.find('/', held_.at.size()) != std::string::npos)
        return {};
    return path.substr(held_.at.size());
}

void PosixFiles::release()
{
    if (held_.folder >= 0)
        ::close(held_.folder);
    held_ = {};
}

int PosixFiles::lock(const std::string& path)
{
    const Held* held = hold(path);
    // A description of its own: the lock goes with it, and the held folder stays open.
    const int fd = held ? ::openat(held->folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (fd < 0)
        return -1;
    lockHandle_ = fd;
    constexpr std::chrono::milliseconds poll{20};
    for (std::chrono::milliseconds waited{0};;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            locked_ = true;
            return fd;
        }
        if (errno == EINTR)
            continue;
        // Where the file system keeps no locks (some network ones), saves go on unlocked.
        if (errno != EWOULDBLOCK)
            return fd;
        if (waited >= kLockPatience) {
            close(fd);
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

namespace {

// The file that is to take the place of `name` in `folder`, as `old` describes it
// (owner, group and bits), under a name of its own; -1 when it cannot be made.
int makeTemp(int folder, const std::string& name, const struct stat& old, std::string& tempName)
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
        tempName = name + kTempMark;
        for (size_t i = 0; i < kTempLetters; ++i)
            tempName += letters[::arc4random_uniform(sizeof letters - 1)];
        fd = ::openat(folder, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return -1;
    }
    // The file keeps its owner and group: the player can still save after root played.
    // Keep the player's bits too, but never setuid, setgid or sticky.
    struct stat made {};
    const bool owned = fd >= 0 && ::fstat(fd, &made) == 0 &&
                       ((made.st_uid == old.st_uid && made.st_gid == old.st_gid) ||
                        ::fchown(fd, old.st_uid, old.st_gid) == 0 || made.st_uid == old.st_uid);
    if (fd >= 0 && (!owned || ::fchmod(fd, old.st_mode & 0777) != 0)) {
        ::close(fd);
        ::unlinkat(folder, tempName.c_str(), 0);
        return -1;
    }
    return fd;
}

}  // namespace

int PosixFiles::createTempBeside(const std::string& target, std::string& tempName)
{
    const Held* held = hold(target);
    if (!held)
        return -1;
    struct stat old {};
    if (::fstatat(held->folder, held->name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
        // Only a regular file of the folder's owner is replaced; one the player took the
        // write permission from has frozen the best score.
        if (!S_ISREG(old.st_mode) || old.st_uid != held->owner ||
            ::faccessat(held->folder, held->name.c_str(), W_OK, AT_EACCESS) != 0)
            return -1;
    } else if (errno != ENOENT || !held->mayMake || ::fstat(held->folder, &old) != 0) {
        return -1;
    } else {
        old.st_mode = 0644;
    }
    std::string name;
    const int fd = makeTemp(held->folder, held->name, old, name);
    if (fd >= 0)
        tempName = held->at + name;
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
    if (handle == lockHandle_) {
        lockHandle_ = -1;
        locked_ = false;
        release();
    }
    return ::close(handle) == 0;
}

bool PosixFiles::rename(const std::string& from, const std::string& to)
{
    const std::string fromName = nameHeld(from);
    if (fromName.empty() || to != held_.path ||
        ::renameat(held_.folder, fromName.c_str(), held_.folder, held_.name.c_str()) != 0)
        return false;
    // Make the new directory entry itself durable; a failure here loses nothing.
    ::fsync(held_.folder);
    const int listed = ::openat(held_.folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!dir) {
        ::close(listed);
        return true;
    }
    // A killed save's file: under the lock any other is one; without it, another copy
    // may be writing its own, so only an old one is.
    const time_t stale = ::time(nullptr) - kLeftoverAge.count();
    struct stat st {};
    while (const dirent* entry = ::readdir(dir))
        if (tempOf(held_.name, entry->d_name) &&
            (locked_ || (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_mtime < stale)))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    ::closedir(dir);
    return true;
}

void PosixFiles::remove(const std::string& path)
{
    if (const std::string name = nameHeld(path); !name.empty())
        ::unlinkat(held_.folder, name.c_str(), 0);
}

}  // namespace platform
