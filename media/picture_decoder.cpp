#include "media/picture_decoder.h"

#include <QImageReader>

namespace carvel::media {

PicturePtr decodePicture(const QString& path, QSize size) {
    QImageReader reader(path);
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
