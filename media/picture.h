#pragma once

#include <QImage>
#include <memory>

namespace carvel::media {

// Every picture is kept in this one pixel format, so copies between them never convert.
inline constexpr QImage::Format kPictureFormat = QImage::Format_RGB32;

using PicturePtr = std::shared_ptr<const QImage>;

}  // namespace carvel::media
