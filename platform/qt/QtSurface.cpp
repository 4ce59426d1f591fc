#include "platform/qt/QtSurface.h"

#include <QBuffer>
#include <QImageReader>
#include <QPaintEvent>
#include <QPainter>
#include <cstdlib>

#include "platform/posix/PosixFiles.h"

namespace platform {

namespace {

std::uint32_t le32(const QByteArray& bytes, int at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

std::uint16_t le16(const QByteArray& bytes, int at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

// The file header, and the info header's size against the file's.
const char* headerProblem(const QByteArray& bytes)
{
    const qint64 size = bytes.size();
    if (size < 14 + 12)
        return "too short for a BMP header";
    if (bytes[0] != 'B' || bytes[1] != 'M')
        return "not a BMP file";
    const std::uint32_t dataOffset = le32(bytes, 10);
    const std::uint32_t infoSize = le32(bytes, 14);
    if (infoSize != 12 && (infoSize < 40 || infoSize > 124))
        return "unknown BMP header";
    if (14 + qint64(infoSize) > size)
        return "BMP header cut short";
    if (dataOffset < 14 + infoSize || dataOffset >= size)
        return "BMP pixel data missing";
    return nullptr;
}

struct BmpShape {
    qint64 width = 0, height = 0;  // height without its sign: rows top-down or bottom-up
    unsigned bits = 0, compression = 0;
};

// From either the old 12-byte info header or the newer ones.
BmpShape shapeOf(const QByteArray& bytes)
{
    BmpShape shape;
    if (le32(bytes, 14) == 12) {
        shape.width = le16(bytes, 18);
        shape.height = static_cast<std::int16_t>(le16(bytes, 20));
        shape.bits = le16(bytes, 24);
    } else {
        shape.width = static_cast<std::int32_t>(le32(bytes, 18));
        shape.height = static_cast<std::int32_t>(le32(bytes, 22));
        shape.bits = le16(bytes, 28);
        shape.compression = le32(bytes, 30);
    }
    shape.height = std::abs(shape.height);
    return shape;
}

// Qt's decoder accepts a file whose pixel rows stop early and leaves the missing
// rows undefined. Check that the headers hold together and that every row of an
// uncompressed image is in the file; returns the reason when not.
const char* bmpProblem(const QByteArray& bytes)
{
    if (const char* problem = headerProblem(bytes))
        return problem;
    const BmpShape shape = shapeOf(bytes);
    if (shape.width <= 0 || shape.height == 0)
        return "bad BMP dimensions";
    static_assert(kMaxImageSide == 1024, "the reason below names the limit");
    if (shape.width > kMaxImageSide || shape.height > kMaxImageSide)
        return "BMP larger than 1024 x 1024";
    switch (shape.bits) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return "bad BMP bit depth";
    }
    const bool rowsStored = shape.compression == 0 || shape.compression == 3 || shape.compression == 6;
    const qint64 stride = ((shape.width * shape.bits + 31) / 32) * 4;
    if (rowsStored && le32(bytes, 10) + stride * shape.height > bytes.size())
        return "BMP pixel data cut short";
    return nullptr;
}

[[noreturn]] void fail(const std::string& path, const std::string& why)
{
    throw LoadError("cannot read " + path + ": " + why);
}

}  // namespace

QtPicture::QtPicture(QImage image) : image_(image.convertToFormat(QImage::Format_RGB32)) {}

PictureRef QtImageLoader::load(const std::string& fileName)
{
    const std::string path = locate_ ? locate_(fileName) : fileName;
    std::string content, why;
    if (!readRegularFile(path, kMaxFileBytes, content, why))
        fail(path, why);
    QByteArray bytes = QByteArray::fromStdString(content);
    if (const char* problem = bmpProblem(bytes))
        fail(path, problem);

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setDecideFormatFromContent(false);
    // Qt's own BMP reader only: asking every image-format plugin would load them all.
    reader.setAutoDetectImageFormat(false);
    QImage image = reader.read();
    if (image.isNull())
        fail(path, reader.errorString().toStdString());
    return std::make_shared<QtPicture>(std::move(image));
}

QtSurface::QtSurface(QWidget* parent)
    : QWidget(parent), image_(kWidth, kHeight, QImage::Format_RGB32)
{
    image_.fill(Qt::black);
    setFixedSize(kWidth, kHeight);
    // paintEvent covers every pixel from the image: no background to clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
}

void QtSurface::changed(const QRect& area)
{
    pending_ += area;
    // A hidden window collects changes without painting; keep the region simple.
    if (pending_.rectCount() > 64)
        pending_ = pending_.boundingRect();
    update(area);
}

void QtSurface::paintPicture(const Picture& picture, int x, int y)
{
    const auto* qt = dynamic_cast<const QtPicture*>(&picture);
    Q_ASSERT(qt);
    if (!qt)
        return;
    const QRect area = QRect(x, y, qt->width(), qt->height()) & image_.rect();
    if (area.isEmpty())
        return;
    {
        QPainter p(&image_);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(x, y, qt->image());
    }
    changed(area);
}

void QtSurface::fillBlack(int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    // QRect(x, y, w, h) ends at x + w - 1: the far edge stays out.
    const QRect area = QRect(x, y, width, height) & image_.rect();
    if (area.isEmpty())
        return;
    {
        QPainter p(&image_);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(area, Qt::black);
    }
    changed(area);
}

void QtSurface::present()
{
    // update() alone would leave the old picture up through a blocking wait.
    if (!pending_.isEmpty())
        repaint(pending_);
}

void QtSurface::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    // Scaled screens get blocky pixels, never blurred tiles.
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, image_);  // the paint region clips this
    pending_ -= event->region();
}

}  // namespace platform
