#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>

#include "fakes/FakePlatform.h"
#include "persist/HighScore.h"
#include "platform/posix/PosixFiles.h"

namespace fs = std::filesystem;
using persist::formatHighScore;
using persist::parseHighScore;
using persist::saveBest;

namespace {

TEST(HighScoreReader, ReadsWhatPlayersAndEditorsLeaveBehind)
{
    // No value: the start must fail.
    const struct { const char* what; std::string content; std::optional<std::int32_t> value; } cases[] = {
        {"written form", "\"HighScore=120\"\r\n", 120},
        {"empty file", "", 0},
        {"LF, CR, CR LF or none end a line; the last wins", "\"HighScore=1\"\n\"HighScore=2\"\r\n\"HighScore=3\"\r\"HighScore=4\"", 4},
        {"other lines ignored", "hello\r\n\r\n\"HighScore=5\"\r\n# note\r\n", 5},
        {"no leading quote does not match", "HighScore=120\"\r\n", 0},
        {"lost closing quote loses a digit", "\"HighScore=120\r\n", 12},
        {"first and last character never examined", "xHighScore=42y", 42},
        {"an editor's byte-order mark", "\xEF\xBB\xBF\"HighScore=500\"\r\n", 500},
        {"negative read unchanged", "\"HighScore=-5\"\r\n", -5},
        {"largest", "\"HighScore=2147483647\"", 2147483647},
        {"smallest", "\"HighScore=-2147483648\"", -2147483647 - 1},
        {"12 chars: empty value", "\"HighScore=\"\r\n", std::nullopt},
        {"11 chars: nothing after key", "\"HighScore=\r\n", std::nullopt},
        {"letters", "\"HighScore=12a\"\r\n", std::nullopt},
        {"too large", "\"HighScore=2147483648\"\r\n", std::nullopt},
        {"huge", "\"HighScore=99999999999999999999999\"\r\n", std::nullopt},
        {"bad line before a good one still fails", "\"HighScore=x1\"\r\n\"HighScore=10\"\r\n", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.value)
            EXPECT_EQ(parseHighScore(c.content), *c.value);
        else
            EXPECT_THROW(parseHighScore(c.content), persist::BadHighScore);
    }
}

TEST(HighScoreWriter, WritesTheExactBytes)
{
    EXPECT_EQ(formatHighScore(0), std::string("\x22HighScore=0\x22\x0D\x0A"));
    EXPECT_EQ(formatHighScore(120), "\x22\x48\x69\x67\x68\x53\x63\x6F\x72\x65\x3D\x31\x32\x30\x22\x0D\x0A");
}

// A failure at any step of a save leaves the old bytes and nothing else.
TEST(HighScoreWriter, FailureAtEveryStepKeepsTheOldFile)
{
    using Step = fake::FakeFiles::Step;
    for (Step step : {Step::Lock, Step::Create, Step::Write, Step::Sync, Step::Close, Step::Rename, Step::None}) {
        SCOPED_TRACE(static_cast<int>(step));
        fake::FakePlatform p;  // h-score.txt holds 0
        p.files.failAt = step;
        const bool saved = step == Step::None;
        EXPECT_EQ(saveBest(p.files, 900), saved ? std::optional(900) : std::nullopt);
        EXPECT_EQ(p.files.files, (std::map<std::string, std::string>{{"h-score.txt", formatHighScore(saved ? 900 : 0)}}));
    }
}

class PosixHighScoreFile : public ::testing::Test {
protected:
    void SetUp() override { fs::remove_all(dir), fs::create_directories(dir / "synced"); }
    void TearDown() override { fs::remove_all(dir); }
    std::string slurp(const fs::path& file) { return files.read(file, 64, content, why) ? content : why; }
    std::string content, why;
    const fs::path dir = fs::temp_directory_path() / ("zenkora-hs-" + std::to_string(::getpid()));
    const fs::path path = dir / "h-score.txt";
    platform::PosixFiles files{dir.string()};
};

// A link stays a link, its target replaced in the target's own folder, with the
// target's permission bits but never setuid, setgid or sticky; nothing is left over.
TEST_F(PosixHighScoreFile, ReplacesTheFileItselfWithItsBits)
{
    std::ofstream(dir / "synced" / "best") << formatHighScore(7);
    ::chmod((dir / "synced" / "best").c_str(), 07640);
    fs::create_symlink("synced/best", path);
    ASSERT_EQ(saveBest(files, 300), 300);
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(slurp(path), formatHighScore(300));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "synced"), {}), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2);
    // Nothing but a regular file is replaced.
    fs::remove(path), ::mkfifo(path.c_str(), 0644);
    EXPECT_EQ(saveBest(files, 400), std::nullopt);
    EXPECT_TRUE(fs::is_fifo(path));
}

