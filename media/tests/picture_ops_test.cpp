#include <gtest/gtest.h>

#include "media/picture.h"
#include "media/picture_ops.h"
#include "testing/qt_printers.h"

namespace carvel::media {
namespace {

TEST(PictureOps, ScaledAndKeyedCopies) {
    QImage source(2, 2, kPictureFormat);
    source.setPixel(0, 0, qRgb(0, 0, 0));
    source.setPixel(1, 0, qRgb(255, 0, 0));
    source.setPixel(0, 1, qRgb(0, 0, 1));  // nearly black is not transparent
    source.setPixel(1, 1, qRgb(0, 255, 0));

    QImage destination(4, 4, kPictureFormat);
    destination.fill(qRgb(9, 9, 9));
    copyScaledKeyed(source, destination);
    EXPECT_EQ(destination.pixel(0, 0), qRgb(9, 9, 9));
    EXPECT_EQ(destination.pixel(1, 1), qRgb(9, 9, 9));
    EXPECT_EQ(destination.pixel(3, 0), qRgb(255, 0, 0));
    EXPECT_EQ(destination.pixel(0, 3), qRgb(0, 0, 1));
    EXPECT_EQ(destination.pixel(2, 2), qRgb(0, 255, 0));

    copyScaled(source, destination);
    EXPECT_EQ(destination.pixel(0, 0), qRgb(0, 0, 0));
    fillBlack(destination);
    EXPECT_EQ(destination.pixel(3, 3), qRgb(0, 0, 0));
}

}  // namespace
}  // namespace carvel::media
