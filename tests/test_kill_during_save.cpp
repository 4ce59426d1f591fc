// A save killed at any moment leaves the best score's file whole: the old line or
// the new one, byte for byte, and never a half line that would stop the next start.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "persist/HighScore.h"

namespace {

TEST(KillDuringSave, FileIsAlwaysTheOldOrTheNewLine)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("zenkora-kill-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / "h-score.txt").string();
    std::mt19937 rng(12345);
    int kills = 0, midSave = 0;
    for (int round = 0; round < 300; ++round) {
        const std::int32_t oldValue = round * 10;
        const std::int32_t newValue = round * 10 + 5;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << persist::formatHighScore(oldValue);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            platform::PosixFiles files;
            // Keep saving the new value so the kill lands inside a save.
            for (;;)
                persist::replaceFile(files, path, persist::formatHighScore(newValue));
        }
        ::usleep(static_cast<useconds_t>(rng() % 3000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ++kills;
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        const std::string bytes = ss.str();
        ASSERT_TRUE(bytes == persist::formatHighScore(oldValue) || bytes == persist::formatHighScore(newValue))
            << "round " << round << ": '" << bytes << "'";
        // Leftover temporaries are harmless to the game but must not pile up unnoticed.
        for (auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename() != "h-score.txt") {
                ++midSave;
                fs::remove(entry.path());
            }
    }
    EXPECT_EQ(kills, 300);
    RecordProperty("killed_inside_a_save", midSave);
    std::cout << "killed " << kills << " times, " << midSave << " of them between creating and renaming\n";
    fs::remove_all(dir);
}

}  // namespace
