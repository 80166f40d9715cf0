#include "media/picture_ops.h"

#include <cstring>
#include <vector>

#include "media/picture.h"

namespace carvel::media {

namespace {

template <bool Keyed>
void copy(const QImage& source, QImage& destination) {
    if (source.isNull() || destination.isNull()) {
        return;
    }
    const QImage src =
        source.format() == kPictureFormat ? source : source.convertToFormat(kPictureFormat);
    const int sw = src.width();
    const int sh = src.height();
    const int dw = destination.width();
    const int dh = destination.height();
    if (!Keyed && sw == dw && sh == dh) {
        for (int y = 0; y < dh; ++y) {
            std::memcpy(destination.scanLine(y), src.constScanLine(y),
                        static_cast<size_t>(dw) * sizeof(QRgb));
        }
        return;
    }
    // Nearest pixel: the source column of every destination column is worked out once per copy.
    std::vector<int> columns(static_cast<size_t>(dw));
    for (int x = 0; x < dw; ++x) {
        columns[static_cast<size_t>(x)] = static_cast<int>(static_cast<long long>(x) * sw / dw);
    }
    for (int y = 0; y < dh; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(
            src.constScanLine(static_cast<int>(static_cast<long long>(y) * sh / dh)));
        auto* out = reinterpret_cast<QRgb*>(destination.scanLine(y));
        for (int x = 0; x < dw; ++x) {
            const QRgb pixel = in[columns[static_cast<size_t>(x)]];
            if (!Keyed || (pixel & 0x00FFFFFFu) != 0) {
                out[x] = pixel | 0xFF000000u;
            }
        }
    }
}

}  // namespace

void fillBlack(QImage& surface) {
    surface.fill(0xFF000000u);
}

void copyScaled(const QImage& source, QImage& destination) {
    copy<false>(source, destination);
}

void copyScaledKeyed(const QImage& source, QImage& destination) {
    copy<true>(source, destination);
}

}  // namespace carvel::media