// Reading never waits and never swallows more than its cap.
TEST_F(PosixHighScoreFile, ReadsOnlyRegularFilesWithinTheirCap)
{
    ::mkfifo((dir / "fifo").c_str(), 0644);
    fs::create_symlink("/dev/zero", dir / "zero");
    std::ofstream(dir / "giant").close();
    fs::resize_file(dir / "giant", 1ULL << 30);
    std::ofstream(dir / "small") << formatHighScore(5);
    for (const char* name : {"fifo", "zero", "synced"})
        EXPECT_EQ(slurp(dir / name), "not a regular file") << name;
    EXPECT_EQ(slurp(dir / "giant"), "larger than 64 bytes");
    EXPECT_EQ(slurp(dir / "none"), "no such file");
    EXPECT_EQ(slurp(dir / "small"), formatHighScore(5));
}

// Two copies of the game saving at once: no best is ever replaced by a lower one.
TEST_F(PosixHighScoreFile, TwoCopiesSavingAtOnceNeverLoseABest)
{
    pid_t copies[2];
    for (int first : {0, 1}) {
        if ((copies[first] = ::fork()) == 0) {
            for (int value = first, tries = 0; value < 400; value += 2) {
                // On a busy machine a save may give up waiting for the other's; it loses nothing.
                while (!saveBest(files, value))
                    if (++tries == 20)
                        ::_exit(1);
                if (!files.read(path, 64, content, why) || parseHighScore(content) < value)
                    ::_exit(1);
            }
            ::_exit(0);
        }
    }
    for (pid_t copy : copies) {
        int status = -1;
        EXPECT_TRUE(::waitpid(copy, &status, 0) == copy && status == 0);
    }
    EXPECT_EQ(slurp(path), formatHighScore(399));
}

// Another copy holding the lock past the patience of a save: the save gives up after
// 2 s at most, and the file keeps its best. No time passes here: the pauses are counted.
TEST_F(PosixHighScoreFile, WaitsForTheLockTwoSecondsAtMost)
{
    struct CountingFiles : platform::PosixFiles {
        using PosixFiles::PosixFiles;
        std::chrono::milliseconds pause(std::chrono::milliseconds wanted) override
        {
            waited += wanted;
            if (waited > kLockPatience)
                ::flock(held, LOCK_UN);  // an endless wait would now save after all
            return wanted;
        }
        std::chrono::milliseconds waited{0};
        int held = -1;
    } counting{dir.string()};
    ASSERT_EQ(saveBest(files, 10), 10);
    counting.held = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(counting.held, LOCK_EX), 0);
    EXPECT_EQ(saveBest(counting, 20), std::nullopt);
    EXPECT_EQ(counting.waited, platform::PosixFiles::kLockPatience);
    EXPECT_EQ(slurp(path), formatHighScore(10));
    ::close(counting.held);
    EXPECT_EQ(saveBest(counting, 20), 20);
}

// Without a lock (a file system that keeps none), a save removes only the files that
// killed saves left long ago, never one another copy may be writing now.
TEST_F(PosixHighScoreFile, WithoutALockOnlyOldLeftoversAreRemoved)
{
    struct UnlockedFiles : platform::PosixFiles {
        using PosixFiles::PosixFiles;
        int lock(const std::string&) override { return ::open("/", O_RDONLY | O_CLOEXEC); }
    } unlocked{dir.string()};
    const fs::path fresh = dir / "h-score.txt.saving-Ab12cd", old = dir / "h-score.txt.saving-Zz99zz";
    std::ofstream(fresh).close(), std::ofstream(old).close();
    fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::minutes(2));
    ASSERT_EQ(saveBest(unlocked, 5), 5);
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_FALSE(fs::exists(old));
}

