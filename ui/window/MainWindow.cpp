#include "ui/window/MainWindow.h"

#include <QApplication>
#include <QBuffer>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QGroupBox>
#include <QFontDatabase>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "platform/pulse/PulseDevice.h"
#include "ui/window/DesktopEntry.h"

namespace ui {

using platform::Control;

namespace {

constexpr int kGameTimerMs = 400;
constexpr int kUfoTimerMs = 100;

// A one-pixel black box around coloured text. A plain QFrame box takes the text
// colour, which would draw pale yellow rims on the score displays.
class BoxedLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        QPainter p(this);
        p.setPen(QColor(0, 0, 0));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

QLabel* setUpLabel(QLabel* label, const char* name, const QRect& geometry)
{
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    return setUpLabel(new QLabel(text, parent), name, geometry);
}

void paintBackground(QLabel* label, const QColor& background)
{
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, background);
    label->setPalette(pal);
    label->setAutoFillBackground(true);
}

// The score displays: coloured, right-aligned, one-pixel box. Their face's lines
// are taller than the box, with the room above the glyphs: set from the top, the
// digits would be cut off at the bottom; centred, they sit inside.
QLabel* makeNumberLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
                        const QColor& background, const QColor& foreground, const QFont& font)
{
    QLabel* label = setUpLabel(new BoxedLabel(text, parent), name, geometry);
    paintBackground(label, background);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, foreground);
    label->setPalette(pal);
    label->setFont(font);
    label->setFrameShape(QFrame::Box);
    label->setFrameShadow(QFrame::Plain);
    label->setLineWidth(1);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

// An option group: the frame with its caption, and the group that keeps one of its
// buttons selected.
QGroupBox* makeFrame(QWidget* parent, const char* name, const QString& caption, const QRect& geometry,
                     const QFont& font, QButtonGroup*& group)
{
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(QString::fromLatin1(name));
    frame->setGeometry(geometry);
    frame->setFont(font);
    group = new QButtonGroup(parent);
    group->setExclusive(true);
    return frame;
}

QRadioButton* makeOption(QGroupBox* frame, const char* name, const QString& text, const QRect& geometry,
                         QButtonGroup* group, int index, const QFont& font)
{
    auto* button = new QRadioButton(text, frame);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setFont(font);
    group->addButton(button, index);
    return button;
}

std::int16_t keyCodeOf(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    default: return 0;
    }
}

// Named as PNG, read by Qt's own reader: guessing would load every image-format
// plugin (and libjpeg) just to ask each whether the file is theirs. The game
// starts without an icon that cannot be read; its size is known from the header
// before any pixel memory is taken.
QIcon readIcon(const std::string& path)
{
    std::string content, why;
    if (!platform::readRegularFile(path, platform::kMaxFileBytes, content, why))
        return {};
    QByteArray bytes = QByteArray::fromStdString(content);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (size.width() > platform::kMaxImageSide || size.height() > platform::kMaxImageSide) {
        std::fprintf(stderr, "zenkora: %s is larger than %d x %d; the window has no icon\n", path.c_str(),
                     platform::kMaxImageSide, platform::kMaxImageSide);
        return {};
    }
    const QImage icon = reader.read();
    return icon.isNull() ? QIcon() : QIcon(QPixmap::fromImage(icon));
}

}  // namespace

QStringList designFamilies()
{
    // Faces with a bold of their own come first: a bold made by thickening the
    // regular smears at these sizes.
    return {QStringLiteral("M PLUS 1"),   QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAPGothic"),
            QStringLiteral("IPAGothic"),  QStringLiteral("VL PGothic"),       QStringLiteral("TakaoPGothic")};
}

