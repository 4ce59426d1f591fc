// The real window: a fixed frame with a close box only, captions whose every glyph is
// in a Japanese face and fits its control, and seeded games played to their end.

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QWindow>

#include "TestSupport.h"

using namespace testing_qt;

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::setApplicationLook(); }

    void frameAndCaptions()
    {
        WorkDir dir;
        ui::MainWindow w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Zenkora Ver. 1"));
        QCOMPARE(w.minimumSize(), QSize(552, 445));
        QCOMPARE(w.maximumSize(), QSize(552, 445));
        QVERIFY(!(w.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        int captions = 0;
        for (QWidget* c : w.findChildren<QWidget*>()) {
            const auto* group = qobject_cast<QGroupBox*>(c);
            const QString text = c->property(group ? "title" : "text").toString(), name = c->objectName();
            const QFontMetrics fm(c->font());
            captions += !text.isEmpty();
            for (const char32_t ch : text.toUcs4())
                QVERIFY2(fm.inFontUcs4(ch), qPrintable(name + ": " + QString::fromUcs4(&ch, 1)));
            QVERIFY2(text.isEmpty() || ui::designFamilies().contains(QFontInfo(c->font()).family()), qPrintable(name));
            int room = c->width() - (group ? 8 : 0);
            if (qobject_cast<QRadioButton*>(c)) {  // right of the indicator
                QStyleOptionButton opt;
                opt.initFrom(c);
                room = c->style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, c).width();
            }
            QVERIFY2((group || c->inherits("QRadioButton") ? fm.horizontalAdvance(text) : c->sizeHint().width()) <= room,
                     qPrintable(name));
            // Bold captions come from a bold face, not a thickened regular one.
            QVERIFY2(!c->font().bold() || QFontInfo(c->font()).styleName().contains(QLatin1String("Bold")), qPrintable(name));
        }
        QCOMPARE(captions, 16);
        // What it tells only an X window manager, it keeps from any other platform.
        QGuiApplication::setDesktopFileName(QStringLiteral("io.github.zenkora.Zenkora"));
        w.showCentred();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }

    // The test is the clock: both timers get an interval nothing waits for and their
    // ticks are fired by hand. Blocks are steered with arrow keys to each column in turn,
    // or piled up on the left; after every block the playfield must show the board, and
    // at the end the box, the labels, the best score's file and the music must agree.
    void seededGameToItsEnd_data()
    {
        QTest::addColumn<int>("seed");
        QTest::addColumn<bool>("spread");
        QTest::addColumn<bool>("fiftyOne");  // ends after fifty UFOs, not by a full column
        QTest::newRow("spread out, a new best") << 3 << true << true;
        QTest::newRow("piled up, below zero") << 5 << false << false;
    }

    void seededGameToItsEnd()
    {
        QFETCH(int, seed);
        QFETCH(bool, spread);
        QFETCH(bool, fiftyOne);
        Rig r(static_cast<std::uint64_t>(seed));
        auto *gameTimer = child<QTimer>(r.w, "GameTimer"), *ufoTimer = child<QTimer>(r.w, "UFO_Timer");
        gameTimer->setInterval(24 * 3600 * 1000);
        ufoTimer->setInterval(24 * 3600 * 1000);
        QVERIFY(r.w.load());
        QVERIFY(showActive(r.w));
        QStringList boxes;
        QString finalScore;
        BoxWatcher watcher([&](QMessageBox& box) {
            boxes << box.text();
            finalScore = child<QLabel>(r.w, "lblScore")->text();
            box.buttons().size() == 2 ? QTest::keyClick(&box, Qt::Key_Escape) : box.buttons().first()->click();
        });
        QTest::mouseClick(child(r.w, "cmdClose"), Qt::LeftButton);  // answered No (Esc): the idle goes on
        QTest::mouseClick(child(r.w, "optMax_1"), Qt::LeftButton);
        QTest::mouseClick(child(r.w, "cmdStart"), Qt::LeftButton);
        auto& g = r.w.game();
        const QImage& well = r.w.surface().image();
        int blocks = 0;
        for (int step = 0; g.playing == game::True; ++step) {
            QVERIFY(step < 20000);
            QVERIFY(ufoTimer->isActive() || gameTimer->isActive());
            if (ufoTimer->isActive()) {
                QMetaObject::invokeMethod(ufoTimer, "timeout");
                continue;
            }
            const int target = spread ? blocks % 9 : 0;
            if (g.pieceRow >= 0)
                QTest::keyClick(r.w.focusWidget(), g.pieceCol == target ? Qt::Key_Down
                                                             : g.pieceCol < target ? Qt::Key_Right : Qt::Key_Left);
            if (gameTimer->isActive())
                QMetaObject::invokeMethod(gameTimer, "timeout");
            if (gameTimer->isActive())
                continue;
            ++blocks;
            for (int c = 0; c < game::kColumns; ++c)
                for (int row = 0; row <= game::kBottomRow; ++row)
                    QVERIFY2(well.copy(c * game::kCell + game::kWellLeft, row * game::kCell + game::kWellTop, game::kCell,
                                       game::kCell) == tileImage(g.board(c, row)),
                             qPrintable(QStringLiteral("block %1: cell %2,%3").arg(blocks).arg(c).arg(row)));
            if (g.playing == game::True)
                QCOMPARE(child<QLabel>(r.w, "lblUFO")->text(), QString::number(game::kUfosPerGame - g.ufoCount));
        }
        QCOMPARE(boxes, (QStringList{"ゲームをやめますか？", "ゲームオーバー！！"}));
        QCOMPARE(blocks == 50, fiftyOne);
        QCOMPARE(child<QLabel>(r.w, "lblUFO")->text(), QString::number(fiftyOne ? 50 : 50 - blocks));
        const int best = std::max(finalScore.trimmed().toInt(), 0);
        QCOMPARE(r.dir.read(QStringLiteral("h-score.txt")), "\"HighScore=" + QByteArray::number(best) + "\"\r\n");
        QCOMPARE(child<QLabel>(r.w, "lblHighScore")->text(), QStringLiteral(" %1").arg(best));
        QCOMPARE(r.audio.calls.back(), std::string("loop open.wav"));

        // The title bar's close box in a game: no question, no saving, timers and sound stopped.
        QTest::mouseClick(child(r.w, "cmdStart"), Qt::LeftButton);
        g.score = best + 990;
        QCloseEvent closeBox;
        QApplication::sendEvent(r.w.windowHandle(), &closeBox);
        QTRY_VERIFY(!r.w.isVisible());
        QCOMPARE(boxes.size(), 2);
        QVERIFY(!ufoTimer->isActive());
        QVERIFY(!gameTimer->isActive());
        QCOMPARE(r.audio.calls.back(), std::string("stop"));
        QCOMPARE(r.dir.read(QStringLiteral("h-score.txt")), "\"HighScore=" + QByteArray::number(best) + "\"\r\n");
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
