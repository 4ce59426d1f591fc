// Tile files that cannot be used fail cleanly: the loader raises LoadError, and the
// start-up shows one critical box and leaves the window unshown.

#include <QAbstractButton>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QTest>
#include <algorithm>

#include "TestSupport.h"

using namespace testing_qt;

namespace {

QByteArray savedAs(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray randomBytes(qsizetype n, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray bytes(n, '\0');
    for (char& c : bytes)
        c = char(gen.bounded(256));
    return bytes;
}

QByteArray patched(QByteArray bytes, int at, const QByteArray& with) { return bytes.replace(at, with.size(), with); }

// Each made from a good 33 x 33 tile.
const struct {
    const char* name;
    QByteArray (*bytes)(const QByteArray& good);
} kBroken[] = {
    {"missing", nullptr},
    {"directory", nullptr},
    {"dangling link", nullptr},
    {"empty", [](const QByteArray&) { return QByteArray(); }},
    {"header only", [](const QByteArray& good) { return good.left(54); }},
    {"half the rows", [](const QByteArray& good) { return good.left(54 + (good.size() - 54) / 2); }},
    {"one byte short", [](const QByteArray& good) { return good.left(good.size() - 1); }},
    {"garbage", [](const QByteArray& good) { return randomBytes(good.size(), 1); }},
    {"garbage after BM", [](const QByteArray& good) { return "BM" + randomBytes(good.size() - 2, 2); }},
    {"huge dimensions",  // 30000 x 30000
     [](const QByteArray& good) { return patched(good, 18, QByteArray::fromHex("3075000030750000")); }},
    {"zero width", [](const QByteArray& good) { return patched(good, 18, QByteArray(4, '\0')); }},
    {"bad bit depth", [](const QByteArray& good) { return patched(good, 28, "\x07"); }},
    {"PNG named .bmp", [](const QByteArray&) { return savedAs(tileImage(3), "PNG"); }},
    {"text", [](const QByteArray&) { return QByteArray("\"HighScore=0\"\r\n"); }},
};

// Puts a broken `name` of the given kind in the working directory.
void makeBroken(const WorkDir& dir, const QString& name, const QString& kind)
{
    const QString path = dir.path(name);
    QFile::remove(path);
    const auto* broken = std::find_if(std::begin(kBroken), std::end(kBroken),
                                      [&](const auto& b) { return kind == QLatin1String(b.name); });
    if (broken == std::end(kBroken))
        qFatal("unknown kind %s", qPrintable(kind));
    if (broken->bytes)
        writeFile(path, broken->bytes(bmp24(tileImage(3))));
    else if (kind == QLatin1String("directory"))
        QDir().mkpath(path);
    else if (kind == QLatin1String("dangling link"))
        QFile::link(dir.path(QStringLiteral("nowhere.bmp")), path);
}

}  // namespace

class LoadingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::setApplicationLook(); }

    void loaderRejects()
    {
        for (const auto& b : kBroken) {
            const QString kind = QString::fromLatin1(b.name);
            WorkDir dir;
            makeBroken(dir, QStringLiteral("n3.bmp"), kind);
            try {
                platform::QtImageLoader().load("n3.bmp");
                QFAIL(qPrintable(kind + QLatin1String(": loaded")));
            } catch (const platform::LoadError& e) {
                QVERIFY2(QString::fromStdString(e.what()).contains(QLatin1String("n3.bmp")), e.what());
            }
        }
    }

    void loaderAccepts_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QImage>("expected");
        const QImage tile = tileImage(7);
        QTest::newRow("24 bits, bottom-up") << bmp24(tile) << tile;
        QTest::newRow("24 bits, top-down") << bmp24(tile, true) << tile;
        QTest::newRow("saved by Qt") << savedAs(tile, "BMP") << tile;

        for (const auto& [name, format] :
             {std::pair{"256 colours", QImage::Format_Indexed8}, {"2 colours", QImage::Format_Mono}}) {
            const QImage fewer = tile.convertToFormat(format);
            QTest::newRow(name) << savedAs(fewer, "BMP") << fewer;
        }

        QImage big(120, 100, QImage::Format_RGB32);
        big.fill(qRgb(1, 2, 3));
        big.setPixel(119, 99, qRgb(250, 0, 0));
        QTest::newRow("bigger than a tile") << bmp24(big) << big;
    }

    void loaderAccepts()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QImage, expected);
        WorkDir dir;
        writeFile(dir.path(QStringLiteral("n3.bmp")), bytes);
        const platform::PictureRef picture = platform::QtImageLoader().load("n3.bmp");
        QCOMPARE(dynamic_cast<const platform::QtPicture&>(*picture).image(),
                 expected.convertToFormat(QImage::Format_RGB32));
    }

    // Names are bare: the working directory is where they are looked up.
    void loaderUsesTheWorkingDirectory()
    {
        WorkDir dir;
        QDir().mkdir(QStringLiteral("elsewhere"));
        writeFile(dir.path(QStringLiteral("elsewhere/n3.bmp")), bmp24(tileImage(3)));
        platform::QtImageLoader loader;
        QVERIFY_THROWS_EXCEPTION(platform::LoadError, loader.load("n3.bmp"));
        QDir::setCurrent(dir.path(QStringLiteral("elsewhere")));
        QCOMPARE(loader.load("n3.bmp")->width(), 33);
    }

    void shippedArtFitsTheLayout()
    {
        const QDir assets(QStringLiteral(ZENKORA_ASSETS_DIR));
        if (!assets.exists(QStringLiteral("n0.bmp")))
            QSKIP("no art in assets/ yet");
        platform::QtImageLoader loader;
        for (int slot = 0; slot <= 13; ++slot) {
            const platform::PictureRef p = loader.load(assets.filePath(tileFile(slot)).toStdString());
            const int limit = slot == 10 || slot == 11 ? 96 : 33;
            QVERIFY2(p->width() <= limit && p->height() <= limit, qPrintable(tileFile(slot)));
        }
    }

    void startupStopsAtABrokenFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("kind");
        QTest::newRow("all there") << "" << "";
        QTest::newRow("n0 missing") << "n0.bmp" << "missing";
        QTest::newRow("n3 is a directory") << "n3.bmp" << "directory";
        QTest::newRow("n9 garbage") << "n9.bmp" << "garbage";
        QTest::newRow("ufo01 empty") << "ufo01.bmp" << "empty";
        QTest::newRow("ufo02 cut short") << "ufo02.bmp" << "half the rows";
        QTest::newRow("bom is a PNG") << "bom.bmp" << "PNG named .bmp";
        QTest::newRow("ban header only") << "ban.bmp" << "header only";
        QTest::newRow("high score missing") << "h-score.txt" << "missing";
        QTest::newRow("high score is a directory") << "h-score.txt" << "directory";
    }

    void startupStopsAtABrokenFile()
    {
        QFETCH(QString, file);
        QFETCH(QString, kind);
        Rig r;
        if (!file.isEmpty())
            makeBroken(r.dir, file, kind);
        QStringList boxes;
        BoxWatcher watcher([&](QMessageBox& box) {
            boxes << describeBox(box);
            box.buttons().first()->click();
        });
        const bool loaded = r.w.load();
        if (file.isEmpty()) {
            stopTimers(r.w);
            QVERIFY(loaded);
            QVERIFY(boxes.isEmpty());
            for (int slot = 0; slot < 16; ++slot)
                QCOMPARE(bool(r.w.game().module.tiles[size_t(slot)]), slot <= 13);
            return;
        }
        QVERIFY(!loaded);
        QCOMPARE(boxes, QStringList{QStringLiteral("ちゅうい!!|ファイルがみつかりませんでした。|critical|OK|OK|no parent|modal")});
        QVERIFY(!r.w.windowHandle());  // never shown, not even for a moment
        QVERIFY(!child<QTimer>(r.w, "GameTimer")->isActive() && !child<QTimer>(r.w, "UFO_Timer")->isActive());
        for (const std::string& call : r.audio.calls)
            QVERIFY2(call.rfind("loop", 0) != 0 && call.rfind("play", 0) != 0, call.c_str());
        QCOMPARE(r.dir.read(QStringLiteral("h-score.txt")).isEmpty(), file == QLatin1String("h-score.txt"));
    }
};

QTEST_MAIN(LoadingTest)
#include "tst_loading.moc"