namespace {

// Each of the font's faces holds every character of the texts it is set on. When
// one is installed, Qt need not look for other fonts to fill in missing characters:
// looking costs a fontconfig sort per font and script, a third of the first paint.
void keepToOneFace(QFont& font)
{
    // Looked up by name among the installed families: hasFamily() would first ask
    // fontconfig to resolve each name as an alias.
    static const QStringList installed = QFontDatabase::families();
    const QStringList wanted = font.families();
    if (std::any_of(wanted.begin(), wanted.end(),
                    [](const QString& family) { return installed.contains(family, Qt::CaseInsensitive); }))
        font.setStyleStrategy(QFont::NoFontMerging);
}

}  // namespace

QFont designFont(double points, bool bold)
{
    QFont font;
    font.setFamilies(designFamilies());
    // Pixel sizes keep the layout's proportions whatever dpi the desktop reports.
    font.setPixelSize(static_cast<int>(std::lround(points * 96.0 / 72.0)));
    font.setBold(bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    keepToOneFace(font);
    return font;
}

QFont defaultUiFont()
{
    // A proportional face with the full-width letters and the arrows that M PLUS 1
    // lacks: "のこりのＵＦＯ" fits its label only when set proportionally.
    QFont font;
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("VL PGothic"), QStringLiteral("TakaoPGothic")});
    font.setPixelSize(12);
    keepToOneFace(font);
    return font;
}

void setApplicationLook()
{
    // The font first: a style set before it would lay out with the toolkit's default
    // font, looked up for nothing.
    QApplication::setFont(defaultUiFont());
    // The designed controls are the classic ones: captions set into etched frames,
    // raised buttons. This style draws them from lines alone, where the default one
    // first loads images (and, to read them, every image-format plugin).
    QApplication::setStyle(QStringLiteral("Windows"));
}

MainWindow::MainWindow(const WindowOptions& options)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      folders_(options.folders),
      images_([this](const std::string& name) { return folders_.locate(name); }),
      controls_(this),
      messageBox_(this),
      random_(clock_, options.seed),
      files_(folders_.player)
{
    setUpFrame();
    buildControls();
    gameTimer_ = std::make_unique<platform::QtTimer>(*GameTimer_, kGameTimerMs);
    ufoTimer_ = std::make_unique<platform::QtTimer>(*UFO_Timer_, kUfoTimerMs);
    bindControls();

    // Building the window makes no sound: the server is called once it is painted.
    if (options.audio) {
        audio_ = options.audio;
    } else {
        sound_ = std::make_unique<platform::PulseDevice>(
            [this](const std::string& name) { return folders_.locate(name); });
        audio_ = sound_.get();
    }

    game_ = std::make_unique<game::frmMain>(game::Services{
        *picSpace_, images_, *gameTimer_, *ufoTimer_, controls_, messageBox_, random_, *audio_, files_});

    bindEvents();
    qApp->installEventFilter(this);
}

void MainWindow::setUpFrame()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromUtf8(kTitle));
    setFixedSize(kClientWidth, kClientHeight);
    // Qt's own title bar on Wayland offers maximise whatever the size hints say, and a
    // window held to its size cannot take the one the compositor then sends: the
    // connection ends with a protocol error. There the window takes what it is sent
    // and goes straight back to its own (keepDesignedFrame).
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (const QIcon icon = readIcon(folders_.locate("zenkora.png")); !icon.isNull())
        setWindowIcon(icon);
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    GameTimer_->stop();
    UFO_Timer_->stop();
}

