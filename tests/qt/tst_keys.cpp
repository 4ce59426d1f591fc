// Key preview: every arrow key reaches Form_KeyDown once, whatever has the focus,
// and never moves the focus or an option; nothing gets through a modal box.

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTest>
#include <QWindow>
#include <memory>

#include "TestSupport.h"

using namespace testing_qt;

namespace {

// As the platform delivers a key: to the window, which routes it to its focus
// widget and holds it back while a modal box blocks the window.
void pressThroughWindow(QWidget& window, Qt::Key key, bool autoRepeat, Qt::KeyboardModifiers mods = {})
{
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, mods, QString(), autoRepeat);
        QApplication::sendEvent(window.windowHandle(), &event);
    }
}

}  // namespace

class KeysTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Rig> rig_;
    std::vector<std::int16_t> keys_;

    ui::MainWindow& w() { return rig_->w; }

    // Puts the focus on `name`, or on nothing at all.
    bool focus(const QString& name)
    {
        QWidget* target = w().findChild<QWidget*>(name);  // none for "nothing"
        if (target)
            target->setFocus(Qt::OtherFocusReason);
        else if (QApplication::focusWidget())
            QApplication::focusWidget()->clearFocus();
        return QApplication::focusWidget() == target && w().focusWidget() == target;
    }

