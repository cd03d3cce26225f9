#include "imaging/QtImageReaders.h"

#include "imaging/AlphaOver.h"

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>

namespace {

// The extension as a format name ("wbmp" has no signature to find it by).
QByteArray Suffix(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return QByteArray::fromStdString(path.substr(dot + 1)).toLower();
}

} // namespace

bool LoadWithQtReaders(std::span<const uint8_t> data, const std::string& FileName,
                       PictureBox& PicLoad, std::vector<uint8_t>& icc) {
    icc.clear();
    // A view of the caller's bytes, not a copy.
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (!reader.canRead()) { // no signature: the name's extension decides
        buffer.seek(0);
        reader.setDevice(&buffer);
        reader.setFormat(Suffix(FileName));
        if (reader.format().isEmpty() || !reader.canRead()) return false;
    }
    reader.setAutoTransform(true);
    // The size before any pixels: the same limit as every other surface.
    constexpr int kMegabyte = 1 << 20;
    QImageReader::setAllocationLimit(int(kMaxSurfaceBytes / kMegabyte));
    const QSize size = reader.size();
    std::size_t stride = 0, total = 0;
    if (size.isValid() &&
        !SurfaceSize(size.width(), size.height(), 32, kMaxSurfaceBytes, stride, total))
        return false;
    QImage image = reader.read();
    if (image.isNull() ||
        !SurfaceSize(image.width(), image.height(), 32, kMaxSurfaceBytes, stride, total))
        return false;
    // Qt's readers report the profile a file embeds (a WebP's ICCP chunk, a
    // JPEG's APP2 ...) without converting the pixels.
    const QByteArray profile =
        image.colorSpace().isValid() ? image.colorSpace().iccProfile() : QByteArray();
    image.convertTo(QImage::Format_ARGB32);
    if (!PicLoad.SetSize(image.width(), image.height())) return false;
    icc.assign(profile.begin(), profile.end());
    PicLoad.Cls();
    const cDIB& surface = PicLoad.Surface();
    for (int y = 0; y < image.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        auto* out = reinterpret_cast<uint32_t*>(
            surface.lpBits() + std::size_t(y) * std::size_t(surface.BytesPerScanline()));
        for (int x = 0; x < image.width(); ++x)
            out[x] = AlphaOver(out[x], uint8_t(qRed(in[x])), uint8_t(qGreen(in[x])),
                               uint8_t(qBlue(in[x])), uint8_t(qAlpha(in[x])));
    }
    return true;
}

int OrientationFromQtReaders(std::span<const uint8_t> data) {
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (!reader.canRead()) return 1;
    switch (reader.transformation()) {
    case QImageIOHandler::TransformationMirror:
        return 2;
    case QImageIOHandler::TransformationRotate180:
        return 3;
    case QImageIOHandler::TransformationFlip:
        return 4;
    case QImageIOHandler::TransformationFlipAndRotate90:
        return 5;
    case QImageIOHandler::TransformationRotate90:
        return 6;
    case QImageIOHandler::TransformationMirrorAndRotate90:
        return 7;
    case QImageIOHandler::TransformationRotate270:
        return 8;
    default:
        return 1;
    }
}
