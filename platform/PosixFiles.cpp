#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
std::string folderOf(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}
}  // namespace

bool PosixFiles::readAll(const std::string& name, std::string& content)
{
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    content.clear();
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);  // a directory fails here with EISDIR
            return false;
        }
        content.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

int PosixFiles::createTempBeside(const std::string& target, std::string& tempName)
{
    std::string pattern = target + ".XXXXXX";
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    tempName = pattern;
    // mkstemp makes 0600; keep what the player's file had, or the usual 0644.
    struct stat st {};
    mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    ::fchmod(fd, mode);
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

bool PosixFiles::close(int handle) { return ::close(handle) == 0; }

bool PosixFiles::rename(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return false;
    // Make the new directory entry itself durable; a failure here loses nothing.
    int dir = ::open(folderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void PosixFiles::remove(const std::string& name) { ::unlink(name.c_str()); }

}  // namespace platform
