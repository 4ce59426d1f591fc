#pragma once
// Timers, message boxes and control access on Qt.

#include <QPointer>
#include <QWidget>
#include <array>

#include "platform/Platform.h"

class QTimer;

namespace platform {

// A fixed-interval timer that is only ever switched on and off. Switching on a
// running timer leaves its countdown alone; switching off and on starts it afresh.
class QtTimer : public Timer {
public:
    QtTimer(QTimer& timer, int intervalMs);
    void setEnabled(bool on) override;
    bool enabled() const override;

private:
    QTimer& timer_;
};

// A modal box over the main window while that is on screen, otherwise on its own.
class QtMessageBox : public MessageBox {
public:
    explicit QtMessageBox(QWidget* mainWindow);
    int show(const std::string& text, int style, const std::string& title) override;

private:
    QPointer<QWidget> mainWindow_;
};

class QtControls : public Controls {
public:
    explicit QtControls(QWidget* mainWindow);
    void bind(Control c, QWidget* widget);
    QWidget* widget(Control c) const;

    void setCaption(Control c, const std::string& utf8) override;
    void setEnabled(Control c, bool on) override;
    void setFocus(Control c) override;
    void unloadWindow() override;

private:
    QPointer<QWidget> mainWindow_;
    std::array<QPointer<QWidget>, 10> widgets_{};
};

}  // namespace platform
