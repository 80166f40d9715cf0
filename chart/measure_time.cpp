#include "chart/measure_time.h"

#include <algorithm>
#include <cmath>

namespace carvel {

std::optional<double> measureTimeMs(const Timeline& timeline, double measure) {
    const std::vector<MeasureAnchor>& anchors = timeline.measures;
    if (anchors.empty() || !(measure >= 0) || measure > anchors.back().measure) {
        return std::nullopt;
    }
    const auto after =
        std::upper_bound(anchors.begin(), anchors.end(), measure,
                         [](double m, const MeasureAnchor& a) { return m < a.measure; });
    const MeasureAnchor& a = *(after - 1);
    const double time = measure == a.measure
                            ? a.timeMs
                            : a.timeMs + a.stopMs + (measure - a.measure) * a.msPerMeasure;
    return std::isfinite(time) ? std::optional<double>(time) : std::nullopt;
}

}  // namespace carvel
