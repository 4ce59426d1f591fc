// The playfield, pixel by pixel: where the rules' drawings land on the real surface,
// what is clipped, what survives a repaint, and how much each change repaints.

#include <QScreen>
#include <QTest>
#include <array>
#include <functional>
#include <memory>

#include "TestSupport.h"

using namespace testing_qt;

namespace {

constexpr QRgb kBlack = 0xff000000;
constexpr int kBlackSlot = -1;
const QRect kWell(32, 96, 9 * kCell, 9 * kCell);

// A backdrop no tile and no fill can produce: every pixel tells where it was.
QRgb markPixel(int x, int y) { return qRgb(200, x & 0xff, (y + 7) & 0xff); }

// What should be where, topmost first: a tile repeated over the area from its
// top left, or black. Anything not covered is the mark backdrop.
struct Layer {
    QRect area;
    int slot;
};

// First pixel of `image` that differs from `expected(x, y)`, as a message; empty when none.
QString firstDifference(const QImage& image, const std::function<QRgb(int, int)>& expected)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb want = expected(x, y), got = image.pixel(x, y) | kBlack;
            if (got != want)
                return QStringLiteral("(%1, %2): got %3, want %4").arg(x).arg(y).arg(got, 6, 16).arg(want, 6, 16);
        }
    return {};
}

QString firstDifference(const QImage& image, std::initializer_list<Layer> layers)
{
    return firstDifference(image, [&](int x, int y) {
        for (const Layer& l : layers)
            if (l.area.isValid() && l.area.contains(x, y)) {  // a fill of no extent is no layer
                if (l.slot == kBlackSlot)
                    return kBlack;
                const QSize size = tileSize(l.slot);
                return tilePixel(l.slot, (x - l.area.x()) % size.width(), (y - l.area.y()) % size.height());
            }
        return markPixel(x, y);
    });
}

QRect cellArea(int column, int row) { return {column * kCell + 32, row * kCell + 96, kCell, kCell}; }

}  // namespace

class SurfaceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Rig> rig_;

    game::frmMain& game() { return rig_->w.game(); }
    platform::QtSurface& surface() { return rig_->w.surface(); }
    const QImage& image() { return surface().image(); }

    // The playfield as it is on the (offscreen) screen: the window's backing store,
    // not a fresh rendering.
    QImage onScreen()
    {
        return rig_->w.screen()
            ->grabWindow(rig_->w.winId(), 16, 16, platform::QtSurface::kWidth, platform::QtSurface::kHeight)
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    void paintMarks()
    {
        QImage marks(platform::QtSurface::kWidth, platform::QtSurface::kHeight, QImage::Format_RGB32);
        for (int y = 0; y < marks.height(); ++y)
            for (int x = 0; x < marks.width(); ++x)
                marks.setPixel(x, y, markPixel(x, y));
        surface().paintPicture(platform::QtPicture(marks), 0, 0);
    }

    // Everything queued so far is painted, and the counters start from zero.
    bool settle()
    {
        rig_->w.show();
        if (!QTest::qWaitForWindowExposed(&rig_->w))
            return false;
        rig_->w.repaint();
        surface().resetPaintStats();
        return true;
    }

private slots:
    void initTestCase() { ui::setApplicationLook(); }

    void init()
    {
        rig_ = std::make_unique<Rig>(1);
        QVERIFY(rig_->w.load());
        stopTimers(rig_->w);
    }

    void cleanup() { rig_.reset(); }

    void cellLandsAtItsPosition()
    {
        QCOMPARE(image().format(), QImage::Format_RGB32);
        QString diff = firstDifference(image(), {{kWell, 0}, {image().rect(), kBlackSlot}});  // as loaded
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        for (const auto& [column, row, code] : {std::tuple{0, 0, 1}, {8, 8, 9}, {0, 8, 5}, {8, 0, 3}, {4, 5, 7}}) {
            game().board(column, row) = static_cast<std::int16_t>(code);
            game().DrawBoard();
            diff = firstDifference(image(), {{cellArea(column, row), code}, {kWell, 0}, {image().rect(), kBlackSlot}});
            QVERIFY2(diff.isEmpty(), qPrintable(QString::asprintf("cell %d,%d ", column, row) + diff));
            game().board(column, row) = 0;
        }
    }

    void rowMinusOneIsTheCargoSpot()
    {
        paintMarks();
        auto& g = game();
        g.cargo = 7;
        g.prevCol = g.pieceCol = 3;
        g.prevRow = g.pieceRow = -1;
        g.DrawPieceMove();
        const QRect cargoSpot(3 * 33 + 32, 63, kCell, kCell);
        QString diff = firstDifference(image(), {{cargoSpot, 7}});
        QVERIFY2(diff.isEmpty(), qPrintable(diff));

        // First fall step: the empty cell stays behind at the cargo spot. A repeated
        // step in place keeps the block visible.
        g.pieceRow = 0;
        for (int step = 0; step < 2; ++step) {
            g.DrawPieceMove();
            diff = firstDifference(image(), {{cargoSpot, 0}, {cellArea(3, 0), 7}});
            QVERIFY2(diff.isEmpty(), qPrintable(diff));
        }
    }

    void ufoBox()
    {
        std::vector<std::array<int, 3>> cases;  // column, cargo, opened
        for (int col = 0; col <= 9; ++col)
            cases.push_back({col, col % 9 + 1, 0});
        cases.insert(cases.end(), {{4, 0, 0}, {2, 12, 0}, {6, 5, 1}, {9, 12, 1}});  // empty cell, bomb, opened
        for (const auto& [col, cargo, dropped] : cases) {
            paintMarks();
            game().DrawUfo(std::int16_t(col), std::int16_t(cargo), std::int16_t(dropped));
            const QString diff = firstDifference(image(), {{{col * 33 + 32, 63, kCell, kCell}, cargo},
                                                           {{col * 33, 0, kUfoWidth, kUfoHeight}, 10 + dropped},
                                                           {{(col - 1) * 33, 0, 162, 96}, kBlackSlot}});
            QVERIFY2(diff.isEmpty(), qPrintable(QString::asprintf("UFO %d, %d, %d ", col, cargo, dropped) + diff));
        }
    }

    // Row 96 is the well's top row and column 330 lies past the lane: both stay.
    void laneClearStopsAboveTheWell()
    {
        paintMarks();
        game().ClearLane();
        const QString diff = firstDifference(image(), {{{0, 0, 330, 96}, kBlackSlot}});
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

    void fillAndPaintAreClipped()
    {
        // x, y, width, height as the rules pass them.
        for (const QRect fill : {QRect(10, 20, 5, 7), QRect(-33, 0, 162, 96), QRect(300, 380, 162, 96),
                                 QRect(400, 0, 50, 50), QRect(0, -200, 50, 50), QRect(10, 10, 0, 5),
                                 QRect(50, 50, -10, -10)}) {
            paintMarks();
            surface().fillBlack(fill.x(), fill.y(), fill.width(), fill.height());
            const QString diff = firstDifference(image(), {{fill, kBlackSlot}});
            QVERIFY2(diff.isEmpty(), qPrintable(QString::asprintf("fill %d,%d %dx%d ", fill.x(), fill.y(),
                                                                  fill.width(), fill.height()) + diff));
        }

        QImage big(200, 180, QImage::Format_RGB32);
        for (int y = 0; y < big.height(); ++y)
            for (int x = 0; x < big.width(); ++x)
                big.setPixel(x, y, qRgb(7, x, y));
        for (const QPoint at : {QPoint(300, 350), QPoint(-150, -120), QPoint(369, 0), QPoint(-100000, 100000)}) {
            paintMarks();
            surface().paintPicture(platform::QtPicture(big), at.x(), at.y());
            const QString diff = firstDifference(image(), [&](int x, int y) {
                return QRect(at, big.size()).contains(x, y) ? qRgb(7, x - at.x(), y - at.y()) : markPixel(x, y);
            });
            QVERIFY2(diff.isEmpty(), qPrintable(QString::asprintf("picture at %d,%d ", at.x(), at.y()) + diff));
        }
    }

    // Blocks that came to rest were drawn directly, not into DrawBoard's backdrop;
    // they must still be there when the window is repainted from scratch.
    void drawingSurvivesRepaint()
    {
        QVERIFY(settle());
        auto& g = game();
        g.cargo = 5;
        g.prevCol = g.pieceCol = 2;
        g.prevRow = 7;
        g.pieceRow = 8;
        g.DrawPieceMove();
        g.DrawUfo(4, 3, 0);
        const QImage drawn = image().copy();
        QCOMPARE(drawn.pixel(2 * 33 + 32 + 10, 8 * 33 + 96 + 10), tilePixel(5, 10, 10));
        QCOMPARE(drawn.pixel(4 * 33 + 32 + 10, 63 + 10), tilePixel(3, 10, 10));

        // Hidden before the changes reached the screen; shown again, the whole
        // playfield is painted anew from what was drawn.
        rig_->w.hide();
        surface().resetPaintStats();
        rig_->w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig_->w));
        QTRY_VERIFY(surface().paintStats().paints > 0);
        QCOMPARE(surface().paintStats().totalPixels, qint64(369 * 401));
        QCOMPARE(onScreen(), drawn);

        // The same after a forced repaint of the whole window.
        rig_->w.repaint();
        QCOMPARE(onScreen(), drawn);
    }

    void repaintsOnlyWhatChanged()
    {
        using Change = std::function<void(game::frmMain&)>;
        auto tick = [](int col) -> Change {
            return [col](game::frmMain& g) {
                g.playing = game::False;
                g.ufoCol = std::int16_t(col);
                g.ufoDir = 1;
                g.UFO_Timer_Timer();  // the tick itself, as the timer runs it
            };
        };
        const std::tuple<const char*, qint64, Change> changes[] = {
            {"UFO tick", 162 * 96, tick(4)},
            {"UFO tick at the left end", 129 * 96, tick(0)},
            {"UFO tick at the right end", (369 - 8 * 33) * 96, tick(9)},
            {"block step", 2 * 33 * 33, [](game::frmMain& g) { ++g.pieceRow, g.DrawPieceMove(); }},
            {"block sideways", 2 * 33 * 33, [](game::frmMain& g) { ++g.pieceCol, g.DrawPieceMove(); }},
            {"step in place", 33 * 33, &game::frmMain::DrawPieceMove},
            {"lane clear", 330 * 96, &game::frmMain::ClearLane},
            {"whole well", 297 * 297, &game::frmMain::DrawBoard}};
        for (const auto& [name, pixels, change] : changes) {
            stopTimers(rig_->w);  // a tick switches the UFO timer back on
            QVERIFY(settle());
            auto& g = game();
            g.cargo = 4;
            g.prevCol = g.pieceCol = 3;
            g.prevRow = g.pieceRow = 2;
            change(g);
            // Left to the event loop, the change reaches the screen in one paint.
            QTRY_VERIFY(surface().paintStats().paints > 0);
            const auto& stats = surface().paintStats();
            auto line = [&](qint64 paints, qint64 last, qint64 all) {
                return QStringLiteral("%1: %2 paints, last %3, all %4").arg(name).arg(paints).arg(last).arg(all);
            };
            QCOMPARE(line(stats.paints, stats.lastPixels, stats.totalPixels), line(1, pixels, pixels));
        }
    }

    // Before the explosion sound holds everything up, what was drawn must already
    // be on the screen: no event loop turns in between.
    void presentPaintsAtOnce()
    {
        QVERIFY(settle());
        game().DrawUfo(4, 2, 0);
        QVERIFY(onScreen() != image());  // only queued so far
        surface().present();
        QCOMPARE(onScreen(), image());
        QCOMPARE(surface().paintStats().paints, qint64(1));
        QCOMPARE(surface().paintStats().lastPixels, qint64(162 * 96));

        // Nothing new: nothing to paint.
        surface().resetPaintStats();
        surface().present();
        QCOMPARE(surface().paintStats().paints, qint64(0));
    }
};

QTEST_MAIN(SurfaceTest)
#include "tst_surface.moc"