private slots:
    void initTestCase() { ui::setApplicationLook(); }

    void init()
    {
        rig_ = std::make_unique<Rig>(3);
        keys_.clear();
        w().setKeyObserver([this](std::int16_t code) { keys_.push_back(code); });
        QVERIFY(w().load());
        stopTimers(w());
        QVERIFY(showActive(w()));
    }

    void cleanup() { rig_.reset(); }

    // Pressed or auto-repeated, through the window or straight to the focus widget as QTest sends it.
    void arrowReachesHandlerOnce()
    {
        for (const char* focused :
             {"picSpace", "cmdStart", "cmdClose", "optMax_0", "optMax_1", "optMode_0", "optMode_1", "nothing"})
            for (const auto& [key, code] : {std::pair{Qt::Key_Left, 37}, {Qt::Key_Right, 39}, {Qt::Key_Down, 40},
                                            {Qt::Key_Up, 38}})
                for (bool repeat : {false, true})
                    for (bool direct : {false, true}) {
                        QVERIFY2(focus(QString::fromLatin1(focused)), focused);
                        auto state = [&](const std::vector<std::int16_t>& seen) {
                            QWidget* f = QApplication::focusWidget();
                            return QString::asprintf("%s, key %d%s%s: handler got %d keys, the first %d, ", focused,
                                                     code, repeat ? " repeat" : "", direct ? " direct" : "",
                                                     int(seen.size()), seen.empty() ? 0 : seen[0]) +
                                   (f ? f->objectName() : QStringLiteral("nothing")) + " focused, options " +
                                   optionStates(w());
                        };
                        const QString expected = state({std::int16_t(code)});
                        keys_.clear();
                        if (direct)
                            QTest::simulateEvent(QApplication::focusWidget() ? QApplication::focusWidget() : &w(), true,
                                                 key, Qt::NoModifier, QString(), repeat);
                        else
                            pressThroughWindow(w(), key, repeat);
                        QCOMPARE(state(keys_), expected);
                    }

        // Qt may offer a press again to each parent of the focus widget; those offers must not count.
        QVERIFY(focus(QStringLiteral("optMax_1")));
        keys_.clear();
        for (QWidget* parent : {child(w(), "fraMax"), static_cast<QWidget*>(&w())})
            QTest::simulateEvent(parent, true, Qt::Key_Left, Qt::NoModifier, QString(), false);
        QVERIFY(keys_.empty());
    }

    // The same, seen in the game: one press moves the falling block one column.
    void arrowMovesTheBlockOnce_data()
    {
        QTest::addColumn<QString>("focused");
        for (const char* f : {"picSpace", "cmdStart", "cmdClose", "optMax_1", "optMode_0", "nothing"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }

    void arrowMovesTheBlockOnce()
    {
        QFETCH(QString, focused);
        auto& g = w().game();
        g.ClearBoard();
        g.playing = game::True;
        g.cargo = 3;
        g.dropCol = 4;
        g.prevCol = g.pieceCol = 4;
        g.prevRow = g.pieceRow = 2;
        auto* gameTimer = child<QTimer>(w(), "GameTimer");
        gameTimer->start();  // the block falls only while it runs; no event loop turns here

        QVERIFY(focus(focused));
        // Shift and Ctrl are ignored by the rules but must not turn an arrow into something else.
        pressThroughWindow(w(), Qt::Key_Left, false, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(g.pieceCol, 3);
        pressThroughWindow(w(), Qt::Key_Right, true);
        pressThroughWindow(w(), Qt::Key_Right, true);
        QCOMPARE(g.pieceCol, 5);
        pressThroughWindow(w(), Qt::Key_Down, false);
        QCOMPARE(g.pieceRow, 8);
        QCOMPARE(g.board(5, 8), 3);
        gameTimer->stop();
        QCOMPARE(keys_, (std::vector<std::int16_t>{37, 39, 39, 40}));
    }

    // Tab, Backtab and Space keep their usual jobs and never reach the handler.
    void otherKeysWorkAsUsual()
    {
        QCOMPARE(QApplication::focusWidget(), &w().surface());  // tab index 0 holds the focus at the start
        auto press = [](Qt::Key key, int times = 1) {
            QStringList seen;
            for (int i = 0; i < times; ++i) {
                QTest::keyClick(QApplication::focusWidget(), key);
                seen << QApplication::focusWidget()->objectName();
            }
            return seen;
        };
        // Every option button is a stop of its own, whichever is selected: with the
        // arrows kept for the game, Tab and Space pick an option.
        const QStringList cycle{"cmdClose", "cmdStart", "optMode_0", "optMax_0", "optMax_1", "optMode_1", "picSpace"};
        QCOMPARE(press(Qt::Key_Tab, 7), cycle);
        QCOMPARE(press(Qt::Key_Tab, 7), cycle);
        QCOMPARE(press(Qt::Key_Tab), QStringList{"cmdClose"});
        QCOMPARE(press(Qt::Key_Backtab), QStringList{"picSpace"});
        QCOMPARE(press(Qt::Key_Tab, 5).last(), QStringLiteral("optMax_1"));
        press(Qt::Key_Space);
        QCOMPARE(optionStates(w()), QStringLiteral("0110"));
        QCOMPARE(w().game().maxNumber, 9);
        QCOMPARE(press(Qt::Key_Tab, 2), (QStringList{"optMode_1", "picSpace"}));
        QCOMPARE(press(Qt::Key_Tab, 7), cycle);

        // Space on the start button starts a game; the rules move the focus to the playfield.
        QVERIFY(focus(QStringLiteral("cmdStart")));
        press(Qt::Key_Space);
        QCOMPARE(w().game().playing, game::True);
        QCOMPARE(QApplication::focusWidget(), &w().surface());
        stopTimers(w());
        QVERIFY(keys_.empty());
    }

    void nothingGetsPastAModalBox()
    {
        QVERIFY(focus(QStringLiteral("cmdStart")));
        const QString optionsBefore = optionStates(w());
        BoxWatcher boxes([this](QMessageBox& box) {
            for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Down}) {
                pressThroughWindow(w(), key, false);  // blocked by the box
                for (const auto& [target, repeat] : {std::pair<QWidget*, bool>{&w().surface(), false},
                                                     {child(w(), "cmdStart"), true},
                                                     {child(w(), "optMode_0"), false}})
                    QTest::simulateEvent(target, true, key, Qt::NoModifier, QString(), repeat);
                QTest::keyClick(&box, key);  // the box's own business
            }
            QTest::keyClick(&box, Qt::Key_Escape);
        });
        QCOMPARE(w().messageBox().show("?", platform::mb::YesNoExclamation, "!"), platform::mb::No);
        QCOMPARE(boxes.seen, 1);
        QVERIFY(keys_.empty());
        QCOMPARE(optionStates(w()), optionsBefore);

        // Once the box has gone, keys flow again.
        QVERIFY(showActive(w()));
        QVERIFY(focus(QStringLiteral("cmdStart")));
        pressThroughWindow(w(), Qt::Key_Down, false);
        QCOMPARE(keys_, std::vector<std::int16_t>{40});
    }
};

QTEST_MAIN(KeysTest)
#include "tst_keys.moc"
