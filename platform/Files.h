#pragma once
// The game's own files. Replacing a file is split into its steps so that a failure
// at any one of them can be provoked in tests.

#include <cstddef>
#include <string>
#include <utility>

namespace platform {

// Reads a whole regular file of at most `cap` bytes. Never waits: a FIFO, a device or
// a folder is refused, and so is anything larger than `cap`. On failure `why` says
// why in a few words ("no such file", "not a regular file").
bool readRegularFile(const std::string& path, std::size_t cap, std::string& content, std::string& why);

// A failed call's errno in a few words: "no such file", "permission denied".
std::string reasonOf(int error);

// `name` inside `folder`; a bare name when the folder is empty (the working directory).
std::string inFolder(const std::string& folder, const std::string& name);

class Files {
public:
    virtual ~Files() = default;
    // Where the file the game calls `name` is.
    virtual std::string pathOf(const std::string& name) = 0;
    // As readRegularFile.
    virtual bool read(const std::string& path, std::size_t cap, std::string& content, std::string& why) = 0;
    // The file that `path` finally names, through any symbolic links.
    virtual std::string resolve(const std::string& path) = 0;
    // Waits for the lock that lets one save at a time into the folder of `path`;
    // close() releases it. -1 when the folder cannot be opened.
    virtual int lock(const std::string& path) = 0;
    // A new empty file beside `target` with the target's permission bits; -1 when
    // this user may not write the target or the folder.
    virtual int createTempBeside(const std::string& target, std::string& tempName) = 0;
    virtual bool write(int handle, const std::string& bytes) = 0;
    virtual bool sync(int handle) = 0;
    virtual bool close(int handle) = 0;
    // Atomically puts `from` in the place of `to`.
    virtual bool rename(const std::string& from, const std::string& to) = 0;
    virtual void remove(const std::string& path) = 0;
};

// The real thing, on POSIX calls, for the files of one folder.
class PosixFiles : public Files {
public:
    explicit PosixFiles(std::string folder = {}) : folder_(std::move(folder)) {}
    std::string pathOf(const std::string& name) override { return inFolder(folder_, name); }
    bool read(const std::string& path, std::size_t cap, std::string& content, std::string& why) override
    {
        return readRegularFile(path, cap, content, why);
    }
    std::string resolve(const std::string& path) override;
    int lock(const std::string& path) override;
    int createTempBeside(const std::string& target, std::string& tempName) override;
    bool write(int handle, const std::string& bytes) override;
    bool sync(int handle) override;
    bool close(int handle) override;
    bool rename(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;

private:
    std::string folder_;
};

}  // namespace platform
