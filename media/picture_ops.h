#pragma once

#include <QImage>

namespace carvel::media {

// The copies that composing the picture area needs. Every image is in kPictureFormat; a copy
// always takes the whole source and covers the whole destination, scaled by nearest pixel.

void fillBlack(QImage& surface);

// Copies source onto destination, scaled.
void copyScaled(const QImage& source, QImage& destination);

// As copyScaled, but pure black pixels of source leave destination as it was.
void copyScaledKeyed(const QImage& source, QImage& destination);

}  // namespace carvel::media
