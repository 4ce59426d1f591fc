// The playfield's pictures: the loader takes only whole BMPs and names the file it
// refuses; pictures and fills clip to the playfield and a fill stops before its far
// edges; what was drawn survives a repaint and present() shows it at once; a scaled
// desktop (qt_surface_scaled) enlarges it with blocky pixels.

#include <QDir>
#include <QScreen>
#include <QTest>

#include "TestSupport.h"

using namespace testing_qt;

namespace {

QByteArray patched(QByteArray bytes, int at, const QByteArray& with) { return bytes.replace(at, with.size(), with); }

// A backdrop no tile and no fill can produce: every pixel says where it is.
QRgb mark(int x, int y) { return qRgb(200, x & 0xff, (y + 7) & 0xff); }

}  // namespace

class SurfaceTest : public QObject {
    Q_OBJECT

private slots:
    void loaderTakesOnlyWholeBmps()
    {
        WorkDir dir;
        const auto saved = [&](const QImage& i, const char* format) { return i.save("x", format), dir.read("x"); };
        const QImage tile = tileImage(3), few = tile.convertToFormat(QImage::Format_Indexed8);
        const QByteArray good = saved(tile, "BMP");
        QByteArray topDown = patched(good.left(54), 22, QByteArray::fromHex("dfffffff"));  // height -33
        for (int row = 32; row >= 0; --row)
            topDown += good.mid(54 + row * 100, 100);
        // A few bytes that would decode to 2000 x 2000 pixels: refused before any is made.
        const QByteArray huge = patched(patched(saved(few, "BMP").left(1078) + QByteArray("\0\1", 2), 18,
                                                QByteArray::fromHex("d0070000d0070000")), 30, "\1");
        const std::pair<QByteArray, QImage> cases[] = {
            {good, tile}, {topDown, tile}, {saved(few, "BMP"), few}, {"", {}}, {good.left(54), {}},
            {good.left(54 + (good.size() - 54) / 2), {}}, {good.chopped(1), {}}, {QByteArray(good.size(), 'x'), {}},
            {patched(good, 18, QByteArray::fromHex("3075000030750000")), {}},  // 30000 x 30000
            {patched(good, 18, QByteArray(4, '\0')), {}}, {patched(good, 28, "\x07"), {}}, {saved(tile, "PNG"), {}},
            {"\"HighScore=0\"\r\n", {}}, {"(a folder)", {}}, {"(nothing)", {}}, {huge, {}}};
        int n = 0;
        for (const auto& [bytes, image] : cases) {
            const QString name = QStringLiteral("n%1.bmp").arg(n++);
            bytes == "(a folder)" ? (void)QDir().mkdir(name) : bytes == "(nothing)" ? void() : dir.write(name, bytes);
            try {
                const auto picture = platform::QtImageLoader().load(name.toStdString());
                QCOMPARE(dynamic_cast<const platform::QtPicture&>(*picture).image(),
                         image.convertToFormat(QImage::Format_RGB32));
            } catch (const platform::LoadError& e) {
                QVERIFY2(image.isNull() && QString::fromUtf8(e.what()).contains(name), e.what());
            }
        }
    }

    void paintAndFillClip()
    {
        const QImage ufo = tileImage(10);
        QImage marks(369, 401, QImage::Format_RGB32);
        for (int y = 0; y < 401; ++y)
            for (int x = 0; x < 369; ++x)
                marks.setPixel(x, y, mark(x, y));
        const std::pair<QRect, bool> cases[] = {  // the area, and whether it is a fill
            {{10, 20, 5, 7}, true},      {{-33, 0, 162, 96}, true},   {{300, 380, 162, 96}, true},
            {{0, -200, 50, 50}, true},   {{10, 10, 0, 5}, true},      {{50, 50, -10, -10}, true},
            {{300, 350, 96, 70}, false}, {{-20, -10, 96, 70}, false}, {{369, 0, 96, 70}, false}};
        for (const auto& [area, fill] : cases) {
            platform::QtSurface s;
            s.paintPicture(platform::QtPicture(marks), 0, 0);
            fill ? s.fillBlack(area.x(), area.y(), area.width(), area.height())
                 : s.paintPicture(platform::QtPicture(ufo), area.x(), area.y());
            for (int y = 0; y < 401; ++y)
                for (int x = 0; x < 369; ++x)
                    if (s.image().pixel(x, y) != (!area.isValid() || !area.contains(x, y) ? mark(x, y)
                                                  : fill ? qRgb(0, 0, 0) : tilePixel(10, x - area.x(), y - area.y())))
                        QFAIL(qPrintable(QStringLiteral("%1,%2 %3x%4 at %5,%6").arg(area.x()).arg(area.y())
                                             .arg(area.width()).arg(area.height()).arg(x).arg(y)));
        }
    }

    // Blocks at rest are drawn straight onto the playfield: they must be on the screen
    // before a blocking sound starts, and there again whenever it is painted anew.
    void drawingIsPresentedAtOnceAndRetained()
    {
        Rig r;
        QVERIFY(r.w.load());
        stopTimers(r.w);
        auto& s = r.w.surface();
        const auto onScreen = [&] {
            return r.w.screen()->grabWindow(r.w.winId(), 16, 16, 369, 401).toImage().convertToFormat(
                s.image().format());
        };
        r.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&r.w));
        QTRY_COMPARE(onScreen(), s.image());
        s.paintPicture(platform::QtPicture(tileImage(13)), 131, 63);
        s.present();  // no event loop turns in between
        QCOMPARE(onScreen(), s.image());
        r.w.hide();
        s.paintPicture(platform::QtPicture(tileImage(7)), 98, 360);
        r.w.show();
        QTRY_COMPARE(onScreen(), s.image());
    }

    // Each device pixel shows one of the logical pixels it touches: blocky, never blurred.
    void scaledCrisply()
    {
        Rig r;
        QVERIFY(r.w.load());
        stopTimers(r.w);
        r.w.game().board(4, 8) = 9;
        r.w.game().DrawBoard();
        r.w.game().DrawUfo(3, 12, 0);
        const QImage& image = r.w.surface().image();
        const QImage shot = r.w.surface().grab().toImage().convertToFormat(QImage::Format_RGB32);
        const qreal scale = shot.devicePixelRatio();
        QCOMPARE(shot.size(), (QSizeF(369, 401) * scale).toSize());
        const auto at = [&](int x, int y) {
            return image.pixel(std::min(int(x / scale), 368), std::min(int(y / scale), 400));
        };
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QRgb p = shot.pixel(x, y);
                QVERIFY2(p == at(x, y) || p == at(x + 1, y) || p == at(x, y + 1) || p == at(x + 1, y + 1),
                         qPrintable(QStringLiteral("device pixel %1,%2").arg(x).arg(y)));
            }
    }
};

QTEST_MAIN(SurfaceTest)
#include "tst_surface.moc"
