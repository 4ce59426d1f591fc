#pragma once
// The game's one window: its controls, the real platform behind game::Services,
// and the wiring of the eight events to frmMain's handlers.

#include <QFont>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "game/frmMain.h"
#include "platform/posix/GameFolders.h"
#include "platform/posix/MixingRandom.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/SystemClock.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtSurface.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;

namespace platform {
class PulseDevice;
}

namespace ui {

inline constexpr const char* kTitle = "Zenkora Ver. 1";

// The designed captions' Japanese gothics, those with a real bold first.
QStringList designFamilies();
// A font of the window design: size in points at 96 dpi, set in pixels.
QFont designFont(double points, bool bold);
// The application's default: proportional Japanese gothic, 9 pt.
QFont defaultUiFont();
// The application's style and default font; before any window is made.
void setApplicationLook();

struct WindowOptions {
    std::optional<std::uint64_t> seed;        // fixed: reproducible draws
    platform::AudioDevice* audio = nullptr;  // none: the sound server
    platform::GameFolders folders{};          // none: the working directory
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 552;
    static constexpr int kClientHeight = 445;

    explicit MainWindow(const WindowOptions& options = {});
    ~MainWindow() override;

    // The load event. False: start-up failed, the player has been told, and the
    // window must not be shown.
    bool load();
    void showCentred();

    game::frmMain& game() { return *game_; }
    platform::QtSurface& surface() { return *picSpace_; }
    platform::QtMessageBox& messageBox() { return messageBox_; }

    // Told of every key code handed to Form_KeyDown.
    void setKeyObserver(std::function<void(std::int16_t)> observer) { keyObserver_ = std::move(observer); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setUpFrame();
    void buildControls();
    void buildButtons();
    void buildScoreDisplays();
    void buildOptionGroups();
    void bindControls();
    void bindEvents();
    void keepDesignedFrame();

    // Controls; owned by the widget tree.
    platform::QtSurface* picSpace_ = nullptr;
    QPushButton* cmdClose_ = nullptr;
    QPushButton* cmdStart_ = nullptr;
    QLabel* lblScore_ = nullptr;
    QLabel* Label1_ = nullptr;
    QGroupBox* fraMode_ = nullptr;
    QRadioButton* optMode_[2] = {};
    QGroupBox* fraMax_ = nullptr;
    QRadioButton* optMax_[2] = {};
    QLabel* Label2_ = nullptr;
    QLabel* lblHighScore_ = nullptr;
    QLabel* Label3_ = nullptr;
    QLabel* lblUFO_ = nullptr;
    QLabel* Label4_ = nullptr;
    QLabel* Label5_ = nullptr;
    QButtonGroup* modeGroup_ = nullptr;
    QButtonGroup* maxGroup_ = nullptr;
    QTimer* GameTimer_ = nullptr;
    QTimer* UFO_Timer_ = nullptr;

    // The platform the rules run on.
    const platform::GameFolders folders_;
    platform::QtImageLoader images_;
    std::unique_ptr<platform::QtTimer> gameTimer_;
    std::unique_ptr<platform::QtTimer> ufoTimer_;
    platform::QtControls controls_;
    platform::QtMessageBox messageBox_;
    platform::SystemClock clock_;
    platform::MixingRandom random_;
    std::unique_ptr<platform::PulseDevice> sound_;
    bool soundOpened_ = false;  // the server is called after the first paint
    platform::AudioDevice* audio_ = nullptr;
    platform::PosixFiles files_;
    std::unique_ptr<game::frmMain> game_;

    std::function<void(std::int16_t)> keyObserver_;
};

}  // namespace ui