void MainWindow::buildControls()
{
    picSpace_ = new platform::QtSurface(this);
    picSpace_->setObjectName(QStringLiteral("picSpace"));
    picSpace_->move(16, 16);
    picSpace_->setFocusPolicy(Qt::StrongFocus);

    buildButtons();
    buildScoreDisplays();
    buildOptionGroups();

    // Under the playfield.
    Label4_ = makeLabel(this, "Label4", QStringLiteral("←→ で うごかす　↓ で おとす"), {144, 424, 185, 17});
    Label5_ = makeLabel(this, "Label5", QString::fromUtf8(kTitle), {16, 424, 105, 17});

    GameTimer_ = new QTimer(this);
    GameTimer_->setObjectName(QStringLiteral("GameTimer"));
    UFO_Timer_ = new QTimer(this);
    UFO_Timer_->setObjectName(QStringLiteral("UFO_Timer"));

    // Tab order of the design; labels and frames never take the focus.
    QWidget* order[] = {picSpace_, cmdClose_, cmdStart_, optMode_[0], optMax_[0], optMax_[1], optMode_[1]};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void MainWindow::buildButtons()
{
    const QFont buttonFont = designFont(12, true);
    cmdClose_ = new QPushButton(QStringLiteral("おしまい"), this);
    cmdClose_->setObjectName(QStringLiteral("cmdClose"));
    cmdClose_->setGeometry(400, 400, 137, 33);
    cmdClose_->setFont(buttonFont);

    cmdStart_ = new QPushButton(QStringLiteral("はじめ"), this);
    cmdStart_->setObjectName(QStringLiteral("cmdStart"));
    cmdStart_->setGeometry(400, 352, 137, 33);
    cmdStart_->setFont(buttonFont);
}

// The column of numbers, each under its heading: the best, the score, the UFOs left.
void MainWindow::buildScoreDisplays()
{
    const QFont headingFont = designFont(11.25, true);
    const QFont numberFont = designFont(14.25, true);
    const QColor paleYellow(255, 255, 192);

    Label2_ = makeLabel(this, "Label2", QStringLiteral("ハイスコア"), {392, 8, 145, 17});
    Label2_->setFont(headingFont);
    Label2_->setAlignment(Qt::AlignCenter);  // centred for the same reason as the numbers
    paintBackground(Label2_, QColor(192, 192, 255));
    lblHighScore_ = makeNumberLabel(this, "lblHighScore", QStringLiteral("0"), {392, 32, 145, 25},
                                    QColor(0, 0, 192), paleYellow, numberFont);

    Label1_ = makeLabel(this, "Label1", QStringLiteral("あなたのスコア"), {392, 72, 145, 17});
    Label1_->setFont(headingFont);
    Label1_->setAlignment(Qt::AlignCenter);
    paintBackground(Label1_, QColor(255, 255, 255));
    lblScore_ = makeNumberLabel(this, "lblScore", QStringLiteral("0"), {392, 96, 145, 25}, QColor(0, 0, 128),
                                QColor(255, 255, 128), numberFont);

    Label3_ = makeLabel(this, "Label3", QStringLiteral("のこりのＵＦＯ"), {408, 136, 73, 17});
    lblUFO_ = makeNumberLabel(this, "lblUFO", QStringLiteral("50"), {488, 128, 49, 25}, QColor(128, 0, 0),
                              paleYellow, designFont(12, false));
}

// The mode and the size of the numbers, each frame keeping one of its two selected;
// the game opens with practice and numbers up to 5.
void MainWindow::buildOptionGroups()
{
    const QFont frameFont = designFont(9.75, false);
    const QFont optionFont = designFont(11.25, true);
    fraMode_ = makeFrame(this, "fraMode", QStringLiteral("モード"), {400, 160, 137, 81}, frameFont, modeGroup_);
    optMode_[0] = makeOption(fraMode_, "optMode_0", QStringLiteral("れんしゅう"), {16, 24, 97, 25}, modeGroup_, 0,
                             optionFont);
    optMode_[1] = makeOption(fraMode_, "optMode_1", QStringLiteral("チャレンジ"), {16, 48, 97, 25}, modeGroup_, 1,
                             optionFont);

    fraMax_ = makeFrame(this, "fraMax", QStringLiteral("すうじのおおきさ"), {400, 248, 137, 81}, frameFont, maxGroup_);
    optMax_[0] = makeOption(fraMax_, "optMax_0", QStringLiteral("５まで"), {16, 24, 97, 25}, maxGroup_, 0, optionFont);
    optMax_[1] = makeOption(fraMax_, "optMax_1", QStringLiteral("９まで"), {16, 48, 97, 25}, maxGroup_, 1, optionFont);

    optMax_[0]->setChecked(true);
    optMode_[0]->setChecked(true);
}

// The controls the rules reach by name.
void MainWindow::bindControls()
{
    controls_.bind(Control::picSpace, picSpace_);
    controls_.bind(Control::cmdStart, cmdStart_);
    controls_.bind(Control::cmdClose, cmdClose_);
    controls_.bind(Control::lblScore, lblScore_);
    controls_.bind(Control::lblHighScore, lblHighScore_);
    controls_.bind(Control::lblUFO, lblUFO_);
    controls_.bind(Control::optMax0, optMax_[0]);
    controls_.bind(Control::optMax1, optMax_[1]);
    controls_.bind(Control::optMode0, optMode_[0]);
    controls_.bind(Control::optMode1, optMode_[1]);
}

void MainWindow::bindEvents()
{
    connect(cmdStart_, &QAbstractButton::clicked, this, [this] { game_->cmdStart_Click(); });
    connect(cmdClose_, &QAbstractButton::clicked, this, [this] { game_->cmdClose_Click(); });
    for (std::int16_t index = 0; index <= 1; ++index) {
        connect(optMax_[index], &QAbstractButton::clicked, this, [this, index] { game_->optMax_Click(index); });
        connect(optMode_[index], &QAbstractButton::clicked, this, [this, index] { game_->optMode_Click(index); });
    }
    connect(GameTimer_, &QTimer::timeout, this, [this] { game_->GameTimer_Timer(); });
    connect(UFO_Timer_, &QTimer::timeout, this, [this] { game_->UFO_Timer_Timer(); });
}

bool MainWindow::load()
{
    return game_->Form_Load();
}

void MainWindow::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (sound_ && !soundOpened_) {
        soundOpened_ = true;
        // After this paint has reached the screen; the title music asked for by the
        // load event starts once the server answers.
        QTimer::singleShot(0, this, [this] { sound_->open(); });
    }
}

