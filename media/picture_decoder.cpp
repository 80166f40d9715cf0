#include "media/picture_decoder.h"

#include <QFile>
#include <QImageReader>

#include "platform/regular_file.h"

namespace carvel::media {

PicturePtr decodePicture(const QByteArray& nativePath, QSize size) {
    RegularFile regular(nativePath);
    QFile file;
    if (!regular.isOpen() ||
        !file.open(regular.release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        return nullptr;
    }
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    QImage image = reader.read();
    if (image.isNull() || size.isEmpty()) {
        return nullptr;
    }
    if (image.size() != size) {
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    image = image.convertToFormat(kPictureFormat);
    if (image.isNull()) {
        return nullptr;
    }
    return std::make_shared<const QImage>(std::move(image));
}

}  // namespace carvel::media
