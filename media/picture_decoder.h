#pragma once

#include <QByteArray>
#include <QSize>

#include "media/picture.h"

namespace carvel::media {

// Reads a picture by its content (BMP, PNG, JPEG, ...) and scales it to exactly size, nearest
// pixel, so pure black stays pure black for the colour key. Null when it cannot be read.
// nativePath is the file's name on disk. Safe to call from several threads at once.
PicturePtr decodePicture(const QByteArray& nativePath, QSize size);

}  // namespace carvel::media
