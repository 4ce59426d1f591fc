// The playfield, pixel by pixel: where the rules' drawings land on the real surface,
// what is clipped, what survives a repaint, and how much each change repaints.

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <memory>

#include "TestSupport.h"
#include "ui/MainWindow.h"

using namespace testing_qt;

namespace {

constexpr QRgb kBlack = 0xff000000;

// A backdrop no tile and no fill can produce: every pixel tells where it was.
QRgb markPixel(int x, int y) { return qRgb(200, x & 0xff, (y + 7) & 0xff); }

std::shared_ptr<platform::QtPicture> markPicture()
{
    QImage image(platform::QtSurface::kWidth, platform::QtSurface::kHeight, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, markPixel(x, y));
    return std::make_shared<platform::QtPicture>(image);
}

QString hex(QRgb p) { return QStringLiteral("#%1").arg(p & 0xffffff, 6, 16, QLatin1Char('0')); }

// First pixel of `image` that differs from `expected(x, y)`, as a message; empty when none.
template <typename Expected>
QString firstDifference(const QImage& image, Expected expected)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb want = expected(x, y);
            const QRgb got = image.pixel(x, y) | 0xff000000;
            if (got != want)
                return QStringLiteral("(%1, %2): got %3, want %4").arg(x).arg(y).arg(hex(got), hex(want));
        }
    return {};
}

bool inside(int x, int y, int left, int top, int w, int h)
{
    return x >= left && x < left + w && y >= top && y < top + h;
}

}  // namespace

class SurfaceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WorkDir> dir_;
    std::unique_ptr<RecordingAudio> audio_;
    std::unique_ptr<ui::MainWindow> w_;

    game::frmMain& game() { return w_->game(); }
    platform::QtSurface& surface() { return w_->surface(); }
    const QImage& image() { return w_->surface().image(); }

    // The playfield as it is on the (offscreen) screen: the window's backing store,
    // not a fresh rendering.
    QImage onScreen()
    {
        return w_->screen()
            ->grabWindow(w_->winId(), 16, 16, platform::QtSurface::kWidth, platform::QtSurface::kHeight)
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    void paintMarks() { surface().paintPicture(*markPicture(), 0, 0); }

    // Everything queued so far is painted, and the counters start from zero.
    bool settle()
    {
        if (!w_->isVisible()) {
            w_->show();
            if (!QTest::qWaitForWindowExposed(w_.get()))
                return false;
        }
        w_->repaint();
        surface().resetPaintStats();
        return true;
    }

private slots:
    void initTestCase() { ui::setApplicationFont(); }

    void init()
    {
        dir_ = std::make_unique<WorkDir>();
        dir_->writeAll();
        audio_ = std::make_unique<RecordingAudio>();
        w_ = std::make_unique<ui::MainWindow>(ui::WindowOptions{std::uint64_t{1}, audio_.get()});
        QVERIFY(w_->load());
        stopTimers(*w_);
    }

    void cleanup()
    {
        w_.reset();
        audio_.reset();
        dir_.reset();
    }

    void startsBlackWithTheEmptyWell()
    {
        const QString diff = firstDifference(image(), [](int x, int y) {
            if (inside(x, y, 32, 96, 9 * kCell, 9 * kCell))
                return tilePixel(0, (x - 32) % kCell, (y - 96) % kCell);
            return kBlack;
        });
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        QCOMPARE(image().size(), QSize(369, 401));
        QCOMPARE(image().format(), QImage::Format_RGB32);
        QVERIFY(!surface().persistent());
    }

    void cellLandsAtItsPosition_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("code");
        QTest::newRow("top left") << 0 << 0 << 1;
        QTest::newRow("bottom right") << 8 << 8 << 9;
        QTest::newRow("bottom left") << 0 << 8 << 5;
        QTest::newRow("top right") << 8 << 0 << 3;
        QTest::newRow("middle") << 4 << 5 << 7;
    }

    void cellLandsAtItsPosition()
    {
        QFETCH(int, column);
        QFETCH(int, row);
        QFETCH(int, code);
        game().board(column, row) = static_cast<std::int16_t>(code);
        game().DrawBoard();
        const int left = column * 33 + 32, top = row * 33 + 96;
        const QString diff = firstDifference(image(), [&](int x, int y) {
            if (inside(x, y, left, top, kCell, kCell))
                return tilePixel(code, x - left, y - top);
            if (inside(x, y, 32, 96, 9 * kCell, 9 * kCell))
                return tilePixel(0, (x - 32) % kCell, (y - 96) % kCell);
            return kBlack;
        });
        QVERIFY2(diff.isEmpty(), qPrintable(diff));

        // The screen shows the same pixels.
        QVERIFY(settle());
        QCOMPARE(onScreen(), image());
    }

    void rowMinusOneIsTheCargoSpot()
    {
        paintMarks();
        auto& g = game();
        g.cargo = 7;
        g.prevCol = g.pieceCol = 3;
        g.prevRow = g.pieceRow = -1;
        g.DrawPieceMove();
        QCOMPARE(image().pixel(3 * 33 + 32, 63), tilePixel(7, 0, 0));
        QCOMPARE(image().pixel(3 * 33 + 32 + 32, 63 + 32), tilePixel(7, 32, 32));
        QCOMPARE(image().pixel(3 * 33 + 31, 63), markPixel(3 * 33 + 31, 63));
        QCOMPARE(image().pixel(3 * 33 + 32, 62), markPixel(3 * 33 + 32, 62));

        // First fall step: the empty cell stays behind at the cargo spot.
        g.pieceRow = 0;
        g.DrawPieceMove();
        QCOMPARE(image().pixel(131, 63), tilePixel(0, 0, 0));
        QCOMPARE(image().pixel(131 + 32, 63 + 32), tilePixel(0, 32, 32));
        QCOMPARE(image().pixel(131, 96), tilePixel(7, 0, 0));
        QCOMPARE(image().pixel(131 + 32, 96 + 32), tilePixel(7, 32, 32));

        // A repeated step in place keeps the block visible.
        g.DrawPieceMove();
        QCOMPARE(image().pixel(131 + 5, 96 + 5), tilePixel(7, 5, 5));
    }

    void ufoBox_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("cargo");
        QTest::addColumn<int>("dropped");
        for (int col = 0; col <= 9; ++col)
            QTest::addRow("col %d", col) << col << (col % 9 + 1) << 0;
        QTest::newRow("idle UFO carries the empty cell") << 4 << 0 << 0;
        QTest::newRow("bomb") << 2 << 12 << 0;
        QTest::newRow("opened") << 6 << 5 << 1;
        QTest::newRow("opened at the right end") << 9 << 12 << 1;
    }

    void ufoBox()
    {
        QFETCH(int, col);
        QFETCH(int, cargo);
        QFETCH(int, dropped);
        paintMarks();
        game().DrawUfo(static_cast<std::int16_t>(col), static_cast<std::int16_t>(cargo),
                       static_cast<std::int16_t>(dropped));
        const QString diff = firstDifference(image(), [&](int x, int y) {
            if (inside(x, y, col * 33 + 32, 63, kCell, kCell))
                return tilePixel(cargo, x - (col * 33 + 32), y - 63);
            if (inside(x, y, col * 33, 0, kUfoWidth, kUfoHeight))
                return tilePixel(10 + dropped, x - col * 33, y);
            if (inside(x, y, (col - 1) * 33, 0, 162, 96))
                return kBlack;
            return markPixel(x, y);
        });
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

    void laneClearStopsAboveTheWell()
    {
        paintMarks();
        game().ClearLane();
        const QString diff = firstDifference(
            image(), [](int x, int y) { return inside(x, y, 0, 0, 330, 96) ? kBlack : markPixel(x, y); });
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        QCOMPARE(image().pixel(32, 96), markPixel(32, 96));  // top pixel row of the well's row 0
        QCOMPARE(image().pixel(330, 0), markPixel(330, 0));
    }

    void fillAndPaintAreClipped_data()
    {
        QTest::addColumn<QRect>("fill");  // x, y, width, height as the rules pass them
        QTest::newRow("inside") << QRect(10, 20, 5, 7);
        QTest::newRow("left of the surface") << QRect(-33, 0, 162, 96);
        QTest::newRow("past the right edge") << QRect(300, 380, 162, 96);
        QTest::newRow("wholly outside") << QRect(400, 0, 50, 50);
        QTest::newRow("above") << QRect(0, -200, 50, 50);
        QTest::newRow("empty") << QRect(10, 10, 0, 5);
        QTest::newRow("negative extent") << QRect(50, 50, -10, -10);
    }

    void fillAndPaintAreClipped()
    {
        QFETCH(QRect, fill);
        paintMarks();
        surface().fillBlack(fill.x(), fill.y(), fill.width(), fill.height());
        const QString diff = firstDifference(image(), [&](int x, int y) {
            const bool black = fill.width() > 0 && fill.height() > 0 &&
                               inside(x, y, fill.x(), fill.y(), fill.width(), fill.height());
            return black ? kBlack : markPixel(x, y);
        });
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

    void oversizedPicturesAreClipped_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::newRow("bottom right corner") << QPoint(300, 350);
        QTest::newRow("top left, off the surface") << QPoint(-150, -120);
        QTest::newRow("wholly outside") << QPoint(369, 0);
        QTest::newRow("far away") << QPoint(-100000, 100000);
    }

    void oversizedPicturesAreClipped()
    {
        QFETCH(QPoint, at);
        paintMarks();
        QImage big(200, 180, QImage::Format_RGB32);
        for (int y = 0; y < big.height(); ++y)
            for (int x = 0; x < big.width(); ++x)
                big.setPixel(x, y, qRgb(7, x, y));
        surface().paintPicture(platform::QtPicture(big), at.x(), at.y());
        const QString diff = firstDifference(image(), [&](int x, int y) {
            return inside(x, y, at.x(), at.y(), 200, 180) ? qRgb(7, x - at.x(), y - at.y()) : markPixel(x, y);
        });
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
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

        // Hidden before the changes reached the screen; shown again, the whole
        // playfield is painted anew from what was drawn.
        w_->hide();
        surface().resetPaintStats();
        w_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
        QTRY_VERIFY(surface().paintStats().paints > 0);
        QCOMPARE(surface().paintStats().totalPixels, qint64(369 * 401));
        QCOMPARE(onScreen(), drawn);

        // The same after a forced repaint of the whole window.
        w_->repaint();
        QCOMPARE(onScreen(), drawn);
        QCOMPARE(onScreen().pixel(2 * 33 + 32 + 10, 8 * 33 + 96 + 10), tilePixel(5, 10, 10));
        QCOMPARE(onScreen().pixel(4 * 33 + 32 + 10, 63 + 10), tilePixel(3, 10, 10));
    }

    void repaintsOnlyWhatChanged_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<qint64>("pixels");
        QTest::newRow("UFO tick") << "ufo 4" << qint64(162 * 96);
        QTest::newRow("UFO tick at the left end") << "ufo 0" << qint64(129 * 96);
        QTest::newRow("UFO tick at the right end") << "ufo 9" << qint64((369 - 8 * 33) * 96);
        QTest::newRow("block step") << "step" << qint64(2 * 33 * 33);
        QTest::newRow("block sideways") << "sideways" << qint64(2 * 33 * 33);
        QTest::newRow("step in place") << "in place" << qint64(33 * 33);
        QTest::newRow("lane clear") << "lane" << qint64(330 * 96);
        QTest::newRow("whole well") << "board" << qint64(297 * 297);
    }

    void repaintsOnlyWhatChanged()
    {
        QFETCH(QString, what);
        QFETCH(qint64, pixels);
        QVERIFY(settle());
        auto& g = game();
        g.cargo = 4;
        g.prevCol = g.pieceCol = 3;
        g.prevRow = g.pieceRow = 2;
        if (what.startsWith(QLatin1String("ufo"))) {
            g.playing = game::False;
            g.ufoCol = static_cast<std::int16_t>(what.mid(4).toInt());
            g.ufoDir = 1;
            g.UFO_Timer_Timer();  // the tick itself, as the timer runs it
        } else if (what == QLatin1String("step")) {
            g.pieceRow = 3;
            g.DrawPieceMove();
        } else if (what == QLatin1String("sideways")) {
            g.pieceCol = 4;
            g.DrawPieceMove();
        } else if (what == QLatin1String("in place")) {
            g.DrawPieceMove();
        } else if (what == QLatin1String("lane")) {
            g.ClearLane();
        } else {
            g.DrawBoard();
        }

        // Left to the event loop, the change reaches the screen in one paint.
        QTRY_COMPARE(surface().paintStats().paints, qint64(1));
        QCOMPARE(surface().paintStats().lastPixels, pixels);
        QCOMPARE(surface().paintStats().totalPixels, pixels);
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
