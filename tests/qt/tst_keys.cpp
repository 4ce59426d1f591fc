// Key preview: every arrow key reaches Form_KeyDown once, whatever has the focus,
// and never moves the focus or an option; nothing gets through a modal box.

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <memory>

#include "TestSupport.h"
#include "ui/MainWindow.h"

using namespace testing_qt;

namespace {

const char* const kOptions[] = {"optMax_0", "optMax_1", "optMode_0", "optMode_1"};

// As the platform delivers a key: to the window, which routes it to its focus
// widget and holds it back while a modal box blocks the window.
void pressThroughWindow(QWidget& window, Qt::Key key, bool autoRepeat, Qt::KeyboardModifiers mods = {})
{
    QKeyEvent press(QEvent::KeyPress, key, mods, QString(), autoRepeat);
    QApplication::sendEvent(window.windowHandle(), &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, QString(), autoRepeat);
    QApplication::sendEvent(window.windowHandle(), &release);
}

}  // namespace

class KeysTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WorkDir> dir_;
    std::unique_ptr<RecordingAudio> audio_;
    std::unique_ptr<ui::MainWindow> w_;
    std::vector<std::int16_t> keys_;

    QWidget* control(const QString& name) { return w_->findChild<QWidget*>(name); }
    QRadioButton* option(const char* name) { return w_->findChild<QRadioButton*>(QString::fromLatin1(name)); }

    QList<bool> optionStates()
    {
        QList<bool> states;
        for (const char* name : kOptions)
            states << option(name)->isChecked();
        return states;
    }

    // Puts the focus on `name`, or on nothing at all.
    bool focus(const QString& name)
    {
        if (name == QLatin1String("nothing")) {
            if (QWidget* f = QApplication::focusWidget())
                f->clearFocus();
            return QApplication::focusWidget() == nullptr && w_->focusWidget() == nullptr;
        }
        control(name)->setFocus(Qt::OtherFocusReason);
        return QApplication::focusWidget() == control(name);
    }

