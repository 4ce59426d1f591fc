#pragma once
// A logout sends SIGTERM or SIGHUP, also while the game-over box is up: the best of a
// game that has ended is saved first, then the program ends as the signal would have
// ended it, quietly.

#include <QObject>
#include <functional>

namespace ui {

class SaveOnSignals : public QObject {
public:
    // `save` runs on the event loop, never inside the signal handler.
    explicit SaveOnSignals(std::function<void()> save);
    ~SaveOnSignals() override;
    SaveOnSignals(const SaveOnSignals&) = delete;
    SaveOnSignals& operator=(const SaveOnSignals&) = delete;

private:
    void end();

    std::function<void()> save_;
};

}  // namespace ui
