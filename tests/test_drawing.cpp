#include <gtest/gtest.h>

#include "fakes/FakePlatform.h"

namespace {

using fake::Game;
using platform::Control;

TEST(TileLoading, LoadsFourteenFilesInOrder)
{
    Game g;
    auto loads = g.p.log.since(0, "load ");
    ASSERT_EQ(loads.size(), 14u);
    for (int slot = 0; slot < 14; ++slot)
        EXPECT_EQ(loads[static_cast<size_t>(slot)], std::string("load ") + fake::tileFile(slot));
    EXPECT_FALSE(g.f.module.tiles[14]);
    EXPECT_FALSE(g.f.module.tiles[15]);
}

// Any one unusable file stops the start: one box, no window, nothing else runs.
TEST(StartUpFailure, EachMissingFileEndsTheStart)
{
    std::vector<std::string> files;
    for (int slot = 0; slot < 14; ++slot)
        files.push_back(fake::tileFile(slot));
    files.push_back("h-score.txt");
    files.push_back("bad value");
    for (const auto& missing : files) {
        SCOPED_TRACE(missing);
        Game g(false);
        if (missing == "h-score.txt")
            g.p.files.files.erase(missing);
        else if (missing == "bad value")
            g.p.files.files["h-score.txt"] = "\"HighScore=abc\"\r\n";
        else
            g.p.images.missing.insert(missing);
        EXPECT_FALSE(g.f.Form_Load());
        ASSERT_EQ(g.p.messageBox.shown.size(), 1u);
        EXPECT_EQ(g.p.messageBox.shown[0].text, "ファイルがみつかりませんでした。");
        EXPECT_EQ(g.p.messageBox.shown[0].title, "ちゅうい!!");
        EXPECT_EQ(g.p.messageBox.shown[0].style, 16);
        EXPECT_TRUE(g.p.controls.unloaded);
        EXPECT_TRUE(g.p.log.since(0, "sound").empty());
        EXPECT_TRUE(g.p.log.since(0, "UFO_Timer on").empty());
        EXPECT_TRUE(g.p.log.since(0, "paint").empty());
        EXPECT_FALSE(g.p.surface.pixelUnits);
        EXPECT_EQ(g.p.files.files.count("h-score.txt"), missing == "h-score.txt" ? 0u : 1u)
            << "the start-up never creates the file";
    }
}

TEST(DrawBoardTest, PaintsTheWholeWellIntoTheBackdrop)
{
    Game g;
    g.f.board(3, 8) = 7;
    g.f.board(3, 9) = 5;  // the guard row is never drawn
    size_t mark = g.p.log.mark();
    g.f.DrawBoard();
    auto lines = g.p.log.since(mark);
    ASSERT_EQ(lines.size(), 83u);
    EXPECT_EQ(lines.front(), "persistent on");
    EXPECT_EQ(lines.back(), "persistent off");
    EXPECT_EQ(lines[1], "paint n0.bmp 32 96");       // column 0, row 0
    EXPECT_EQ(lines[9], "paint n0.bmp 32 360");      // column 0, row 8
    EXPECT_EQ(lines[10], "paint n0.bmp 65 96");      // column 1, row 0
    EXPECT_EQ(lines[81], "paint n0.bmp 296 360");    // column 8, row 8
    EXPECT_EQ(g.p.surface.cell(3, 8), "n7.bmp");
    EXPECT_TRUE(g.p.log.since(mark, "paint n5").empty());
}

TEST(DrawPieceMoveTest, ErasesTheOldCellAndRecordsTheNewOne)
{
    Game g;
    g.f.cargo = 4;
    g.f.prevCol = 2;
    g.f.prevRow = -1;
    g.f.pieceCol = 2;
    g.f.pieceRow = 0;
    size_t mark = g.p.log.mark();
    g.f.DrawPieceMove();
    EXPECT_EQ(g.p.log.since(mark), (std::vector<std::string>{"paint n0.bmp 98 63", "paint n4.bmp 98 96"}));
    EXPECT_EQ(g.f.prevCol, 2);
    EXPECT_EQ(g.f.prevRow, 0);

    // Unchanged position: erased and painted again in place, still visible.
    mark = g.p.log.mark();
    g.f.DrawPieceMove();
    EXPECT_EQ(g.p.log.since(mark), (std::vector<std::string>{"paint n0.bmp 98 96", "paint n4.bmp 98 96"}));
    EXPECT_EQ(g.p.surface.cell(2, 0), "n4.bmp");
}

TEST(DrawUfoTest, BoxImageAndCargoAtEveryLanePosition)
{
    Game g;
    for (int col = 0; col <= 9; ++col) {
        size_t mark = g.p.log.mark();
        g.f.DrawUfo(static_cast<std::int16_t>(col), 12, static_cast<std::int16_t>(col % 2));
        std::string ufo = col % 2 ? "ufo02.bmp" : "ufo01.bmp";
        EXPECT_EQ(g.p.log.since(mark),
                  (std::vector<std::string>{
                      "fill " + std::to_string((col - 1) * 33) + " 0 162 96",
                      "paint " + ufo + " " + std::to_string(col * 33) + " 0",
                      "paint bom.bmp " + std::to_string(col * 33 + 32) + " 63"}));
    }
    // The idle UFO carries the empty cell.
    size_t mark = g.p.log.mark();
    g.f.DrawUfo(4, 0, 0);
    EXPECT_EQ(g.p.log.since(mark, "paint n0.bmp"), (std::vector<std::string>{"paint n0.bmp 164 63"}));
}

TEST(LaneClear, CoversTheLaneAndNotTheWell)
{
    Game g;
    g.f.DrawUfo(7, 3, 1);
    size_t mark = g.p.log.mark();
    g.f.ClearLane();
    EXPECT_EQ(g.p.log.since(mark), (std::vector<std::string>{"fill 0 0 330 96"}));
    EXPECT_EQ(g.p.surface.at(7 * 33, 0), "");
    EXPECT_EQ(g.p.surface.at(7 * 33 + 32, 63), "");
    EXPECT_EQ(g.p.surface.cell(7, 0), "n0.bmp");
}

TEST(StartUp, OpensIdleWithTitleMusic)
{
    Game g(false);
    g.p.files.files["h-score.txt"] = "\"HighScore=300\"\r\n";
    ASSERT_TRUE(g.f.Form_Load());
    EXPECT_TRUE(g.p.surface.pixelUnits);
    EXPECT_EQ(g.f.maxNumber, 5);
    EXPECT_EQ(g.f.gameMode, 0);
    EXPECT_EQ(g.f.playing, game::False);
    EXPECT_EQ(g.f.ufoCol, 4);
    EXPECT_EQ(g.f.ufoDir, -1);
    EXPECT_EQ(g.f.cargo, 0);
    EXPECT_TRUE(g.p.ufoTimer.enabled());
    EXPECT_FALSE(g.p.gameTimer.enabled());
    EXPECT_EQ(g.caption(Control::lblScore), " 0");
    EXPECT_EQ(g.caption(Control::lblHighScore), " 300");
    EXPECT_EQ(g.caption(Control::cmdStart), "はじめ");
    EXPECT_EQ(g.p.log.lines.back(), "sound loop open.wav");
    EXPECT_EQ(g.screenMismatch(), "");
    // The pixel unit is set after loading and before the first drawing.
    auto& l = g.p.log.lines;
    auto units = std::find(l.begin(), l.end(), "surface pixels");
    auto firstPaint = std::find_if(l.begin(), l.end(), [](auto& s) { return s.rfind("paint", 0) == 0; });
    EXPECT_LT(units, firstPaint);
}

}  // namespace
