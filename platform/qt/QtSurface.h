#pragma once
// The playfield on Qt. Every paint and fill goes into one retained image, which is
// copied to the screen on repaint: what the game drew survives being covered and
// uncovered, and only the rectangles that changed are repainted.

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>

#include "platform/Platform.h"

namespace platform {

// A loaded bitmap, kept in the surface's own pixel format so painting is a plain copy.
class QtPicture : public Picture {
public:
    explicit QtPicture(QImage image);
    int width() const override { return image_.width(); }
    int height() const override { return image_.height(); }
    const QImage& image() const { return image_; }

private:
    QImage image_;
};

// The widest and tallest picture the game takes, tile or icon: a small file may
// declare a huge one, and decoding it would take that much memory first.
inline constexpr int kMaxImageSide = 1024;

// BMP files, found by `locate` from their bare names (none: the working directory).
// Anything that is not a complete, decodable BMP raises LoadError naming the file and
// why; nothing is guessed or half-loaded.
class QtImageLoader : public ImageLoader {
public:
    using Locate = std::function<std::string(const std::string&)>;
    explicit QtImageLoader(Locate locate = {}) : locate_(std::move(locate)) {}
    PictureRef load(const std::string& fileName) override;

private:
    Locate locate_;
};

class QtSurface : public QWidget, public Surface {
    Q_OBJECT
public:
    static constexpr int kWidth = 369;
    static constexpr int kHeight = 401;

    explicit QtSurface(QWidget* parent = nullptr);

    // Always pixels, and everything drawn is kept anyway.
    void setPixelUnits() override {}
    void setPersistent(bool) override {}
    void paintPicture(const Picture& picture, int x, int y) override;
    void fillBlack(int x, int y, int width, int height) override;
    void present() override;

    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void changed(const QRect& area);

    QImage image_;
    QRegion pending_;  // drawn into the image, not yet on the screen
};

}  // namespace platform
