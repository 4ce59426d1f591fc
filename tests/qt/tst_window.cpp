// The window as the player sees it: frame, controls, fonts, colours, groups, start state.

#include <QApplication>
#include <QCloseEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QSet>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "TestSupport.h"
#include "game/frmMain.h"

using namespace testing_qt;

namespace {

const QStringList kJapaneseFaces = {QStringLiteral("M PLUS 1"), QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                                    QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
                                    QStringLiteral("TakaoPGothic")};

struct Design {
    const char* name;
    const char* kind;
    const char* parent;
    QRect geometry;
    const char* caption;
    int px = 0;  // 0: the application's font
    bool bold = false;
    int align = 0;                  // labels only
    QRgb background = 0, text = 0;  // 0: the palette's own
    bool boxed = false;
};

constexpr QRgb kPaleYellow = 0xffffffc0;
constexpr auto kRight = Qt::AlignRight, kCentre = Qt::AlignHCenter, kLeft = Qt::AlignLeft;

const Design kDesign[] = {
    {"picSpace", "platform::QtSurface", "frmMain", {16, 16, 369, 401}, ""},
    {"cmdClose", "QPushButton", "frmMain", {400, 400, 137, 33}, "おしまい", 16, true},
    {"cmdStart", "QPushButton", "frmMain", {400, 352, 137, 33}, "はじめ", 16, true},
    {"lblScore", "QLabel", "frmMain", {392, 96, 145, 25}, "0", 19, true, kRight, 0xff000080, 0xffffff80, true},
    {"Label1", "QLabel", "frmMain", {392, 72, 145, 17}, "あなたのスコア", 15, true, kCentre, 0xffffffff},
    {"fraMode", "QGroupBox", "frmMain", {400, 160, 137, 81}, "モード", 13, false},
    {"optMode_0", "QRadioButton", "fraMode", {16, 24, 97, 25}, "れんしゅう", 15, true},
    {"fraMax", "QGroupBox", "frmMain", {400, 248, 137, 81}, "すうじのおおきさ", 13, false},
    {"optMax_0", "QRadioButton", "fraMax", {16, 24, 97, 25}, "５まで", 15, true},
    {"optMax_1", "QRadioButton", "fraMax", {16, 48, 97, 25}, "９まで", 15, true},
    {"optMode_1", "QRadioButton", "fraMode", {16, 48, 97, 25}, "チャレンジ", 15, true},
    {"Label2", "QLabel", "frmMain", {392, 8, 145, 17}, "ハイスコア", 15, true, kCentre, 0xffc0c0ff},
    {"lblHighScore", "QLabel", "frmMain", {392, 32, 145, 25}, "0", 19, true, kRight, 0xff0000c0, kPaleYellow, true},
    {"Label3", "QLabel", "frmMain", {408, 136, 73, 17}, "のこりのＵＦＯ", 0, false, kLeft},
    {"lblUFO", "QLabel", "frmMain", {488, 128, 49, 25}, "50", 16, false, kRight, 0xff800000, kPaleYellow, true},
    {"Label4", "QLabel", "frmMain", {144, 424, 185, 17}, "←→ で うごかす　↓ で おとす", 0, false, kLeft},
    {"Label5", "QLabel", "frmMain", {16, 424, 105, 17}, "Zenkora Ver. 1", 0, false, kLeft},
};

QString captionOf(const QWidget* w)
{
    return w->property(qobject_cast<const QGroupBox*>(w) ? "title" : "text").toString();
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::setApplicationLook(); }

    void frameIsFixedWithCloseBoxOnly()
    {
        WorkDir dir;
        ui::MainWindow w;
        QCOMPARE(w.objectName(), QStringLiteral("frmMain"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Zenkora Ver. 1"));
        QCOMPARE(w.minimumSize(), QSize(552, 445));
        QCOMPARE(w.maximumSize(), QSize(552, 445));
        const Qt::WindowFlags flags = w.windowFlags();
        QVERIFY((flags & Qt::WindowCloseButtonHint) && (flags & Qt::WindowTitleHint));
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                           Qt::WindowFullscreenButtonHint)));

