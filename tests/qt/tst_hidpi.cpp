// A scaled desktop (QT_SCALE_FACTOR 1.25): the layout stays in logical pixels and
// the playfield is enlarged with blocky pixels, never blurred.

#include <QApplication>
#include <QSet>
#include <QTest>

#include "TestSupport.h"

using namespace testing_qt;

class HiDpiTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::setApplicationLook(); }

    void playfieldScalesCrisply()
    {
        Rig r(5);
        ui::MainWindow& w = r.w;
        QVERIFY(w.load());
        stopTimers(w);
        auto& g = w.game();
        for (int column = 0; column < 9; ++column)
            g.board(column, 8) = static_cast<std::int16_t>(column + 1);
        g.DrawBoard();
        g.DrawUfo(3, 12, 0);

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.devicePixelRatioF(), 1.25);
        QCOMPARE(w.size(), QSize(552, 445));
        QCOMPARE(w.surface().geometry(), QRect(16, 16, 369, 401));
        QCOMPARE(w.surface().image().size(), QSize(369, 401));

        const QPixmap shot = w.surface().grab();
        QCOMPARE(shot.devicePixelRatio(), 1.25);
        const QImage scaled = shot.toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(qAbs(scaled.width() - 461) <= 1 && qAbs(scaled.height() - 501) <= 1);

        // Nearest-neighbour scaling only copies pixels: no colour appears that the
        // drawing does not hold.
        const QImage& image = w.surface().image();
        QSet<QRgb> drawn;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                drawn.insert(image.pixel(x, y));
        for (int y = 0; y < scaled.height(); ++y)
            for (int x = 0; x < scaled.width(); ++x)
                QVERIFY2(drawn.contains(scaled.pixel(x, y)), qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));

        // And each device pixel shows the logical pixel it lies in.
        for (const QPoint logical : {QPoint(32, 96 + 8 * 33), QPoint(32 + 8 * 33 + 32, 96 + 8 * 33 + 32),
                                     QPoint(3 * 33 + 32 + 16, 63 + 16), QPoint(3 * 33 + 50, 30)}) {
            const QPoint device(int(logical.x() * 1.25 + 0.5), int(logical.y() * 1.25 + 0.5));
            QCOMPARE(scaled.pixel(device), image.pixel(logical));
        }
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_SCALE_FACTOR", "1.25");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    HiDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hidpi.moc"
