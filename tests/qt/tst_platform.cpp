// The timer and message-box adapters: what the rules rely on when they switch a
// timer or ask the player a question.

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "TestSupport.h"
#include "platform/qt/QtPlatform.h"
#include "ui/MainWindow.h"

using namespace testing_qt;

namespace {

// Runs `act` on the message box once it is up; returns what the adapter answered.
int answer(platform::QtMessageBox& boxes, int style, const std::function<void(QMessageBox&)>& act)
{
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll.stop();
            act(*box);
        }
    });
    poll.start(0);
    return boxes.show("テキスト", style, "タイトル");
}

QAbstractButton* buttonWithText(QMessageBox& box, const QString& text)
{
    for (QAbstractButton* b : box.buttons())
        if (b->text() == text)
            return b;
    return nullptr;
}

void spin(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
    }
}

}  // namespace

class PlatformTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::setApplicationFont(); }

    void timerIsPreciseAndFixed()
    {
        QTimer qt;
        platform::QtTimer timer(qt, 400);
        QCOMPARE(qt.interval(), 400);
        QCOMPARE(qt.timerType(), Qt::PreciseTimer);
        QVERIFY(!qt.isSingleShot());
        QVERIFY(!timer.enabled());
        timer.setEnabled(true);
        QVERIFY(timer.enabled());
        QCOMPARE(qt.interval(), 400);
        timer.setEnabled(false);
        QVERIFY(!timer.enabled());
        QVERIFY(!qt.isActive());
        timer.setEnabled(false);
        QVERIFY(!timer.enabled());
    }

    // The rules switch a running timer on again at every UFO step; that must not
    // push its next tick back.
    void switchingOnARunningTimerKeepsItsCountdown()
    {
        QTimer qt;
        platform::QtTimer timer(qt, 400);
        timer.setEnabled(true);
        spin(60);
        timer.setEnabled(true);
        QVERIFY(qt.remainingTime() <= 345);

        // Off and on again starts a fresh interval.
        timer.setEnabled(false);
        timer.setEnabled(true);
        QVERIFY(qt.remainingTime() >= 370);
    }

    void okBoxes_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("how");
        for (const char* how : {"click", "enter", "escape", "close box"}) {
            QTest::addRow("critical, %s", how) << 16 << int(QMessageBox::Critical) << QString::fromLatin1(how);
            QTest::addRow("warning, %s", how) << 48 << int(QMessageBox::Warning) << QString::fromLatin1(how);
        }
    }

    void okBoxes()
    {
        QFETCH(int, style);
        QFETCH(int, icon);
        QFETCH(QString, how);
        WorkDir dir;
        ui::MainWindow w;
        QString title, text;
        int seenIcon = -1;
        QStringList buttons;
        const int result = answer(w.messageBox(), style, [&](QMessageBox& box) {
            title = box.windowTitle();
            text = box.text();
            seenIcon = box.icon();
            for (QAbstractButton* b : box.buttons())
                buttons << b->text();
            if (how == QLatin1String("click"))
                buttonWithText(box, QStringLiteral("OK"))->click();
            else if (how == QLatin1String("enter"))
                QTest::keyClick(&box, Qt::Key_Return);
            else if (how == QLatin1String("escape"))
                QTest::keyClick(&box, Qt::Key_Escape);
            else
                box.close();
        });
        QCOMPARE(result, platform::mb::Ok);
        QCOMPARE(title, QStringLiteral("タイトル"));
        QCOMPARE(text, QStringLiteral("テキスト"));
        QCOMPARE(seenIcon, icon);
        QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
    }

    void yesNoBox_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("expected");
        QTest::newRow("はい") << "yes" << 6;
        QTest::newRow("いいえ") << "no" << 7;
        QTest::newRow("Enter takes the default") << "enter" << 6;
        QTest::newRow("Esc") << "escape" << 7;
        QTest::newRow("close box") << "close box" << 7;
    }

    void yesNoBox()
    {
        QFETCH(QString, how);
        QFETCH(int, expected);
        WorkDir dir;
        ui::MainWindow w;
        QStringList buttons;
        QString defaultText;
        int icon = -1;
        const int result = answer(w.messageBox(), 52, [&](QMessageBox& box) {
            for (QAbstractButton* b : box.buttons())
                buttons << b->text();
            icon = box.icon();
            if (QPushButton* d = box.defaultButton())
                defaultText = d->text();
            if (how == QLatin1String("yes"))
                buttonWithText(box, QStringLiteral("はい"))->click();
            else if (how == QLatin1String("no"))
                buttonWithText(box, QStringLiteral("いいえ"))->click();
            else if (how == QLatin1String("enter"))
                QTest::keyClick(&box, Qt::Key_Return);
            else if (how == QLatin1String("escape"))
                QTest::keyClick(&box, Qt::Key_Escape);
            else {
                QCloseEvent closeBox;
                QApplication::sendEvent(box.windowHandle(), &closeBox);
            }
        });
        QCOMPARE(result, expected);
        QCOMPARE(icon, int(QMessageBox::Warning));
        buttons.sort();
        QCOMPARE(buttons, (QStringList{QStringLiteral("いいえ"), QStringLiteral("はい")}));
        QCOMPARE(defaultText, QStringLiteral("はい"));
    }

    // Over the window while it is on screen; on its own before it is shown.
    void boxParent()
    {
        WorkDir dir;
        ui::MainWindow w;
        QWidget* parent = &w;
        answer(w.messageBox(), 16, [&](QMessageBox& box) {
            parent = box.parentWidget();
            box.close();
        });
        QCOMPARE(parent, nullptr);

        QVERIFY(showActive(w));
        answer(w.messageBox(), 48, [&](QMessageBox& box) {
            parent = box.parentWidget();
            QVERIFY(box.isModal());
            box.close();
        });
        QCOMPARE(parent, &w);
    }
};

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
