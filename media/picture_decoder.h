#pragma once

#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QSize>
#include <cstddef>

#include "media/picture.h"

namespace carvel::media {

// One picture file, opened and measured from its header but not yet decoded, so that the memory
// its decoding takes is known before anything is allocated. Read by content (BMP, PNG, JPEG, ...)
// and scaled to exactly `size`, nearest pixel, so pure black stays pure black for the colour key.
// nativePath is the file's name on disk. Instances are independent: several threads may each use
// their own.
class PictureFile {
  public:
    PictureFile(const QByteArray& nativePath, QSize size);

    // False when the file cannot be opened, or its header names a picture too large to be read.
    bool readable() const { return readable_; }
    // The most that decode() holds at once while it reads and scales (the picture at its own size,
    // from the header, and at the kept size); 0 unless readable.
    std::size_t decodingBytes() const { return readable_ ? decodingBytes_ : 0; }
    // What a decoded picture keeps: `size` in kPictureFormat.
    std::size_t keptBytes() const;

    // Null when the picture cannot be read. Call at most once.
    PicturePtr decode();

  private:
    QFile file_;
    QImageReader reader_;
    QSize size_;
    bool readable_ = false;
    std::size_t decodingBytes_ = 0;
};

// Opens and decodes in one step; null when the picture cannot be read. Safe to call from several
// threads at once.
PicturePtr decodePicture(const QByteArray& nativePath, QSize size);

}  // namespace carvel::media
