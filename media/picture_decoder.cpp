#include "media/picture_decoder.h"

#include <new>

#include "platform/regular_file.h"

namespace carvel::media {

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

// The widest pixel a reader decodes into (16-bit RGBA), for a header that does not say.
constexpr std::size_t kWidestPixelBytes = 8;

}  // namespace

PictureFile::PictureFile(const QByteArray& nativePath, QSize size) : size_(size) {
    RegularFile regular(nativePath);
    if (size.isEmpty() || !regular.isOpen() ||
        !file_.open(regular.release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        return;
    }
    reader_.setDevice(&file_);
    reader_.setDecideFormatFromContent(true);
    const QSize own = reader_.size();
    // Past the reader's limit (in MiB, 0 for none) the picture could not be read at all.
    const auto limit = static_cast<std::size_t>(QImageReader::allocationLimit()) * kMiB;
    std::size_t ownBytes = limit;
    std::size_t pixelBytes = kWidestPixelBytes;
    if (own.isValid()) {
        const QImage::Format format = reader_.imageFormat();
        if (format != QImage::Format_Invalid) {
            pixelBytes = (QImage::toPixelFormat(format).bitsPerPixel() + 7) / 8;
        }
        ownBytes = static_cast<std::size_t>(own.width()) * static_cast<std::size_t>(own.height()) *
                   pixelBytes;
        if (limit != 0 && ownBytes > limit) {
            return;
        }
    } else if (limit == 0) {
        return;  // no bound on what reading it may take
    }
    // The picture at its own size, its copy scaled in that format, and the kept conversion.
    const auto keptPixels =
        static_cast<std::size_t>(size.width()) * static_cast<std::size_t>(size.height());
    decodingBytes_ = ownBytes + keptPixels * pixelBytes + keptBytes();
    readable_ = true;
}

std::size_t PictureFile::keptBytes() const {
    return static_cast<std::size_t>(size_.width()) * static_cast<std::size_t>(size_.height()) *
           static_cast<std::size_t>(QImage::toPixelFormat(kPictureFormat).bitsPerPixel() / 8);
}

PicturePtr PictureFile::decode() {
    if (!readable_) {
        return nullptr;
    }
    readable_ = false;
    QImage image = reader_.read();
    file_.close();
    if (image.isNull()) {
        return nullptr;
    }
    if (image.size() != size_) {
        image = image.scaled(size_, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    image = std::move(image).convertToFormat(kPictureFormat);
    if (image.isNull()) {
        return nullptr;
    }
    return std::make_shared<const QImage>(std::move(image));
}

PicturePtr decodePicture(const QByteArray& nativePath, QSize size) {
    PictureFile file(nativePath, size);
    return file.decode();
}

}  // namespace carvel::media
