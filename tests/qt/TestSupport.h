#pragma once
// Shared pieces of the Qt tests: a scratch working folder with tiles whose every
// pixel says which tile and which offset it is, a sound device that only listens,
// a window over both, and a hand for the message boxes.

#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "ui/MainWindow.h"

class QMessageBox;

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
    explicit WorkDir(bool withGameFiles = false);
    ~WorkDir();

    QString path(const QString& name) const { return dir_.filePath(name); }
    void writeAll();  // the fourteen tiles and a zero high score
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

// A window over a folder with every game file and a listening sound device; not loaded.
struct Rig {
    explicit Rig(std::uint64_t seed = 1) : w({seed, &audio}) {}
    WorkDir dir{true};
    RecordingAudio audio;
    ui::MainWindow w;
};

template <typename T = QWidget>
T* child(const QObject& parent, const char* name)
{
    return parent.findChild<T*>(QString::fromLatin1(name));
}

inline const char* const kOptions[] = {"optMax_0", "optMax_1", "optMode_0", "optMode_1"};
// Which option buttons are checked, as "1010" in kOptions order.
QString optionStates(const QWidget& window);

// Stops both timers so nothing moves while a test looks.
void stopTimers(ui::MainWindow& window);
// Shows the window and makes it the active one (keys go only to an active window).
bool showActive(ui::MainWindow& window);

// While it lives, hands each modal message box that comes up to `act`, which must
// close it. Polls, because the box runs its own event loop.
class BoxWatcher {
public:
    explicit BoxWatcher(std::function<void(QMessageBox&)> act);
    int seen = 0;

private:
    QTimer poll_;
};

// "title|text|icon|buttons|default|parent|modality" of a box, buttons sorted.
QString describeBox(const QMessageBox& box);

}  // namespace testing_qt