        w.showCentred();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(800, 600);
        QCOMPARE(w.size(), QSize(552, 445));
        const QPoint off = w.geometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY(qAbs(off.x()) <= 1 && qAbs(off.y()) <= 1);
    }

    void control_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(kDesign)); ++i)
            QTest::newRow(kDesign[i].name) << i;
    }

    void control()
    {
        QFETCH(int, row);
        const Design& d = kDesign[row];
        WorkDir dir;
        ui::MainWindow w;
        auto* c = child(w, d.name);
        QVERIFY(c && c->inherits(d.kind));
        QCOMPARE(c->parentWidget()->objectName(), QLatin1String(d.parent));
        QCOMPARE(c->geometry(), d.geometry);
        QVERIFY(c->isEnabled() && !c->isHidden());
        if (qobject_cast<QLabel*>(c) || qobject_cast<QGroupBox*>(c))
            QCOMPARE(c->focusPolicy(), Qt::NoFocus);

        // The caption, every glyph of it in a Japanese face, and room enough for it.
        const QString caption = captionOf(c);
        QCOMPARE(caption, QString::fromUtf8(d.caption));
        const QFontMetrics fm(c->font());
        for (const char32_t ch : caption.toUcs4())
            QVERIFY2(fm.inFontUcs4(ch), qPrintable(QString::fromUcs4(&ch, 1)));
        if (!caption.isEmpty())
            QVERIFY2(kJapaneseFaces.contains(QFontInfo(c->font()).family()), qPrintable(QFontInfo(c->font()).family()));
        if (auto* label = qobject_cast<QLabel*>(c)) {
            // The ink, where the label sets the line: the bold face's lines are taller than some labels.
            const QRect line = QStyle::alignedRect(Qt::LeftToRight, label->alignment(), fm.size(0, caption),
                                                   label->contentsRect());
            QVERIFY(label->contentsRect().contains(
                fm.tightBoundingRect(caption).translated(line.left(), line.top() + fm.ascent())));
        } else if (qobject_cast<QGroupBox*>(c)) {
            QVERIFY(fm.horizontalAdvance(caption) <= c->width() - 8);
        } else if (qobject_cast<QRadioButton*>(c)) {  // right of the indicator
            QStyleOptionButton opt;
            opt.initFrom(c);
            QVERIFY(fm.horizontalAdvance(caption) <=
                    c->style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, c).width());
        } else if (!caption.isEmpty())
            QVERIFY(c->sizeHint().width() <= c->width());

        if (d.px) {
            const QFont f = c->font();
            QCOMPARE(f.pixelSize(), d.px);
            QCOMPARE(QFontInfo(f).bold(), d.bold);  // a face of that weight, not a thickened regular
            QVERIFY(!f.italic() && !f.underline() && !f.strikeOut());
            QCOMPARE(f.families().value(0), QStringLiteral("M PLUS 1"));
            QCOMPARE(QFontInfo(f).pixelSize(), d.px);
        }

        auto* label = qobject_cast<QLabel*>(c);
        if (!label)
            return;
        QCOMPARE(int(label->alignment() & Qt::AlignHorizontal_Mask), d.align);
        QCOMPARE(label->autoFillBackground(), d.background != 0);
        QCOMPARE(label->palette().color(label->foregroundRole()),
                 d.text ? QColor(d.text) : QApplication::palette(label).color(QPalette::WindowText));
        QCOMPARE(label->frameShape(), d.boxed ? QFrame::Box : QFrame::NoFrame);
        // What reaches the screen: the fill inside, and a black one-pixel rim on the score displays.
        const QImage shot = label->grab().toImage();
        if (d.background)
            QCOMPARE(QColor(shot.pixel(3, label->height() - 3)), QColor(d.background));
        if (d.boxed) {
            const QRect r = label->rect();
            for (const QPoint p : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight(),
                                   QPoint(r.center().x(), 0), QPoint(0, r.center().y())})
                QCOMPARE(QColor(shot.pixel(p)), QColor(Qt::black));
            QCOMPARE(QColor(shot.pixel(1, 1)), QColor(d.background));
        }
    }

    // The message boxes speak in the application's font, which looks for no other face.
    void messageTextsAreInTheFace()
    {
        const QFontMetrics fm(QApplication::font());
        QVERIFY2(kJapaneseFaces.contains(QFontInfo(QApplication::font()).family()),
                 qPrintable(QFontInfo(QApplication::font()).family()));
        for (const char* text : {game::text::kFileNotFound, game::text::kCaution, game::text::kGameOver,
                                 game::text::kGameOverTitle, game::text::kQuitQuestion, game::text::kQuitTitle,
                                 game::text::kStart, game::text::kStartOver, game::text::kSaveFailed})
            for (const char32_t ch : QString::fromUtf8(text).toUcs4())
                QVERIFY2(fm.inFontUcs4(ch), text);
    }

    // With every geometry pinned exactly above, no two can overlap.
    void nineteenControls()
    {
        WorkDir dir;
        ui::MainWindow w;
        QSet<QString> expected{QStringLiteral("GameTimer"), QStringLiteral("UFO_Timer")}, names;
        for (const Design& d : kDesign)
            expected << QString::fromLatin1(d.name);
        QCOMPARE(expected.size(), 19);
        for (QObject* o : w.findChildren<QObject*>())
            if (!o->objectName().isEmpty() && !o->objectName().startsWith(QLatin1String("qt_")) &&
                (qobject_cast<QWidget*>(o) || qobject_cast<QTimer*>(o)))
                names << o->objectName();
        QCOMPARE(names, expected);
    }

    void startState()
    {
        Rig r;
        ui::MainWindow& w = r.w;
        // As built: nothing runs, nothing sounds.
        QCOMPARE(optionStates(w), QStringLiteral("1010"));
        for (const auto& [name, ms] : {std::pair{"GameTimer", 400}, std::pair{"UFO_Timer", 100}}) {
            auto* timer = child<QTimer>(w, name);
            QVERIFY(!timer->isActive() && !timer->isSingleShot());
            QCOMPARE(timer->interval(), ms);
            QCOMPARE(timer->timerType(), Qt::PreciseTimer);
        }
        QVERIFY(r.audio.calls.empty());

        // After the load event: the rules' own texts, the idle UFO, the title music.
        QVERIFY(w.load());
        QVERIFY(!w.isVisible());
        for (const auto& [name, text] : {std::pair{"lblScore", " 0"}, {"lblHighScore", " 0"}, {"lblUFO", "50"}})
            QCOMPARE(child<QLabel>(w, name)->text(), QLatin1String(text));
        QVERIFY(child<QTimer>(w, "UFO_Timer")->isActive());
        QVERIFY(!child<QTimer>(w, "GameTimer")->isActive());
        QCOMPARE(w.game().maxNumber, 5);
        QCOMPARE(w.game().gameMode, 0);
        QCOMPARE(r.audio.calls.back(), std::string("loop open.wav"));
        stopTimers(w);
    }

    void radioGroupsAreIndependent()
    {
        Rig r;
        QVERIFY(r.w.load());
        stopTimers(r.w);
        QVERIFY(showActive(r.w));
        const struct {
            const char* click;
            const char* states;
            int maxNumber, gameMode;
        } steps[] = {{"optMax_1", "0110", 9, 0}, {"optMode_1", "0101", 9, 1}, {"optMax_0", "1001", 5, 1}};
        for (const auto& s : steps) {
            QTest::mouseClick(child(r.w, s.click), Qt::LeftButton);
            QCOMPARE(optionStates(r.w), QLatin1String(s.states));
            QCOMPARE(r.w.game().maxNumber, s.maxNumber);
            QCOMPARE(r.w.game().gameMode, s.gameMode);
        }
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
            const auto all = w.findChildren<QWidget*>();
            QVERIFY2(!widget->isEnabled(), qPrintable(name));
            QCOMPARE(std::count_if(all.begin(), all.end(), [](auto* x) { return !x->isEnabled(); }), qsizetype(1));
            w.controls().setEnabled(c, true);
            QVERIFY(widget->isEnabled());
        }
        for (const auto& [c, name, text] : {std::tuple{Control::lblScore, "lblScore", " 120"},
                                            {Control::lblHighScore, "lblHighScore", "-300"},
                                            {Control::lblUFO, "lblUFO", "7"},
                                            {Control::cmdStart, "cmdStart", "やりなおす"}}) {
            w.controls().setCaption(c, text);
            QCOMPARE(captionOf(child(w, name)), QString::fromUtf8(text));
        }

        QVERIFY(showActive(w));
        child(w, "cmdClose")->setFocus();
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
        QImage icon(48, 48, QImage::Format_RGB32);
        icon.fill(qRgb(255, 200, 0));
        QVERIFY(icon.save(dir.path(QStringLiteral("zenkora.png")), "PNG"));
        ui::MainWindow w;
        QVERIFY(w.windowIcon().availableSizes().contains(QSize(48, 48)));
    }

    // The title-bar close box: no question, no saving, timers and sound stopped.
    void closeBoxEndsAtOnce()
    {
        Rig r(42);
        const QByteArray scoreFile = r.dir.read(QStringLiteral("h-score.txt"));
        QVERIFY(r.w.load());
        QVERIFY(showActive(r.w));
        QTest::mouseClick(child(r.w, "cmdStart"), Qt::LeftButton);
        QCOMPARE(r.w.game().playing, game::True);
        r.w.game().score = 990;  // a new best, were it saved

        BoxWatcher boxes([](QMessageBox& box) { box.close(); });
        QCloseEvent closeBox;
        QApplication::sendEvent(r.w.windowHandle(), &closeBox);
        QTRY_VERIFY(!r.w.isVisible());
        QCOMPARE(boxes.seen, 0);
        QVERIFY(!child<QTimer>(r.w, "GameTimer")->isActive() && !child<QTimer>(r.w, "UFO_Timer")->isActive());
        QCOMPARE(r.audio.calls.back(), std::string("stop"));
        QCOMPARE(r.dir.read(QStringLiteral("h-score.txt")), scoreFile);
        QCOMPARE(r.w.game().highScore, 0);
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
