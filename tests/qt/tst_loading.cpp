// Tile files that cannot be used fail cleanly: the loader raises LoadError, and the
// start-up shows one critical box and leaves the window unshown.

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <memory>

#include "TestSupport.h"
#include "ui/MainWindow.h"

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

QByteArray randomBytes(int n, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray bytes(n, '\0');
    for (char& c : bytes)
        c = char(gen.bounded(256));
    return bytes;
}

// Puts a broken n3.bmp (or whatever `kind` says) in the working directory.
void makeBroken(const WorkDir& dir, const QString& name, const QString& kind)
{
    const QString path = dir.path(name);
    QFile::remove(path);
    const QByteArray good = bmp24(tileImage(3));
    if (kind == QLatin1String("missing"))
        return;
    if (kind == QLatin1String("directory")) {
        QDir().mkpath(path);
        return;
    }
    if (kind == QLatin1String("dangling link")) {
        QFile::link(dir.path(QStringLiteral("nowhere.bmp")), path);
        return;
    }
    QByteArray bytes;
    if (kind == QLatin1String("empty"))
        bytes = {};
    else if (kind == QLatin1String("header only"))
        bytes = good.left(54);
    else if (kind == QLatin1String("half the rows"))
        bytes = good.left(54 + (good.size() - 54) / 2);
    else if (kind == QLatin1String("one byte short"))
        bytes = good.left(good.size() - 1);
    else if (kind == QLatin1String("garbage"))
        bytes = randomBytes(good.size(), 1);
    else if (kind == QLatin1String("garbage after BM"))
        bytes = "BM" + randomBytes(good.size() - 2, 2);
    else if (kind == QLatin1String("huge dimensions")) {
        bytes = good;
        bytes[18] = char(0x30), bytes[19] = char(0x75), bytes[20] = 0, bytes[21] = 0;  // 30000 wide
        bytes[22] = char(0x30), bytes[23] = char(0x75), bytes[24] = 0, bytes[25] = 0;  // 30000 high
    } else if (kind == QLatin1String("zero width")) {
        bytes = good;
        bytes[18] = bytes[19] = bytes[20] = bytes[21] = 0;
    } else if (kind == QLatin1String("bad bit depth")) {
        bytes = good;
        bytes[28] = 7;
    } else if (kind == QLatin1String("PNG named .bmp"))
        bytes = savedAs(tileImage(3), "PNG");
    else if (kind == QLatin1String("text"))
        bytes = "\"HighScore=0\"\r\n";
    else
        qFatal("unknown kind %s", qPrintable(kind));
    writeFile(path, bytes);
}

const char* const kBrokenKinds[] = {"missing",         "empty",         "header only",   "half the rows",
                                    "one byte short",  "garbage",       "garbage after BM", "huge dimensions",
                                    "zero width",      "bad bit depth", "PNG named .bmp", "text",
                                    "directory",       "dangling link"};

// What one message box showed, and how it was answered.
struct SeenBox {
    int count = 0;
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    bool hadParent = true;
    bool modal = false;
};

// Answers every box the start-up opens with its first button, noting what it showed.
void answerBoxes(QObject* context, SeenBox& seen, int rounds = 100)
{
    QTimer::singleShot(0, context, [context, &seen, rounds] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (rounds > 0)
                answerBoxes(context, seen, rounds - 1);
            return;
        }
        ++seen.count;
        seen.text = box->text();
        seen.title = box->windowTitle();
        seen.icon = box->icon();
        seen.buttons.clear();
        for (QAbstractButton* b : box->buttons())
            seen.buttons << b->text();
        seen.hadParent = box->parentWidget() != nullptr;
        seen.modal = box->isModal();
        box->buttons().first()->click();
    });
}

class ShowCounter : public QObject {
public:
    int shows = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

}  // namespace

class LoadingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::setApplicationFont(); }

    void loaderRejects_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* kind : kBrokenKinds)
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }

    void loaderRejects()
    {
        QFETCH(QString, kind);
        WorkDir dir;
        makeBroken(dir, QStringLiteral("n3.bmp"), kind);
        platform::QtImageLoader loader;
        QVERIFY_THROWS_EXCEPTION(platform::LoadError, loader.load("n3.bmp"));
        try {
            loader.load("n3.bmp");
        } catch (const platform::LoadError& e) {
            QVERIFY(QString::fromStdString(e.what()).contains(QLatin1String("n3.bmp")));
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

        QImage indexed(33, 33, QImage::Format_Indexed8);
        indexed.setColorTable({qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 128, 255)});
        for (int y = 0; y < 33; ++y)
            for (int x = 0; x < 33; ++x)
                indexed.setPixel(x, y, uint((x + y) % 3));
        QTest::newRow("256 colours") << savedAs(indexed, "BMP") << indexed;

        QImage mono(33, 33, QImage::Format_Mono);
        mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        for (int y = 0; y < 33; ++y)
            for (int x = 0; x < 33; ++x)
                mono.setPixel(x, y, uint((x / 3 + y) % 2));
        QTest::newRow("2 colours") << savedAs(mono, "BMP") << mono;

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
        platform::QtImageLoader loader;
        const platform::PictureRef picture = loader.load("n3.bmp");
        QVERIFY(picture);
        QCOMPARE(picture->width(), expected.width());
        QCOMPARE(picture->height(), expected.height());
        const auto& image = dynamic_cast<const platform::QtPicture&>(*picture).image();
        QCOMPARE(image, expected.convertToFormat(QImage::Format_RGB32));
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
        const QString previous = QDir::currentPath();
        QDir::setCurrent(assets.path());
        platform::QtImageLoader loader;
        for (int slot = 0; slot <= 13; ++slot) {
            const platform::PictureRef p = loader.load(tileFile(slot).toStdString());
            const int limit = slot == 10 || slot == 11 ? 96 : 33;
            QVERIFY2(p->width() <= limit && p->height() <= limit, qPrintable(tileFile(slot)));
        }
        QDir::setCurrent(previous);
    }

    void startupStopsAtABrokenFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("kind");
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
        WorkDir dir;
        dir.writeAll();
        makeBroken(dir, file, kind);

        RecordingAudio audio;
        ui::MainWindow w({std::nullopt, &audio});
        ShowCounter shows;
        w.installEventFilter(&shows);
        SeenBox seen;
        answerBoxes(this, seen);
        QVERIFY(!w.load());

        QCOMPARE(seen.count, 1);
        QCOMPARE(seen.text, QStringLiteral("ファイルがみつかりませんでした。"));
        QCOMPARE(seen.title, QStringLiteral("ちゅうい!!"));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.buttons, QStringList{QStringLiteral("OK")});
        QVERIFY(!seen.hadParent);
        QVERIFY(seen.modal);

        QCOMPARE(shows.shows, 0);
        QVERIFY(!w.isVisible());
        QVERIFY(!w.findChild<QTimer*>(QStringLiteral("GameTimer"))->isActive());
        QVERIFY(!w.findChild<QTimer*>(QStringLiteral("UFO_Timer"))->isActive());
        for (const std::string& call : audio.calls)
            QVERIFY2(call.rfind("loop", 0) != 0 && call.rfind("play", 0) != 0, call.c_str());
        QCOMPARE(dir.read(QStringLiteral("h-score.txt")).isEmpty(), file == QLatin1String("h-score.txt"));
    }

    void startupWithEveryFileShowsNoBox()
    {
        WorkDir dir;
        dir.writeAll();
        RecordingAudio audio;
        ui::MainWindow w({std::nullopt, &audio});
        SeenBox seen;
        answerBoxes(this, seen, 3);
        QVERIFY(w.load());
        QCOMPARE(seen.count, 0);
        stopTimers(w);
        for (int slot = 0; slot <= 13; ++slot)
            QVERIFY(w.game().module.tiles[size_t(slot)]);
        QVERIFY(!w.game().module.tiles[14] && !w.game().module.tiles[15]);
    }
};

QTEST_MAIN(LoadingTest)
#include "tst_loading.moc"
