#include "chartview/position_text.h"

#include <algorithm>
#include <cmath>

namespace carvel {

namespace {

// Far beyond any chart, and well inside what a long long holds.
constexpr double kLongestShownMs = 1e15;

QString clockText(double ms) {
    const double clamped = std::isnan(ms) ? 0 : std::clamp(ms, 0.0, kLongestShownMs);
    const auto seconds = static_cast<long long>(clamped / 1000);
    return QString::number(seconds / 60) + u':' +
           QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

QString positionText(double nowMs, double lengthMs, int measure) {
    return clockText(nowMs) + QStringLiteral(" / ") + clockText(lengthMs) +
           QStringLiteral("  小節 ") +
           QStringLiteral("%1").arg(std::max(0, measure), 3, 10, QLatin1Char('0'));
}

}  // namespace carvel
