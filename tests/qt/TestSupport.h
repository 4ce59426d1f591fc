#pragma once
// Shared pieces of the Qt tests: a scratch working folder with tiles whose every
// pixel says which tile and which offset it is, and a sound device that only listens.

#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace ui {
class MainWindow;
}

namespace testing_qt {

inline constexpr int kCell = 33;
inline constexpr int kUfoWidth = 96;
inline constexpr int kUfoHeight = 70;  // taller than 63: the cargo is painted over its lower part

// File name of a tile slot (0 to 13).
QString tileFile(int slot);
QSize tileSize(int slot);

// Pixel (x, y) of slot's test tile: red names the slot, green and blue the offset.
// Never black, so a tile cannot be mistaken for a filled rectangle.
QRgb tilePixel(int slot, int x, int y);
QImage tileImage(int slot);

// A BMP written byte by byte: 24 bits, bottom-up unless topDown.
QByteArray bmp24(const QImage& image, bool topDown = false);
void writeFile(const QString& path, const QByteArray& bytes);

// A temporary folder made the working directory for the object's lifetime.
class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;

    QString path(const QString& name) const { return dir_.filePath(name); }
    void writeTiles();  // all fourteen
    void writeHighScore(int value);
    void writeAll()
    {
        writeTiles();
        writeHighScore(0);
    }
    QByteArray read(const QString& name) const;

private:
    QTemporaryDir dir_;
    QString previous_;
};

class RecordingAudio : public platform::AudioDevice {
public:
    void startLoop(const std::string& fileName) override { calls.push_back("loop " + fileName); }
    void playToEnd(const std::string& fileName) override { calls.push_back("play " + fileName); }
    void stop() override { calls.push_back("stop"); }
    std::vector<std::string> calls;
};

// Stops both timers so nothing moves while a test looks.
void stopTimers(ui::MainWindow& window);
// Shows the window and makes it the active one (keys go only to an active window).
bool showActive(ui::MainWindow& window);

}  // namespace testing_qt