void MainWindow::showCentred()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
    nameDesktopEntry(*this);  // before the window manager first sees the window
    show();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const std::int16_t code = keyCodeOf(key->key());
    auto* widget = qobject_cast<QWidget*>(watched);
    if (code == 0 || !widget || widget->window() != this)
        return false;
    if (QApplication::activeModalWidget())
        return true;  // the window waits for the box
    // Key preview: the window's handler sees the key first, then the control with the
    // focus gets it too (the handler never takes a key by clearing its code). Qt shows
    // the filter the same event again at every step up the parent chain; only the
    // first step, at the focus widget, is the preview.
    if (widget != (focusWidget() ? focusWidget() : this))
        return false;
    if (keyObserver_)
        keyObserver_(code);
    std::int16_t keyCode = code;
    game_->Form_KeyDown(keyCode, 0);
    return false;
}

void MainWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        QTimer::singleShot(0, this, &MainWindow::keepDesignedFrame);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (size() != QSize(kClientWidth, kClientHeight))
        QTimer::singleShot(0, this, &MainWindow::keepDesignedFrame);
}

// A compositor may maximise, fullscreen or tile a window whatever it asked for; the
// game answers by going back to its designed frame, never stretched.
void MainWindow::keepDesignedFrame()
{
    const Qt::WindowStates large = Qt::WindowMaximized | Qt::WindowFullScreen;
    // Asked of the compositor, which answers with the size: a size set first would not
    // match the state it still holds the window to.
    if ((windowState() & large) && windowHandle())
        windowHandle()->setWindowStates(windowState() & ~large);
    else if (size() != QSize(kClientWidth, kClientHeight))
        resize(kClientWidth, kClientHeight);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The close box ends the program at once: no question, no saving.
    GameTimer_->stop();
    UFO_Timer_->stop();
    audio_->stop();
    event->accept();
}

}  // namespace ui
