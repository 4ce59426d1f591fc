#include "platform/qt/QtPlatform.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace platform {

QtTimer::QtTimer(QTimer& timer, int intervalMs) : timer_(timer)
{
    // The default coarse timer drifts by several ms a tick; the game's pace is these ticks.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(false);
    timer_.setInterval(intervalMs);
}

void QtTimer::setEnabled(bool on)
{
    if (!on)
        timer_.stop();
    else if (!timer_.isActive())
        timer_.start();  // start() on a running timer would restart its countdown
}

bool QtTimer::enabled() const { return timer_.isActive(); }

QtMessageBox::QtMessageBox(QWidget* mainWindow) : mainWindow_(mainWindow) {}

int QtMessageBox::show(const std::string& text, int style, const std::string& title)
{
    QWidget* parent = mainWindow_ && mainWindow_->isVisible() ? mainWindow_.data() : nullptr;
    QMessageBox box(parent);
    box.setWindowTitle(QString::fromStdString(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setWindowModality(Qt::ApplicationModal);

    const bool yesNo = style == mb::YesNoExclamation;
    box.setIcon(style == mb::Critical ? QMessageBox::Critical : QMessageBox::Warning);
    if (yesNo) {
        QPushButton* yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);  // Esc and the close box both answer No
        box.exec();
        return box.clickedButton() == yes ? mb::Yes : mb::No;
    }
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return mb::Ok;
}

QtControls::QtControls(QWidget* mainWindow) : mainWindow_(mainWindow) {}

void QtControls::bind(Control c, QWidget* widget) { widgets_.at(static_cast<size_t>(c)) = widget; }

QWidget* QtControls::widget(Control c) const { return widgets_.at(static_cast<size_t>(c)); }

void QtControls::setCaption(Control c, const std::string& utf8)
{
    const QString text = QString::fromStdString(utf8);
    QWidget* w = widget(c);
    if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(text);
}

void QtControls::setEnabled(Control c, bool on)
{
    if (QWidget* w = widget(c))
        w->setEnabled(on);
}

void QtControls::setFocus(Control c)
{
    if (QWidget* w = widget(c))
        w->setFocus(Qt::OtherFocusReason);
}

void QtControls::unloadWindow()
{
    if (mainWindow_)
        mainWindow_->close();
}

}  // namespace platform
