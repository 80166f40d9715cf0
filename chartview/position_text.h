#pragma once

#include <QString>

namespace carvel {

// The position bar's text: the time heard, the chart's length (minutes:seconds, whole seconds
// cut off) and the measure at the time, at least three digits: "1:23 / 2:05  小節 032". Times
// below 0 or no number read as 0.
QString positionText(double nowMs, double lengthMs, int measure);

}  // namespace carvel
