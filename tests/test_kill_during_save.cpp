// A save killed at any step leaves the best score's file whole, the old line or the new
// one; the next save is not held up by the dead one's lock and removes what it left.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "persist/HighScore.h"
#include "platform/posix/PosixFiles.h"

namespace {

// Stops for good after its n-th call, once it has told the test so.
class StoppingFiles : public platform::PosixFiles {
public:
    StoppingFiles(const std::string& folder, int stopAt, int tell) : PosixFiles(folder), left_(stopAt), tell_(tell) {}
    int createTempBeside(const std::string& t, std::string& n) override { return step(PosixFiles::createTempBeside(t, n)); }
    bool write(int h, const std::string& b) override { return step(PosixFiles::write(h, b)); }
    bool sync(int h) override { return step(PosixFiles::sync(h)); }
    bool close(int h) override { return step(PosixFiles::close(h)); }
    bool rename(const std::string& f, const std::string& t) override { return step(PosixFiles::rename(f, t)); }

private:
    template <typename T>
    T step(T result)
    {
        if (--left_ == 0 && ::write(tell_, "s", 1) == 1)
            for (;;)
                ::pause();
        return result;
    }
    int left_, tell_;
};

TEST(KillDuringSave, FileIsAlwaysTheOldOrTheNewLine)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("zenkora-kill-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    platform::PosixFiles files(dir.string());
    std::string bytes, why;
    const auto entries = [&] { return std::distance(fs::directory_iterator(dir), {}); };
    ASSERT_EQ(persist::saveBest(files, 10), 10);
    // Create, write, sync, close, rename: the calls of a save that holds the lock.
    for (int stopAt = 1, stored = 10; stopAt <= 5; ++stopAt, stored += 2) {
        SCOPED_TRACE(stopAt);
        int tell[2];
        ASSERT_EQ(::pipe(tell), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            StoppingFiles stopping(dir.string(), stopAt, tell[1]);
            ::_exit(persist::saveBest(stopping, stored + 1) ? 0 : 1);
        }
        ::close(tell[1]);
        char told = 0;
        const bool reached = ::read(tell[0], &told, 1) == 1;
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(tell[0]);
        ASSERT_TRUE(reached && WIFSIGNALED(status)) << "the save ended before its call " << stopAt;
        files.read(files.pathOf("h-score.txt"), 64, bytes, why);
        EXPECT_EQ(bytes, persist::formatHighScore(stopAt == 5 ? stored + 1 : stored)) << why;
        // The kill landed inside the save: between creating and renaming, its file is there.
        EXPECT_EQ(entries(), stopAt < 5 ? 2 : 1);
        EXPECT_EQ(persist::saveBest(files, stored + 2), stored + 2);
        EXPECT_EQ(entries(), 1) << "a killed save's file is still there";
    }
    fs::remove_all(dir);
}

}  // namespace
