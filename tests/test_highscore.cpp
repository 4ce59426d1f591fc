#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "fakes/FakePlatform.h"
#include "persist/HighScore.h"

using persist::BadHighScore;
using persist::formatHighScore;
using persist::parseHighScore;

namespace {

struct ReadCase {
    const char* what;
    std::string content;
    std::optional<std::int32_t> value;  // nullopt: the start must fail
};

TEST(HighScoreReader, ReadsWhatPlayersAndEditorsLeaveBehind)
{
    const ReadCase cases[] = {
        {"written form", "\"HighScore=120\"\r\n", 120},
        {"zero", "\"HighScore=0\"\r\n", 0},
        {"empty file", "", 0},
        {"lone CR", "\"HighScore=77\"\r", 77},
        {"lone LF", "\"HighScore=77\"\n", 77},
        {"no line end", "\"HighScore=77\"", 77},
        {"mixed line ends, last wins", "\"HighScore=1\"\n\"HighScore=2\"\r\"HighScore=3\"\r\n", 3},
        {"other lines ignored", "hello\r\n\r\n\"HighScore=5\"\r\n# note\r\n", 5},
        {"no leading quote does not match", "HighScore=120\"\r\n", 0},
        {"lost closing quote loses a digit", "\"HighScore=120\r\n", 12},
        {"first and last character never examined", "xHighScore=42y", 42},
        {"key is case-sensitive", "\"highscore=9\"\r\n", 0},
        {"short lines skipped", "\"HighScore\r\nab\r\n", 0},
        {"negative read unchanged", "\"HighScore=-5\"\r\n", -5},
        {"largest", "\"HighScore=2147483647\"", 2147483647},
        {"smallest", "\"HighScore=-2147483648\"", -2147483647 - 1},
        {"12 chars: empty value", "\"HighScore=\"\r\n", std::nullopt},
        {"11 chars: nothing after key", "\"HighScore=\r\n", std::nullopt},
        {"letters", "\"HighScore=12a\"\r\n", std::nullopt},
        {"blank inside", "\"HighScore= 12\"\r\n", std::nullopt},
        {"plus sign", "\"HighScore=+12\"\r\n", std::nullopt},
        {"fraction", "\"HighScore=1.5\"\r\n", std::nullopt},
        {"lone minus", "\"HighScore=-\"\r\n", std::nullopt},
        {"too large", "\"HighScore=2147483648\"\r\n", std::nullopt},
        {"too small", "\"HighScore=-2147483649\"\r\n", std::nullopt},
        {"huge", "\"HighScore=99999999999999999999999\"\r\n", std::nullopt},
        {"bad line before a good one still fails", "\"HighScore=x1\"\r\n\"HighScore=10\"\r\n", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.value) {
            EXPECT_EQ(parseHighScore(c.content), *c.value);
        } else {
            EXPECT_THROW(parseHighScore(c.content), BadHighScore);
        }
    }
}

TEST(HighScoreWriter, WritesTheExactBytes)
{
    EXPECT_EQ(formatHighScore(0), std::string("\x22HighScore=0\x22\x0D\x0A"));
    EXPECT_EQ(formatHighScore(0).size(), 15u);
    const std::string bytes120 = "\x22\x48\x69\x67\x68\x53\x63\x6F\x72\x65\x3D\x31\x32\x30\x22\x0D\x0A";
    EXPECT_EQ(formatHighScore(120), bytes120);
    EXPECT_EQ(parseHighScore(formatHighScore(40960)), 40960);
}

// A failure at any step of a save leaves the old bytes and says so.
TEST(HighScoreWriter, FailureAtEveryStepKeepsTheOldFile)
{
    using Step = fake::FakeFiles::Step;
    for (Step step : {Step::Create, Step::Write, Step::Sync, Step::Close, Step::Rename}) {
        SCOPED_TRACE(static_cast<int>(step));
        fake::Log log;
        fake::FakeFiles files(log);
        files.files["h-score.txt"] = formatHighScore(50);
        files.failAt = step;
        EXPECT_FALSE(persist::replaceFile(files, "h-score.txt", formatHighScore(900)));
        EXPECT_EQ(files.files["h-score.txt"], formatHighScore(50));
        EXPECT_EQ(files.files.size(), 1u) << "the temporary file is left behind";
    }
    fake::Log log;
    fake::FakeFiles files(log);
    files.files["h-score.txt"] = formatHighScore(50);
    EXPECT_TRUE(persist::replaceFile(files, "h-score.txt", formatHighScore(900)));
    EXPECT_EQ(files.files["h-score.txt"], formatHighScore(900));
    EXPECT_EQ(log.lines, (std::vector<std::string>{"file create", "file write", "file sync", "file close",
                                                   "file rename"}));
}

class PosixHighScoreFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("zenkora-hs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        path = (dir / "h-score.txt").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string slurp()
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::filesystem::path dir;
    std::string path;
    platform::PosixFiles files;
};

TEST_F(PosixHighScoreFile, ReplacesInPlaceWithNothingLeftOver)
{
    std::ofstream(path, std::ios::binary) << "\"HighScore=7\"\r\nold junk\r\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    ASSERT_TRUE(persist::replaceFile(files, path, formatHighScore(120)));
    EXPECT_EQ(slurp(), formatHighScore(120));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
    auto perms = std::filesystem::status(path).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
}

TEST_F(PosixHighScoreFile, ReadFailsOnMissingFileAndDirectory)
{
    std::string content;
    EXPECT_FALSE(files.readAll(path, content));
    std::filesystem::create_directory(path);
    EXPECT_FALSE(files.readAll(path, content));
    // A directory where the file should be cannot be replaced either.
    EXPECT_FALSE(persist::replaceFile(files, path, formatHighScore(1)));
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(PosixHighScoreFile, ReplaceFailsInAFolderThatIsGone)
{
    std::string gone = (dir / "missing" / "h-score.txt").string();
    EXPECT_FALSE(persist::replaceFile(files, gone, formatHighScore(1)));
}

// ---- the window's side: label and file kept in step

TEST(HighScoreInGame, StartUpShowsTheStoredBestSigned)
{
    fake::Game g(false);
    g.p.files.files["h-score.txt"] = formatHighScore(120);
    ASSERT_TRUE(g.f.Form_Load());
    EXPECT_EQ(g.f.highScore, 120);
    EXPECT_EQ(g.caption(platform::Control::lblHighScore), " 120");

    fake::Game n(false);
    n.p.files.files["h-score.txt"] = "\"HighScore=-5\"\r\n";
    ASSERT_TRUE(n.f.Form_Load());
    EXPECT_EQ(n.caption(platform::Control::lblHighScore), "-5");
}

TEST(HighScoreInGame, SaveOnlyWhenTheScoreQualifies)
{
    fake::Game g(false);
    g.p.files.files["h-score.txt"] = formatHighScore(100);
    ASSERT_TRUE(g.f.Form_Load());

    g.f.score = -20;
    EXPECT_TRUE(g.f.SaveHighScore());
    g.f.score = 99;
    EXPECT_TRUE(g.f.SaveHighScore());
    EXPECT_EQ(g.p.log.since(0, "file").size(), 0u) << "a losing score must not touch the file";
    EXPECT_EQ(g.caption(platform::Control::lblHighScore), " 100");

    g.f.score = 100;  // equal rewrites the same value
    EXPECT_TRUE(g.f.SaveHighScore());
    EXPECT_EQ(g.p.files.files["h-score.txt"], formatHighScore(100));
    EXPECT_EQ(g.p.log.since(0, "file rename").size(), 1u);

    g.f.score = 640;
    EXPECT_TRUE(g.f.SaveHighScore());
    EXPECT_EQ(g.f.highScore, 640);
    EXPECT_EQ(g.caption(platform::Control::lblHighScore), " 640");
    EXPECT_EQ(g.p.files.files["h-score.txt"], formatHighScore(640));
}

TEST(HighScoreInGame, FailedSaveKeepsTheNewBestInMemoryAndReports)
{
    fake::Game g(false);
    g.p.files.files["h-score.txt"] = formatHighScore(10);
    ASSERT_TRUE(g.f.Form_Load());
    g.p.files.failAt = fake::FakeFiles::Step::Sync;
    g.f.score = 500;
    EXPECT_FALSE(g.f.SaveHighScore());
    EXPECT_EQ(g.f.highScore, 500);
    EXPECT_EQ(g.caption(platform::Control::lblHighScore), " 500");
    EXPECT_EQ(g.p.files.files["h-score.txt"], formatHighScore(10));
}

}  // namespace
