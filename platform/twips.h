#pragma once

#include <QRect>
#include <QSize>

namespace carvel {

// Layout unit of the windows: 1440 twips to the logical inch.
int twipsToPixels(int twips, double logicalDpi);
QRect twipsRect(int left, int top, int width, int height, double logicalDpi);

// The window sizes are given as outer sizes; the frame around the client area takes this much.
inline constexpr int kFrameWidthTwips = 105;
inline constexpr int kFrameHeightTwips = 390;

}  // namespace carvel
