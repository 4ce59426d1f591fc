#pragma once
// The game's own files. Replacing a file is split into its steps so that a failure
// at any one of them can be provoked in tests.

#include <cstddef>
#include <string>

namespace platform {

// The largest file the game reads: images and the best score alike are far smaller.
inline constexpr std::size_t kMaxFileBytes = 1024 * 1024;

class Files {
public:
    virtual ~Files() = default;
    // Where the file the game calls `name` is.
    virtual std::string pathOf(const std::string& name) = 0;
    // Reads a whole regular file of at most `cap` bytes, never waiting; on failure
    // `why` says why in a few words ("no such file", "not a regular file").
    virtual bool read(const std::string& path, std::size_t cap, std::string& content, std::string& why) = 0;
    // The file that `path` finally names, through any symbolic links; empty when a
    // link leads nowhere: a save never creates a file at the end of a link.
    virtual std::string resolve(const std::string& path) = 0;
    // Waits a short while at most for the lock that lets one save at a time into the
    // folder of `path`; close() releases it. -1 when it stays taken or the folder
    // cannot be opened.
    virtual int lock(const std::string& path) = 0;
    // A new empty file beside `target` that is to take its place, with the target's
    // owner, group and permission bits. -1 when the target is not the player's to
    // replace (not a regular file, or owned by another than the player's folder) or
    // this user may not write it or its folder.
    virtual int createTempBeside(const std::string& target, std::string& tempName) = 0;
    virtual bool write(int handle, const std::string& bytes) = 0;
    virtual bool sync(int handle) = 0;
    virtual bool close(int handle) = 0;
    // Atomically puts `from` in the place of `to`.
    virtual bool rename(const std::string& from, const std::string& to) = 0;
    virtual void remove(const std::string& path) = 0;
};

}  // namespace platform
