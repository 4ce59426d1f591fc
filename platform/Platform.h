#pragma once
// What the rules need from the world. The game core sees only these interfaces;
// Qt and the sound server's client implement them for the real window, tests use recording fakes.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace platform {

// A loaded bitmap. Only its size is visible to the rules; the surface that made it
// knows how to paint it.
class Picture {
public:
    virtual ~Picture() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
};
using PictureRef = std::shared_ptr<const Picture>;

// Raised when a file the start-up needs cannot be used.
class LoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ImageLoader {
public:
    virtual ~ImageLoader() = default;
    // Loads a BMP by its bare name from wherever the game keeps it; throws LoadError.
    virtual PictureRef load(const std::string& fileName) = 0;
};

// The playfield. Coordinates are pixels of the drawing area.
class Surface {
public:
    virtual ~Surface() = default;
    virtual void setPixelUnits() = 0;
    virtual void setPersistent(bool on) = 0;
    // Source copy at natural size; what falls outside the drawing area is clipped.
    virtual void paintPicture(const Picture& picture, int x, int y) = 0;
    // Black from (x, y) up to but excluding (x + width, y + height).
    virtual void fillBlack(int x, int y, int width, int height) = 0;
    // Puts everything drawn so far on the screen now, before a blocking wait.
    virtual void present() = 0;
};

class Timer {
public:
    virtual ~Timer() = default;
    virtual void setEnabled(bool on) = 0;
    virtual bool enabled() const = 0;
};

enum class Control {
    picSpace,
    cmdStart,
    cmdClose,
    lblScore,
    lblHighScore,
    lblUFO,
    optMax0,
    optMax1,
    optMode0,
    optMode1,
};

class Controls {
public:
    virtual ~Controls() = default;
    virtual void setCaption(Control c, const std::string& utf8) = 0;
    virtual void setEnabled(Control c, bool on) = 0;
    virtual void setFocus(Control c) = 0;
    // Closes the main window; the program ends once the current handler returns.
    virtual void unloadWindow() = 0;
};

// Message box styles and answers, as the rules name them.
namespace mb {
inline constexpr int Critical = 16;
inline constexpr int Exclamation = 48;
inline constexpr int YesNoExclamation = 52;
inline constexpr int Ok = 1;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
}  // namespace mb

class MessageBox {
public:
    virtual ~MessageBox() = default;
    // Modal; returns the code of the button pressed.
    virtual int show(const std::string& text, int style, const std::string& title) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t millisecondsSinceMidnight() = 0;
};

class Random {
public:
    virtual ~Random() = default;
    // Stirs the time of day into the generator.
    virtual void randomize() = 0;
    // Uniform in [0, 1).
    virtual double next() = 0;
};

// One sound at a time; every call first stops what is playing.
class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    virtual void startLoop(const std::string& fileName) = 0;
    // Plays once and returns when the sound has ended (or could not be played).
    virtual void playToEnd(const std::string& fileName) = 0;
    virtual void stop() = 0;
};

}  // namespace platform
