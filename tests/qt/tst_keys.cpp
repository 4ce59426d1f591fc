// Key preview: an arrow key reaches Form_KeyDown once, whatever has the focus, and
// then the focused control as usual; nothing gets past a modal box.

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <QWindow>
#include <memory>

#include "TestSupport.h"

using namespace testing_qt;

namespace {

// As the platform delivers a key: to the window, which routes it to its focus widget.
void press(QWidget& window, Qt::Key key, bool autoRepeat = false)
{
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(window.windowHandle(), &event);
    }
}

}  // namespace

class KeysTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Rig> rig_;
    std::vector<std::int16_t> keys_;

    ui::MainWindow& w() { return rig_->w; }

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

    // Also where the focused control ignores the key and Qt offers it to the parents.
    void handlerSeesEachArrowOnce()
    {
        for (const char* name : {"picSpace", "cmdStart", "cmdClose", "optMax_0", "optMax_1", "optMode_1", "nothing"})
            for (const auto& [key, code] : {std::pair{Qt::Key_Left, 37}, {Qt::Key_Up, 38}, {Qt::Key_Right, 39},
                                            {Qt::Key_Down, 40}})
                for (bool repeat : {false, true}) {
                    if (QWidget* target = child(w(), name))
                        target->setFocus();
                    else if (QApplication::focusWidget())
                        QApplication::focusWidget()->clearFocus();
                    QCOMPARE(QApplication::focusWidget(), child(w(), name));
                    keys_.clear();
                    press(w(), key, repeat);
                    QCOMPARE(keys_, std::vector<std::int16_t>{std::int16_t(code)});
                }
    }

    // The key goes on to the option button, which selects its neighbour; the game takes the choice.
    void arrowOnAnOptionChoosesTheOtherInIdle()
    {
        child(w(), "optMax_0")->setFocus();
        press(w(), Qt::Key_Down);
        QCOMPARE(w().game().maxNumber, 9);
        press(w(), Qt::Key_Up);  // from where Down left the focus
        QCOMPARE(w().game().maxNumber, 5);
        child(w(), "optMode_0")->setFocus();
        press(w(), Qt::Key_Down);
        QCOMPARE(w().game().gameMode, 1);
        QVERIFY(child<QRadioButton>(w(), "optMax_0")->isChecked());
        QVERIFY(child<QRadioButton>(w(), "optMode_1")->isChecked());
        QCOMPARE(keys_, (std::vector<std::int16_t>{40, 38, 40}));
    }

    void arrowsSteerTheBlockAndNothingElseInPlay()
    {
        child(w(), "cmdStart")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(QApplication::focusWidget(), child(w(), "picSpace"));
        stopTimers(w());
        auto& g = w().game();
        g.ClearBoard();
        g.cargo = 3;
        g.dropCol = g.prevCol = g.pieceCol = 4;
        g.prevRow = g.pieceRow = 2;
        child<QTimer>(w(), "GameTimer")->start();  // the block falls only while it runs; no event loop turns here
        const QString options = optionStates(w());
        press(w(), Qt::Key_Left);
        press(w(), Qt::Key_Right, true);
        press(w(), Qt::Key_Right, true);
        press(w(), Qt::Key_Up);
        press(w(), Qt::Key_Down);
        QCOMPARE(g.board(5, 8), 3);
        stopTimers(w());
        QCOMPARE(QApplication::focusWidget(), child(w(), "picSpace"));
        QCOMPARE(optionStates(w()), options);
        QCOMPARE(keys_, (std::vector<std::int16_t>{37, 39, 39, 38, 40}));
    }

    void nothingGetsPastAModalBox()
    {
        BoxWatcher boxes([this](QMessageBox& box) {
            for (Qt::Key key : {Qt::Key_Left, Qt::Key_Down}) {
                press(w(), key);  // blocked by the box
                QTest::simulateEvent(w().focusWidget(), true, key, Qt::NoModifier, QString(), false);
                QTest::keyClick(&box, key);  // the box's own business
            }
            QTest::keyClick(&box, Qt::Key_Escape);
        });
        QCOMPARE(w().messageBox().show("?", platform::mb::YesNoExclamation, "!"), platform::mb::No);
        QCOMPARE(boxes.seen, 1);
        QVERIFY(keys_.empty());
        QVERIFY(child<QRadioButton>(w(), "optMax_0")->isChecked());
        QVERIFY(child<QRadioButton>(w(), "optMode_0")->isChecked());
    }
};

QTEST_MAIN(KeysTest)
#include "tst_keys.moc"
