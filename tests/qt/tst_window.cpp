// The window as the player sees it: frame, controls, fonts, colours, groups, start state.

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <set>

#include "TestSupport.h"
#include "ui/MainWindow.h"

using namespace testing_qt;

namespace {

const QStringList kJapaneseFaces = {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                                    QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
                                    QStringLiteral("TakaoPGothic")};

QString captionOf(QWidget* w)
{
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text();
    if (auto* frame = qobject_cast<QGroupBox*>(w))
        return frame->title();
    return {};
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::setApplicationFont(); }

    void frameIsFixedWithCloseBoxOnly()
    {
        WorkDir dir;
        ui::MainWindow w;
        QCOMPARE(w.objectName(), QStringLiteral("frmMain"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Zenkora Ver. 1"));
        QCOMPARE(w.size(), QSize(552, 445));
        QCOMPARE(w.minimumSize(), QSize(552, 445));
        QCOMPARE(w.maximumSize(), QSize(552, 445));
        const Qt::WindowFlags flags = w.windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(flags & Qt::WindowTitleHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(flags & Qt::WindowFullscreenButtonHint));

        w.showCentred();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(800, 600);
        QCOMPARE(w.size(), QSize(552, 445));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(qAbs(w.geometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(w.geometry().center().y() - screen.center().y()) <= 1);
    }

    void control_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");

        const QString w = QStringLiteral("frmMain");
        QTest::newRow("picSpace") << "picSpace" << "platform::QtSurface" << w << QRect(16, 16, 369, 401) << "";
        QTest::newRow("cmdClose") << "cmdClose" << "QPushButton" << w << QRect(400, 400, 137, 33) << "おしまい";
        QTest::newRow("cmdStart") << "cmdStart" << "QPushButton" << w << QRect(400, 352, 137, 33) << "はじめ";
        QTest::newRow("lblScore") << "lblScore" << "QLabel" << w << QRect(392, 96, 145, 25) << "0";
        QTest::newRow("Label1") << "Label1" << "QLabel" << w << QRect(392, 72, 145, 17) << "あなたのスコア";
        QTest::newRow("fraMode") << "fraMode" << "QGroupBox" << w << QRect(400, 160, 137, 81) << "モード";
        QTest::newRow("optMode_0") << "optMode_0" << "QRadioButton" << "fraMode" << QRect(16, 24, 97, 25)
                                   << "れんしゅう";
        QTest::newRow("fraMax") << "fraMax" << "QGroupBox" << w << QRect(400, 248, 137, 81) << "すうじのおおきさ";
        QTest::newRow("optMax_0") << "optMax_0" << "QRadioButton" << "fraMax" << QRect(16, 24, 97, 25) << "５まで";
        QTest::newRow("optMax_1") << "optMax_1" << "QRadioButton" << "fraMax" << QRect(16, 48, 97, 25) << "９まで";
        QTest::newRow("optMode_1") << "optMode_1" << "QRadioButton" << "fraMode" << QRect(16, 48, 97, 25)
                                   << "チャレンジ";
        QTest::newRow("Label2") << "Label2" << "QLabel" << w << QRect(392, 8, 145, 17) << "ハイスコア";
        QTest::newRow("lblHighScore") << "lblHighScore" << "QLabel" << w << QRect(392, 32, 145, 25) << "0";
        QTest::newRow("Label3") << "Label3" << "QLabel" << w << QRect(408, 136, 73, 17) << "のこりのＵＦＯ";
        QTest::newRow("lblUFO") << "lblUFO" << "QLabel" << w << QRect(488, 128, 49, 25) << "50";
        QTest::newRow("Label4") << "Label4" << "QLabel" << w << QRect(144, 424, 185, 17) << "";
        QTest::newRow("Label5") << "Label5" << "QLabel" << w << QRect(16, 424, 105, 17) << "Zenkora Ver. 1";
    }

    void control()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, container);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);