// Root playing: a link is followed only to a file of the owner of the player's folder
// and of its own, a link to nowhere makes nothing, and the player's file keeps its
// owner, group and bits, so that the player (uid 65534 here) saves after root did.
TEST_F(PosixHighScoreFile, AsRootOnlyThePlayersOwnFileIsWritten)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    const fs::path theirs = dir / "synced" / "theirs";
    std::ofstream(theirs) << "root:x:0:0\n";
    ASSERT_EQ(::chown(theirs.c_str(), 4343, 4343) | ::chown(theirs.parent_path().c_str(), 65534, 65534) |
                  ::chown(dir.c_str(), 65534, 65534), 0);
    for (const fs::path& to : {theirs, dir / "synced" / "nowhere"}) {
        fs::remove(path), fs::create_symlink(to, path);
        EXPECT_EQ(saveBest(files, 3060), std::nullopt) << to;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "synced"), {}), 1);
    // Root's folder among the player's is not the player's: its link leads nowhere.
    fs::create_directory(dir / "roots");
    fs::create_symlink(theirs, dir / "roots" / "h-score.txt");
    platform::PosixFiles roots{(dir / "roots").string()};
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    EXPECT_EQ(saveBest(roots, 3060), std::nullopt);
    EXPECT_EQ(slurp(theirs), "root:x:0:0\n");

    fs::remove(path);
    std::ofstream(path) << formatHighScore(1);
    ::chmod(path.c_str(), 0640);
    ::chmod(dir.c_str(), 0755);
    ASSERT_EQ(::chown(dir.c_str(), 65534, 65534) | ::chown(path.c_str(), 65534, 65534), 0);
    ASSERT_EQ(saveBest(files, 2), 2);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    const pid_t player = ::fork();
    if (player == 0) {
        // From inside the folder: the folders above it may be closed to the player.
        platform::PosixFiles here;
        ::_exit(::chdir(dir.c_str()) | ::setgroups(0, nullptr) | ::setresgid(65534, 65534, 65534) |
                    ::setresuid(65534, 65534, 65534) ||
                saveBest(here, 3) != 3);
    }
    int status = -1;
    EXPECT_TRUE(::waitpid(player, &status, 0) == player && status == 0) << "the player could not save after root";
}

// Root saving while the player (uid 65534) swaps a folder on the way to their file with
// a link to root's as fast as they can, or with the player's folder itself a link to
// another user's: nothing outside the player's folders is made, replaced or left over.
TEST_F(PosixHighScoreFile, AsRootNoTurnOfThePathLeadsIntoAnothersFolder)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    const fs::path mine = dir / "mine", theirs = dir / "synced", best = theirs / "h-score.txt";
    fs::create_directories(mine / "y");
    std::ofstream(mine / "y" / "h-score.txt") << formatHighScore(0);
    fs::create_directory_symlink(theirs, mine / "z");
    fs::create_symlink("y/h-score.txt", mine / "h-score.txt");
    fs::create_directory_symlink(theirs, dir / "linked");
    for (const fs::path& p : {mine, mine / "y", mine / "y" / "h-score.txt", mine / "z", mine / "h-score.txt", dir / "linked"})
        ASSERT_EQ(::lchown(p.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(theirs.c_str(), 4343, 4343), 0);
    platform::PosixFiles linked{(dir / "linked").string()}, flipped{mine.string()};
    EXPECT_EQ(saveBest(linked, 3060), std::nullopt);
    EXPECT_TRUE(fs::is_empty(theirs));

    // Root's folder, with a file that is the player's: it must stay all the same.
    std::ofstream(best) << formatHighScore(5);
    struct stat was {}, now {};
    ASSERT_EQ(::chown(theirs.c_str(), 0, 0) | ::chown(best.c_str(), 65534, 65534) | ::stat(best.c_str(), &was), 0);
    const auto untouched = [&] {
        return std::distance(fs::directory_iterator(theirs), {}) == 1 && ::stat(best.c_str(), &now) == 0 &&
               now.st_ino == was.st_ino && now.st_mtime == was.st_mtime;
    };
    const pid_t player = ::fork();
    if (player == 0) {
        // From inside the folder: the folders above it may be closed to the player.
        if (::chdir(mine.c_str()) | ::setgroups(0, nullptr) | ::setresgid(65534, 65534, 65534) |
            ::setresuid(65534, 65534, 65534))
            ::_exit(1);
        for (;;)
            ::renameat2(AT_FDCWD, "y", AT_FDCWD, "z", RENAME_EXCHANGE);
    }
    int touched = 0;
    for (int score = 1; score <= 400; ++score)
        saveBest(flipped, score), touched += !untouched();
    ::kill(player, SIGKILL);
    ::waitpid(player, nullptr, 0);
    EXPECT_EQ(touched, 0) << "of 400 saves, so many ended with root's folder changed";
}

