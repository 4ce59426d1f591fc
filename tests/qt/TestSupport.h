#pragma once
// Shared pieces of the Qt tests: a scratch working folder with the game's files, a sound
// device that only listens, a window over both, and a hand for the message boxes.

#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "ui/window/MainWindow.h"

class QMessageBox;

namespace testing_qt {

// Tile slot 0 to 13 as the tests draw it: 33 x 33, the UFOs 96 x 70 (the cargo covers their
// lower part); red names the slot, green and blue the offset.
QRgb tilePixel(int slot, int x, int y);
QImage tileImage(int slot);

// A temporary folder made the working directory for the object's lifetime.
class WorkDir {
public:
    explicit WorkDir(bool withGameFiles = false);  // the fourteen tiles and a zero best
    ~WorkDir();
    QString path(const QString& name) const { return dir_.filePath(name); }
    QByteArray read(const QString& name) const;
    void write(const QString& name, const QByteArray& bytes) const;

private:
    QTemporaryDir dir_;
    QString previous_;
};

struct RecordingAudio : platform::AudioDevice {
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

// Which of optMax_0, optMax_1, optMode_0 and optMode_1 are checked, as "1010".
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

}  // namespace testing_qt