        WorkDir dir;
        ui::MainWindow w;
        auto* c = w.findChild<QWidget*>(name);
        QVERIFY(c);
        QVERIFY(c->inherits(kind.toLatin1()));
        QCOMPARE(c->parentWidget()->objectName(), container);
        QCOMPARE(c->geometry(), geometry);
        if (!caption.isEmpty())
            QCOMPARE(captionOf(c), caption);
        QVERIFY(c->isEnabled());
        QVERIFY(!c->isHidden());
    }

    void nineteenControlsAndNoOverlap()
    {
        WorkDir dir;
        ui::MainWindow w;
        std::set<QString> names;
        for (QObject* o : w.findChildren<QObject*>()) {
            if (o->objectName().isEmpty() || o->objectName().startsWith(QLatin1String("qt_")))
                continue;
            if (qobject_cast<QWidget*>(o) || qobject_cast<QTimer*>(o))
                names.insert(o->objectName());
        }
        const std::set<QString> expected = {"picSpace", "cmdClose",  "cmdStart",  "lblScore", "Label1",
                                            "fraMode",  "optMode_0", "fraMax",    "optMax_0", "optMax_1",
                                            "optMode_1", "Label2",   "lblHighScore", "Label3", "lblUFO",
                                            "Label4",   "Label5",    "GameTimer", "UFO_Timer"};
        QCOMPARE(names, expected);

        // No two visible controls on the window overlap.
        QList<QWidget*> top;
        for (QWidget* c : w.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (!c->objectName().isEmpty())
                top << c;
        QCOMPARE(top.size(), 13);
        for (int i = 0; i < top.size(); ++i)
            for (int j = i + 1; j < top.size(); ++j)
                QVERIFY2(!top[i]->geometry().intersects(top[j]->geometry()),
                         qPrintable(top[i]->objectName() + " overlaps " + top[j]->objectName()));
    }

    void tabOrder()
    {
        WorkDir dir;
        ui::MainWindow w;
        auto* first = w.findChild<QWidget*>(QStringLiteral("picSpace"));
        QStringList chain;
        QWidget* c = first;
        do {
            if ((c->focusPolicy() & Qt::TabFocus) && c->window() == &w)
                chain << c->objectName();
            c = c->nextInFocusChain();
        } while (c != first);
        // The chain is circular; start it at the playfield, tab index 0.
        QCOMPARE(chain, (QStringList{"picSpace", "cmdClose", "cmdStart", "optMode_0", "optMax_0", "optMax_1",
                                     "optMode_1"}));
        for (const char* name : {"lblScore", "Label1", "Label2", "Label3", "Label4", "Label5", "lblHighScore",
                                 "lblUFO", "fraMode", "fraMax"})
            QCOMPARE(w.findChild<QWidget*>(QString::fromLatin1(name))->focusPolicy(), Qt::NoFocus);
    }

    void tabKeyFollowsTheOrder()
    {
        WorkDir dir;
        ui::MainWindow w;
        QVERIFY(showActive(w));
        // The control with tab index 0 holds the focus when the window opens.
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("picSpace"));
        auto tabs = [](int n) {
            QStringList seen;
            for (int i = 0; i < n; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                seen << QApplication::focusWidget()->objectName();
            }
            return seen;
        };
        // Every option button is a stop of its own, whichever is selected.
        const QStringList cycle{"cmdClose", "cmdStart", "optMode_0", "optMax_0", "optMax_1", "optMode_1", "picSpace"};
        QCOMPARE(tabs(7), cycle);
        QCOMPARE(tabs(7), cycle);

        // With the arrows kept for the game, Tab and Space pick an option.
        QCOMPARE(tabs(5).last(), QStringLiteral("optMax_1"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QVERIFY(w.findChild<QRadioButton*>(QStringLiteral("optMax_1"))->isChecked());
        QCOMPARE(w.game().maxNumber, 9);
        QCOMPARE(tabs(2), (QStringList{"optMode_1", "picSpace"}));
        QCOMPARE(tabs(7), cycle);
    }

    void font_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<bool>("bold");
        QTest::newRow("fraMax") << "fraMax" << 13 << false;
        QTest::newRow("fraMode") << "fraMode" << 13 << false;
        for (const char* n : {"optMax_0", "optMax_1", "optMode_0", "optMode_1"})
            QTest::newRow(n) << n << 15 << true;
        QTest::newRow("cmdStart") << "cmdStart" << 16 << true;
        QTest::newRow("cmdClose") << "cmdClose" << 16 << true;
        QTest::newRow("Label1") << "Label1" << 15 << true;
        QTest::newRow("Label2") << "Label2" << 15 << true;
        QTest::newRow("lblScore") << "lblScore" << 19 << true;
        QTest::newRow("lblHighScore") << "lblHighScore" << 19 << true;
        QTest::newRow("lblUFO") << "lblUFO" << 16 << false;
    }

    void font()
    {
        QFETCH(QString, name);
        QFETCH(int, pixels);
        QFETCH(bool, bold);
        WorkDir dir;
        ui::MainWindow w;
        auto* c = w.findChild<QWidget*>(name);
        const QFont f = c->font();
        QCOMPARE(f.pixelSize(), pixels);
        QCOMPARE(f.bold(), bold);
        QVERIFY(!f.italic() && !f.underline() && !f.strikeOut());
        QVERIFY(!f.families().isEmpty());
        QCOMPARE(f.families().first(), QStringLiteral("ＭＳ Ｐゴシック"));
        QVERIFY(f.families().contains(QStringLiteral("IPAPGothic")));
        const QFontInfo info(f);
        QVERIFY2(kJapaneseFaces.contains(info.family()), qPrintable(info.family()));
        QCOMPARE(info.pixelSize(), pixels);
    }

    void everyCaptionHasGlyphsAndFits()
    {
        WorkDir dir;
        ui::MainWindow w;
        for (QWidget* c : w.findChildren<QWidget*>()) {
            const QString text = captionOf(c);
            if (text.isEmpty())
                continue;
            const QFontMetrics fm(c->font());
            for (const char32_t ch : text.toUcs4())
                QVERIFY2(fm.inFontUcs4(ch), qPrintable(c->objectName() + ": no glyph for " + QString::fromUcs4(&ch, 1)));
            QVERIFY2(kJapaneseFaces.contains(QFontInfo(c->font()).family()), qPrintable(c->objectName()));
            if (auto* label = qobject_cast<QLabel*>(c)) {
                QVERIFY2(fm.horizontalAdvance(text) <= label->contentsRect().width(), qPrintable(c->objectName()));
                QVERIFY2(fm.height() <= label->height(), qPrintable(c->objectName()));
            } else if (qobject_cast<QRadioButton*>(c) || qobject_cast<QPushButton*>(c)) {
                QVERIFY2(c->sizeHint().width() <= c->width(), qPrintable(c->objectName()));
            } else if (qobject_cast<QGroupBox*>(c)) {
                QVERIFY2(fm.horizontalAdvance(text) <= c->width() - 8, qPrintable(c->objectName()));
            }
        }
        // The key hint under the playfield is one fixed line.
        auto* hint = w.findChild<QLabel*>(QStringLiteral("Label4"));
        QVERIFY(!hint->text().isEmpty());
        QVERIFY(!hint->text().contains(QLatin1Char('\n')));
    }

    void labelStyles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColor>("background");  // invalid: the default
        QTest::addColumn<QColor>("text");        // invalid: the default
        QTest::addColumn<bool>("boxed");
        QTest::addColumn<int>("alignment");
        const QColor none;
        QTest::newRow("lblScore") << "lblScore" << QColor(0, 0, 128) << QColor(255, 255, 128) << true
                                  << int(Qt::AlignRight);
        QTest::newRow("lblHighScore") << "lblHighScore" << QColor(0, 0, 192) << QColor(255, 255, 192) << true
                                      << int(Qt::AlignRight);
        QTest::newRow("lblUFO") << "lblUFO" << QColor(128, 0, 0) << QColor(255, 255, 192) << true
                                << int(Qt::AlignRight);
        QTest::newRow("Label1") << "Label1" << QColor(255, 255, 255) << none << false << int(Qt::AlignHCenter);
        QTest::newRow("Label2") << "Label2" << QColor(192, 192, 255) << none << false << int(Qt::AlignHCenter);
        for (const char* n : {"Label3", "Label4", "Label5"})
            QTest::newRow(n) << n << none << none << false << int(Qt::AlignLeft);
    }

    void labelStyles()
    {
        QFETCH(QString, name);
        QFETCH(QColor, background);
        QFETCH(QColor, text);
        QFETCH(bool, boxed);
        QFETCH(int, alignment);
        WorkDir dir;
        ui::MainWindow w;
        auto* label = w.findChild<QLabel*>(name);
        QVERIFY(label);
        const QPalette defaults = QApplication::palette(label);
        QCOMPARE(int(label->alignment() & Qt::AlignHorizontal_Mask), alignment);
        QCOMPARE(label->autoFillBackground(), background.isValid());
        QCOMPARE(label->palette().color(label->backgroundRole()),
                 background.isValid() ? background : defaults.color(QPalette::Window));
        QCOMPARE(label->palette().color(label->foregroundRole()),
                 text.isValid() ? text : defaults.color(QPalette::WindowText));
        QCOMPARE(label->frameShape(), boxed ? QFrame::Box : QFrame::NoFrame);

        // What reaches the screen: the fill colour inside, and for the score
        // displays a black one-pixel rim around it.
        const QImage shot = label->grab().toImage();
        const QPoint inside(3, label->height() - 3);
        if (background.isValid())
            QCOMPARE(QColor(shot.pixel(inside)), background);
        if (boxed) {
            const QRect r = label->rect();
            for (const QPoint p : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight(),
                                   QPoint(r.center().x(), 0), QPoint(0, r.center().y())})
                QCOMPARE(QColor(shot.pixel(p)), QColor(0, 0, 0));
            QCOMPARE(QColor(shot.pixel(1, 1)), background);
        }
    }

    void startState()
    {
        WorkDir dir;
        dir.writeAll();
        RecordingAudio audio;
        ui::MainWindow w({std::nullopt, &audio});
        auto text = [&](const char* n) { return w.findChild<QLabel*>(QString::fromLatin1(n))->text(); };
        auto option = [&](const char* n) { return w.findChild<QRadioButton*>(QString::fromLatin1(n)); };
        auto* gameTimer = w.findChild<QTimer*>(QStringLiteral("GameTimer"));
        auto* ufoTimer = w.findChild<QTimer*>(QStringLiteral("UFO_Timer"));

        // As built: nothing runs, nothing sounds.
        QCOMPARE(text("lblScore"), QStringLiteral("0"));
        QCOMPARE(text("lblHighScore"), QStringLiteral("0"));
        QCOMPARE(text("lblUFO"), QStringLiteral("50"));
        QVERIFY(option("optMax_0")->isChecked());
        QVERIFY(!option("optMax_1")->isChecked());
        QVERIFY(option("optMode_0")->isChecked());
        QVERIFY(!option("optMode_1")->isChecked());
        QVERIFY(!gameTimer->isActive());
        QVERIFY(!ufoTimer->isActive());
        QCOMPARE(gameTimer->interval(), 400);
        QCOMPARE(ufoTimer->interval(), 100);
        QCOMPARE(gameTimer->timerType(), Qt::PreciseTimer);
        QCOMPARE(ufoTimer->timerType(), Qt::PreciseTimer);
        QVERIFY(audio.calls.empty());

        // After the load event: the rules' own texts, the idle UFO, the title music.
        QVERIFY(w.load());
        QVERIFY(!w.isVisible());
        QCOMPARE(text("lblScore"), QStringLiteral(" 0"));
        QCOMPARE(text("lblHighScore"), QStringLiteral(" 0"));
        QCOMPARE(text("lblUFO"), QStringLiteral("50"));
        QCOMPARE(w.findChild<QPushButton*>(QStringLiteral("cmdStart"))->text(), QStringLiteral("はじめ"));
        QVERIFY(ufoTimer->isActive());
        QVERIFY(!gameTimer->isActive());
        QCOMPARE(w.game().maxNumber, 5);
        QCOMPARE(w.game().gameMode, 0);
        QVERIFY(w.surface().pixelUnits());
        QCOMPARE(audio.calls.back(), std::string("loop open.wav"));
        stopTimers(w);
    }

    void radioGroupsAreIndependent()
    {
        WorkDir dir;
        dir.writeAll();
        RecordingAudio audio;
        ui::MainWindow w({std::nullopt, &audio});
        QVERIFY(w.load());
        stopTimers(w);
        QVERIFY(showActive(w));
        auto option = [&](const char* n) { return w.findChild<QRadioButton*>(QString::fromLatin1(n)); };

        QTest::mouseClick(option("optMax_1"), Qt::LeftButton);
        QVERIFY(option("optMax_1")->isChecked());
        QVERIFY(!option("optMax_0")->isChecked());
        QVERIFY(option("optMode_0")->isChecked());
        QVERIFY(!option("optMode_1")->isChecked());
        QCOMPARE(w.game().maxNumber, 9);
        QCOMPARE(w.game().gameMode, 0);

        QTest::mouseClick(option("optMode_1"), Qt::LeftButton);
        QVERIFY(option("optMode_1")->isChecked());
        QVERIFY(!option("optMode_0")->isChecked());
        QVERIFY(option("optMax_1")->isChecked());
        QCOMPARE(w.game().maxNumber, 9);
        QCOMPARE(w.game().gameMode, 1);

        QTest::mouseClick(option("optMax_0"), Qt::LeftButton);
        QVERIFY(option("optMode_1")->isChecked());
        QCOMPARE(w.game().maxNumber, 5);
        QCOMPARE(w.game().gameMode, 1);
    }

    void controlsReachTheirWidgets()
    {
        WorkDir dir;
        ui::MainWindow w;
        using platform::Control;
        for (Control c : {Control::picSpace, Control::cmdStart, Control::cmdClose, Control::lblScore,
                          Control::lblHighScore, Control::lblUFO, Control::optMax0, Control::optMax1,
                          Control::optMode0, Control::optMode1}) {
            // "optMax(1)" in the rules is the widget "optMax_1".
            QString name = QString::fromLatin1(platform::controlName(c));
            name.replace(QLatin1Char('('), QLatin1Char('_')).remove(QLatin1Char(')'));
            auto* widget = w.findChild<QWidget*>(name);
            QVERIFY2(widget, qPrintable(name));
            w.controls().setEnabled(c, false);
            QVERIFY2(!widget->isEnabled(), qPrintable(name));
            const auto all = w.findChildren<QWidget*>();
            const auto disabled = std::count_if(all.begin(), all.end(), [](QWidget* x) { return !x->isEnabled(); });
            QCOMPARE(int(disabled), 1);
            w.controls().setEnabled(c, true);
            QVERIFY(widget->isEnabled());
        }
        w.controls().setCaption(Control::lblScore, " 120");
        w.controls().setCaption(Control::lblHighScore, "-300");
        w.controls().setCaption(Control::lblUFO, "7");
        w.controls().setCaption(Control::cmdStart, "やりなおす");
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("lblScore"))->text(), QStringLiteral(" 120"));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("lblHighScore"))->text(), QStringLiteral("-300"));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("lblUFO"))->text(), QStringLiteral("7"));
        QCOMPARE(w.findChild<QPushButton*>(QStringLiteral("cmdStart"))->text(), QStringLiteral("やりなおす"));

        QVERIFY(showActive(w));
        w.findChild<QWidget*>(QStringLiteral("cmdClose"))->setFocus();
        w.controls().setFocus(Control::picSpace);
        QCOMPARE(QApplication::focusWidget(), &w.surface());
    }

    void iconIsOptional()
    {
        {
            WorkDir dir;
            ui::MainWindow w;
            QVERIFY(w.windowIcon().isNull());
        }
        WorkDir dir;
        QImage icon(48, 48, QImage::Format_Indexed8);
        icon.setColorTable({qRgb(0, 0, 0), qRgb(255, 200, 0)});
        icon.fill(1);
        QVERIFY(icon.save(dir.path(QStringLiteral("zenkora.png")), "PNG"));
        ui::MainWindow w;
        QVERIFY(!w.windowIcon().isNull());
        QVERIFY(w.windowIcon().availableSizes().contains(QSize(48, 48)));
    }

    // The title-bar close box: no question, no saving, timers and sound stopped.
    void closeBoxEndsAtOnce()
    {
        WorkDir dir;
        dir.writeAll();
        const QByteArray scoreFile = dir.read(QStringLiteral("h-score.txt"));
        RecordingAudio audio;
        ui::MainWindow w({std::uint64_t{42}, &audio});
        QVERIFY(w.load());
        QVERIFY(showActive(w));
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("cmdStart")), Qt::LeftButton);
        QCOMPARE(w.game().playing, game::True);
        w.game().score = 990;  // a new best, were it saved

        bool boxSeen = false;
        QTimer watchdog;
        connect(&watchdog, &QTimer::timeout, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                boxSeen = true;
                box->close();
            }
        });
        watchdog.start(10);
        QCloseEvent closeBox;
        QApplication::sendEvent(w.windowHandle(), &closeBox);
        QTRY_VERIFY(!w.isVisible());
        watchdog.stop();

        QVERIFY(!boxSeen);
        QVERIFY(!w.findChild<QTimer*>(QStringLiteral("GameTimer"))->isActive());
        QVERIFY(!w.findChild<QTimer*>(QStringLiteral("UFO_Timer"))->isActive());
        QCOMPARE(audio.calls.back(), std::string("stop"));
        QCOMPARE(dir.read(QStringLiteral("h-score.txt")), scoreFile);
        QCOMPARE(w.game().highScore, 0);
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
