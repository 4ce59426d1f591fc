#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>

namespace testing_qt {

QRgb tilePixel(int slot, int x, int y) { return qRgb(20 + slot * 16, 10 + x * 2, 10 + y * 2); }

QImage tileImage(int slot)
{
    const bool ufo = slot == 10 || slot == 11;
    QImage image(ufo ? 96 : 33, ufo ? 70 : 33, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, tilePixel(slot, x, y));
    return image;
}

WorkDir::WorkDir(bool withGameFiles) : previous_(QDir::currentPath())
{
    if (!dir_.isValid() || !QDir::setCurrent(dir_.path()))
        qFatal("no scratch folder");
    const QStringList named = {"ufo01.bmp", "ufo02.bmp", "bom.bmp", "ban.bmp"};
    for (int slot = 0; withGameFiles && slot <= 13; ++slot)
        tileImage(slot).save(slot <= 9 ? QStringLiteral("n%1.bmp").arg(slot) : named[slot - 10], "BMP");
    if (withGameFiles)
        write(QStringLiteral("h-score.txt"), "\"HighScore=0\"\r\n");
}

WorkDir::~WorkDir() { QDir::setCurrent(previous_); }

QByteArray WorkDir::read(const QString& name) const
{
    QFile f(path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WorkDir::write(const QString& name, const QByteArray& bytes) const
{
    QFile f(path(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(name));
}

QString optionStates(const QWidget& window)
{
    QString states;
    for (const char* name : {"optMax_0", "optMax_1", "optMode_0", "optMode_1"})
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
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

BoxWatcher::BoxWatcher(std::function<void(QMessageBox&)> act)
{
    QObject::connect(&poll_, &QTimer::timeout, [this, act = std::move(act)] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            ++seen, act(*box);
    });
    poll_.start(0);
}

}  // namespace testing_qt