// Whatever the file holds within its cap is read to its end; beyond the cap the start
// fails at once. A best kept in a form the reader does not know is read as 0, and the
// player is told.
TEST(HighScoreInGame, StartUpReadsLongFilesAndSaysWhenItReadsNoBest)
{
    std::string counted, late(3000, '\n');
    for (int value = 1; value <= 400; ++value)
        counted += formatHighScore(value);
    late += formatHighScore(120);
    const struct { std::string content; const char* label; } cases[] = {
        {counted, " 400"}, {late, " 120"}, {"HighScore=500\r\n", " 0"}, {std::string(1 << 20, '\n') + "x", nullptr}};
    ::testing::internal::CaptureStderr();
    for (const auto& c : cases) {
        fake::Game g(false);
        g.p.files.files["h-score.txt"] = c.content;
        EXPECT_EQ(g.f.Form_Load(), c.label != nullptr);
        EXPECT_EQ(g.caption(platform::Control::lblHighScore), c.label ? c.label : "");
    }
    const std::string told = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("zenkora: h-score.txt has no line \"HighScore=...\"; the best score is read as 0\n"), told.npos);
    EXPECT_GT(counted.size(), 6000u);
}

TEST(HighScoreInGame, OnlyANewBestReachesTheFile)
{
    fake::Game g(false);
    const std::string marked = "\xEF\xBB\xBF\"HighScore=500\"\r\n";
    g.p.files.files["h-score.txt"] = marked;
    ASSERT_TRUE(g.f.Form_Load());
    const size_t loaded = g.p.log.lines.size();
    const auto save = [&](std::int32_t score) { return g.f.score = score, g.f.SaveHighScore(); };
    // A read-only file is no reason for a warning after a game that set no record.
    g.p.files.failAt = fake::FakeFiles::Step::Create;
    EXPECT_TRUE(save(-20));
    EXPECT_TRUE(save(280));
    g.f.score = 499;
    g.f.GameOver();
    EXPECT_EQ(g.p.log.since(loaded, "file").size(), 0u) << "a losing score must not touch the file";
    EXPECT_EQ(g.p.files.files["h-score.txt"], marked);
    EXPECT_EQ(g.caption(platform::Control::lblHighScore), " 500");
    EXPECT_EQ(g.p.boxes.size(), 1u);
    g.p.files.failAt = fake::FakeFiles::Step::None;
    EXPECT_TRUE(save(500));  // equal rewrites the same value
    EXPECT_EQ(g.p.log.since(loaded, "file rename").size(), 1u);

    // Another copy of the game saved a higher best meanwhile: it stays, and shows.
    g.p.files.files["h-score.txt"] = formatHighScore(3200);
    EXPECT_TRUE(save(640));
    EXPECT_EQ(g.f.highScore, 3200);
    EXPECT_EQ(g.caption(platform::Control::lblHighScore), " 3200");
    EXPECT_EQ(g.p.files.files["h-score.txt"], formatHighScore(3200));
}

// Ended from outside while the game-over box is up (a logout), the new best is saved
// there and once only; at any other time nothing is.
TEST(HighScoreInGame, ABestPendingBehindTheGameOverBoxIsSavedOnTheWayOut)
{
    fake::Game g;
    g.f.SavePendingBest();
    std::string inBox;
    g.p.whileBox = [&] { g.f.SavePendingBest(), g.f.SavePendingBest(), inBox = g.p.files.files["h-score.txt"]; };
    g.f.score = 700;
    g.f.GameOver();
    EXPECT_EQ(inBox, formatHighScore(700));
    EXPECT_EQ(g.p.log.since(0, "file lock").size(), 1u);
}

}  // namespace
