#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "ui/MainWindow.h"

namespace testing_qt {

QString tileFile(int slot)
{
    if (slot <= 9)
        return QStringLiteral("n%1.bmp").arg(slot);
    static const char* names[] = {"ufo01.bmp", "ufo02.bmp", "bom.bmp", "ban.bmp"};
    return QString::fromLatin1(names[slot - 10]);
}

QSize tileSize(int slot) { return slot == 10 || slot == 11 ? QSize(kUfoWidth, kUfoHeight) : QSize(kCell, kCell); }

QRgb tilePixel(int slot, int x, int y) { return qRgb(20 + slot * 16, 10 + x * 2, 10 + y * 2); }

QImage tileImage(int slot)
{
    const QSize size = tileSize(slot);
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, tilePixel(slot, x, y));
    return image;
}

namespace {

void put16(QByteArray& b, int v)
{
    b.append(char(v & 0xff));
    b.append(char((v >> 8) & 0xff));
}

void put32(QByteArray& b, qint64 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xff));
}

}  // namespace

QByteArray bmp24(const QImage& image, bool topDown)
{
    const int w = image.width(), h = image.height();
    const int stride = ((w * 24 + 31) / 32) * 4;
    QByteArray b;
    b.append("BM");
    put32(b, 54 + qint64(stride) * h);
    put32(b, 0);
    put32(b, 54);
    put32(b, 40);
    put32(b, w);
    put32(b, topDown ? -h : h);
    put16(b, 1);
    put16(b, 24);
    put32(b, 0);
    put32(b, qint64(stride) * h);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, 0);
    put32(b, 0);
    for (int row = 0; row < h; ++row) {
        const int y = topDown ? row : h - 1 - row;
        QByteArray line;
        for (int x = 0; x < w; ++x) {
            const QRgb p = image.pixel(x, y);
            line.append(char(qBlue(p)));
            line.append(char(qGreen(p)));
            line.append(char(qRed(p)));
        }
        line.append(QByteArray(stride - line.size(), '\0'));
        b.append(line);
    }
    return b;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

WorkDir::WorkDir() : previous_(QDir::currentPath())
{
    if (!dir_.isValid() || !QDir::setCurrent(dir_.path()))
        qFatal("no scratch folder");
}

WorkDir::~WorkDir() { QDir::setCurrent(previous_); }

void WorkDir::writeTiles()
{
    for (int slot = 0; slot <= 13; ++slot)
        writeFile(path(tileFile(slot)), bmp24(tileImage(slot)));
}

void WorkDir::writeHighScore(int value)
{
    writeFile(path(QStringLiteral("h-score.txt")), QStringLiteral("\"HighScore=%1\"\r\n").arg(value).toLatin1());
}

QByteArray WorkDir::read(const QString& name) const
{
    QFile f(path(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void stopTimers(ui::MainWindow& window)
{
    for (const char* name : {"GameTimer", "UFO_Timer"})
        if (auto* timer = window.findChild<QTimer*>(QString::fromLatin1(name)))
            timer->stop();
}

bool showActive(ui::MainWindow& window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
}

}  // namespace testing_qt
