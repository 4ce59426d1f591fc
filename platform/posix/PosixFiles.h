#pragma once
// The game's files on POSIX calls.

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>

#include "platform/Files.h"

namespace platform {

// As Files::read: a FIFO, a device or a folder is refused, and so is anything
// larger than `cap`.
bool readRegularFile(const std::string& path, std::size_t cap, std::string& content, std::string& why);

// A failed call's errno in a few words: "no such file", "permission denied".
std::string reasonOf(int error);

// `name` inside `folder`; a bare name when the folder is empty (the working directory).
std::string inFolder(const std::string& folder, const std::string& name);

// The files of one folder, the player's.
class PosixFiles : public Files {
public:
    // A save that waits longer for another's gives up: the window would stop answering.
    static constexpr std::chrono::milliseconds kLockPatience{2000};

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

protected:
    // Sleeps between tries of a taken lock; returns the time that passed.
    virtual std::chrono::milliseconds pause(std::chrono::milliseconds wanted);

private:
    std::string folder_;
    int lockHandle_ = -1;  // the folder's lock, when held
};

}  // namespace platform