private slots:
    void initTestCase() { ui::setApplicationFont(); }

    void init()
    {
        dir_ = std::make_unique<WorkDir>();
        dir_->writeAll();
        audio_ = std::make_unique<RecordingAudio>();
        w_ = std::make_unique<ui::MainWindow>(ui::WindowOptions{std::uint64_t{3}, audio_.get()});
        keys_.clear();
        w_->setKeyObserver([this](std::int16_t code) { keys_.push_back(code); });
        QVERIFY(w_->load());
        stopTimers(*w_);
        QVERIFY(showActive(*w_));
    }

    void cleanup()
    {
        w_.reset();
        audio_.reset();
        dir_.reset();
    }

    void arrowReachesHandlerOnce_data()
    {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("autoRepeat");
        QTest::addColumn<bool>("direct");  // sent straight to the focus widget, as QTest does
        const struct {
            Qt::Key key;
            int code;
            const char* name;
        } keys[] = {{Qt::Key_Left, 37, "Left"}, {Qt::Key_Right, 39, "Right"}, {Qt::Key_Down, 40, "Down"},
                    {Qt::Key_Up, 38, "Up"}};
        for (const char* focused :
             {"picSpace", "cmdStart", "cmdClose", "optMax_0", "optMax_1", "optMode_0", "optMode_1", "nothing"})
            for (const auto& k : keys)
                for (bool repeat : {false, true})
                    for (bool direct : {false, true})
                        QTest::addRow("%s %s%s%s", focused, k.name, repeat ? " repeat" : "", direct ? " direct" : "")
                            << QString::fromLatin1(focused) << int(k.key) << k.code << repeat << direct;
    }

    void arrowReachesHandlerOnce()
    {
        QFETCH(QString, focused);
        QFETCH(int, key);
        QFETCH(int, code);
        QFETCH(bool, autoRepeat);
        QFETCH(bool, direct);

        QVERIFY(focus(focused));
        QWidget* focusBefore = QApplication::focusWidget();
        const QList<bool> optionsBefore = optionStates();

        if (direct) {
            QWidget* target = focusBefore ? focusBefore : w_.get();
            QTest::simulateEvent(target, true, key, Qt::NoModifier, QString(), autoRepeat);
        } else {
            pressThroughWindow(*w_, Qt::Key(key), autoRepeat);
        }

        QCOMPARE(keys_, std::vector<std::int16_t>{static_cast<std::int16_t>(code)});
        QCOMPARE(QApplication::focusWidget(), focusBefore);
        QCOMPARE(optionStates(), optionsBefore);
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
        auto& g = w_->game();
        g.ClearBoard();
        g.playing = game::True;
        g.cargo = 3;
        g.dropCol = 4;
        g.prevCol = g.pieceCol = 4;
        g.prevRow = g.pieceRow = 2;
        auto* gameTimer = w_->findChild<QTimer*>(QStringLiteral("GameTimer"));
        gameTimer->start();  // the block falls only while it runs; no event loop turns here

        QVERIFY(focus(focused));
        pressThroughWindow(*w_, Qt::Key_Left, false);
        QCOMPARE(g.pieceCol, 3);
        pressThroughWindow(*w_, Qt::Key_Right, true);
        pressThroughWindow(*w_, Qt::Key_Right, true);
        QCOMPARE(g.pieceCol, 5);
        pressThroughWindow(*w_, Qt::Key_Down, false);
        QCOMPARE(g.pieceRow, 8);
        QCOMPARE(g.board(5, 8), 3);
        gameTimer->stop();
        QCOMPARE(keys_.size(), size_t(4));
    }

    void shiftStateIsPassed()
    {
        // The rules ignore it, but it must not turn an arrow into something else.
        QVERIFY(focus(QStringLiteral("cmdStart")));
        pressThroughWindow(*w_, Qt::Key_Left, false, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(keys_, std::vector<std::int16_t>{37});
    }

    void otherKeysWorkAsUsual()
    {
        QVERIFY(focus(QStringLiteral("picSpace")));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), control(QStringLiteral("cmdClose")));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), control(QStringLiteral("picSpace")));

        // Space on an option button selects it and runs its click handler.
        QVERIFY(focus(QStringLiteral("optMax_1")));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QVERIFY(option("optMax_1")->isChecked());
        QCOMPARE(w_->game().maxNumber, 9);

        // Space on the start button starts a game.
        QVERIFY(focus(QStringLiteral("cmdStart")));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(w_->game().playing, game::True);
        QCOMPARE(QApplication::focusWidget(), &w_->surface());  // the rules move it to the playfield
        stopTimers(*w_);

        QVERIFY(keys_.empty());
    }

    void nothingGetsPastAModalBox()
    {
        QVERIFY(focus(QStringLiteral("cmdStart")));
        const QList<bool> optionsBefore = optionStates();
        bool sawBox = false;
        QTimer::singleShot(0, this, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box)
                return;
            sawBox = true;
            for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Down}) {
                pressThroughWindow(*w_, key, false);  // blocked by the box
                QTest::simulateEvent(&w_->surface(), true, key, Qt::NoModifier, QString(), false);
                QTest::simulateEvent(control(QStringLiteral("cmdStart")), true, key, Qt::NoModifier, QString(),
                                     true);
                QTest::simulateEvent(option("optMode_0"), true, key, Qt::NoModifier, QString(), false);
                QTest::keyClick(box, key);  // the box's own business
            }
            QTest::keyClick(box, Qt::Key_Escape);
        });
        const int answer = w_->messageBox().show("?", platform::mb::YesNoExclamation, "!");
        QVERIFY(sawBox);
        QCOMPARE(answer, platform::mb::No);
        QVERIFY(keys_.empty());
        QCOMPARE(optionStates(), optionsBefore);

        // Once the box has gone, keys flow again.
        QVERIFY(showActive(*w_));
        QVERIFY(focus(QStringLiteral("cmdStart")));
        pressThroughWindow(*w_, Qt::Key_Down, false);
        QCOMPARE(keys_, std::vector<std::int16_t>{40});
    }
};

QTEST_MAIN(KeysTest)
#include "tst_keys.moc"
