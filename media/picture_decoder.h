#pragma once

#include <QSize>
#include <QString>

#include "media/picture.h"

namespace carvel::media {

// Reads a picture by its content (BMP, PNG, JPEG, ...) and scales it to exactly size, nearest
// pixel, so pure black stays pure black for the colour key. Null when it cannot be read.
// Safe to call from several threads at once.
PicturePtr decodePicture(const QString& path, QSize size);

}  // namespace carvel::media
