#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace testing_qt {

QString tileFile(int slot)
{
    static const char* named[] = {"ufo01.bmp", "ufo02.bmp", "bom.bmp", "ban.bmp"};
    return slot <= 9 ? QStringLiteral("n%1.bmp").arg(slot) : QString::fromLatin1(named[slot - 10]);
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

QByteArray bmp24(const QImage& image, bool topDown)
{
    const int w = image.width(), h = image.height();
    const qint64 stride = ((w * 24 + 31) / 32) * 4;
    QByteArray b("BM");
    auto put = [&b](qint64 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.append(char((v >> (8 * i)) & 0xff));
    };
    put(54 + stride * h, 4), put(0, 4), put(54, 4);  // file header
    put(40, 4), put(w, 4), put(topDown ? -h : h, 4), put(1, 2), put(24, 2), put(0, 4);  // info header
    put(stride * h, 4), put(2835, 4), put(2835, 4), put(0, 8);
    for (int row = 0; row < h; ++row) {
        for (int x = 0; x < w; ++x)
            put(image.pixel(x, topDown ? row : h - 1 - row), 3);  // blue, green, red
        b.append(QByteArray(stride - 3 * w, '\0'));
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

WorkDir::WorkDir(bool withGameFiles) : previous_(QDir::currentPath())
{
    if (!dir_.isValid() || !QDir::setCurrent(dir_.path()))
        qFatal("no scratch folder");
    if (withGameFiles)
        writeAll();
}

WorkDir::~WorkDir() { QDir::setCurrent(previous_); }

void WorkDir::writeAll()
{
    for (int slot = 0; slot <= 13; ++slot)
        writeFile(path(tileFile(slot)), bmp24(tileImage(slot)));
    writeFile(path(QStringLiteral("h-score.txt")), "\"HighScore=0\"\r\n");
}

QByteArray WorkDir::read(const QString& name) const
{
    QFile f(path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString optionStates(const QWidget& window)
{
    QString states;
    for (const char* name : kOptions)
        states += child<QRadioButton>(window, name)->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    return states;
}

void stopTimers(ui::MainWindow& window)
{
    for (const char* name : {"GameTimer", "UFO_Timer"})
        child<QTimer>(window, name)->stop();
}

bool showActive(ui::MainWindow& window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
}

BoxWatcher::BoxWatcher(std::function<void(QMessageBox&)> act)
{
    QObject::connect(&poll_, &QTimer::timeout, [this, act = std::move(act)] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++seen;
            act(*box);
        }
    });
    poll_.start(0);
}

QString describeBox(const QMessageBox& box)
{
    QStringList buttons;
    for (QAbstractButton* b : box.buttons())
        buttons << b->text();
    buttons.sort();
    const QString icon = box.icon() == QMessageBox::Critical  ? QStringLiteral("critical")
                         : box.icon() == QMessageBox::Warning ? QStringLiteral("warning")
                                                              : QString::number(box.icon());
    return QStringList{box.windowTitle(), box.text(), icon, buttons.join(QLatin1Char(' ')),
                       box.defaultButton() ? box.defaultButton()->text() : QStringLiteral("no default"),
                       box.parentWidget() ? box.parentWidget()->objectName() : QStringLiteral("no parent"),
                       box.isModal() ? QStringLiteral("modal") : QStringLiteral("modeless")}
        .join(QLatin1Char('|'));
}

}  // namespace testing_qt
