#pragma once
// The game's files on POSIX calls.

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>

#include <sys/types.h>

#include "platform/Files.h"

namespace platform {

// A save takes well under a second: what a save or a first start of the game made and
// left for longer than this was left by one that was killed, even where no lock tells.
inline constexpr std::chrono::seconds kLeftoverAge{60};

// As Files::read: a FIFO, a device or a folder is refused, and so is anything
// larger than `cap`.
bool readRegularFile(const std::string& path, std::size_t cap, std::string& content, std::string& why);

// A failed call's errno in a few words: "no such file", "permission denied".
std::string reasonOf(int error);

// `name` inside `folder`; a bare name when the folder is empty (the working directory).
std::string inFolder(const std::string& folder, const std::string& name);

// The files of one folder, the player's. A save is made in the folder that resolve()
// found, walking one entry at a time, and holds open, whatever becomes of the path
// meanwhile. The player's folder, the file and its folder must belong to the first
// user other than root that the walk met, the player: a folder or link of theirs
// never hands the save to another user's folder, nor to root's. So root playing for a
// player writes nothing the player could not write themselves, through links or
// folders swapped mid-save.
class PosixFiles : public Files {
public:
    // A save that waits longer for another's gives up: the window would stop answering.
    static constexpr std::chrono::milliseconds kLockPatience{2000};

    explicit PosixFiles(std::string folder = {}) : folder_(std::move(folder)) {}
    PosixFiles(const PosixFiles&) = delete;
    PosixFiles& operator=(const PosixFiles&) = delete;
    ~PosixFiles() override { release(); }
    std::string pathOf(const std::string& name) override { return inFolder(folder_, name); }
    bool read(const std::string& path, std::size_t cap, std::string& content, std::string& why) override;
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
    // The folder of the file a save replaces, open from resolve() to the lock's close.
    struct Held {
        int folder = -1;
        std::string path;   // as resolve() returned it: `at` and `name`
        std::string at;     // the folder's path as walked, ending in a slash
        std::string name;   // the file's name in it
        uid_t owner = 0;    // whose the folder and the file are
        bool mayMake = false;  // no file there yet, and none named by a link
    };
    // The held folder for `path`, resolving it first when it is another's; null when none.
    const Held* hold(const std::string& path);
    // The name in the held folder of a file `path` names there; empty when it is elsewhere.
    std::string nameHeld(const std::string& path) const;
    void release();

    std::string folder_;
    Held held_;
    int lockHandle_ = -1;  // from lock() until its close()
    bool locked_ = false;  // the lock is really held: the file system keeps locks
};

}  // namespace platform
