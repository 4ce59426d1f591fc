// The timer and message-box adapters: what the rules rely on when they switch a
// timer or ask the player a question.

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QWindow>

#include "TestSupport.h"

using namespace testing_qt;

class PlatformTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::setApplicationLook(); }

    // The rules switch a running timer on again at every UFO step; that must not
    // push its next tick back.
    void switchingOnARunningTimerKeepsItsCountdown()
    {
        QTimer qt;
        platform::QtTimer timer(qt, 400);
        QVERIFY(!timer.enabled());
        timer.setEnabled(true);
        QVERIFY(timer.enabled());
        QElapsedTimer spin;  // busy: no event loop turns while the countdown runs
        for (spin.start(); spin.elapsed() < 60;) {
        }
        timer.setEnabled(true);
        QVERIFY(qt.remainingTime() <= 345);
        QCOMPARE(qt.interval(), 400);

        // Off and on again starts a fresh interval; off twice is still off.
        timer.setEnabled(false);
        timer.setEnabled(true);
        QVERIFY(qt.remainingTime() >= 370);
        timer.setEnabled(false);
        timer.setEnabled(false);
        QVERIFY(!timer.enabled() && !qt.isActive());
    }

    // Each style, answered each way the player can: a click, Enter, Esc, the close box.
    void boxes()
    {
        WorkDir dir;
        ui::MainWindow w;
        const struct {
            int style;
            const char* how;
            int result;
        } answers[] = {{16, "OK", 1},   {16, "enter", 1}, {16, "escape", 1}, {16, "close box", 1},
                       {48, "OK", 1},   {48, "enter", 1}, {48, "escape", 1}, {48, "close box", 1},
                       {52, "はい", 6}, {52, "いいえ", 7}, {52, "enter", 6},  {52, "escape", 7},
                       {52, "close box", 7}};
        for (const auto& a : answers) {
            const QString how = QString::fromUtf8(a.how);
            QString seen;
            BoxWatcher watcher([&](QMessageBox& box) {
                seen = describeBox(box);
                if (how == QLatin1String("enter") || how == QLatin1String("escape"))
                    QTest::keyClick(&box, how == QLatin1String("enter") ? Qt::Key_Return : Qt::Key_Escape);
                else if (how == QLatin1String("close box")) {
                    QCloseEvent closeBox;
                    QApplication::sendEvent(box.windowHandle(), &closeBox);
                } else {
                    for (QAbstractButton* b : box.buttons())
                        if (b->text() == how)
                            b->click();
                }
            });
            const int result = w.messageBox().show("テキスト", a.style, "タイトル");
            const QString look = a.style == 52 ? QStringLiteral("warning|いいえ はい|はい")
                                 : a.style == 16 ? QStringLiteral("critical|OK|OK")
                                                 : QStringLiteral("warning|OK|OK");
            // On its own while the window is not on screen.
            QCOMPARE(QStringLiteral("%1 %2: %3 ").arg(a.style).arg(how).arg(result) + seen,
                     QStringLiteral("%1 %2: %3 ").arg(a.style).arg(how).arg(a.result) + "タイトル|テキスト|" + look +
                         "|no parent|modal");
        }

        // Over the window while it is on screen.
        QVERIFY(showActive(w));
        QString seen;
        BoxWatcher watcher([&](QMessageBox& box) {
            seen = describeBox(box);
            box.close();
        });
        w.messageBox().show("テキスト", 48, "タイトル");
        QCOMPARE(seen, QStringLiteral("タイトル|テキスト|warning|OK|OK|frmMain|modal"));
    }
};

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
