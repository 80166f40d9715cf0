#include "chartview/loop_marks.h"

#include <algorithm>
#include <cmath>

namespace carvel {

double snapToLine(double ms, const std::vector<double>& lines) {
    const auto after = std::lower_bound(lines.begin(), lines.end(), ms);
    if (after == lines.begin()) {
        return lines.empty() ? ms : *after;
    }
    if (after == lines.end() || ms - *(after - 1) <= *after - ms) {
        return *(after - 1);
    }
    return *after;
}

LoopMarks::Change LoopMarks::mark(std::optional<double>& point, std::optional<double>& other,
                                  double ms) {
    Change change;
    if (complete()) {
        change.clear = true;
        other.reset();
    }
    point = ms;
    if (other && std::abs(*other - ms) < shortestMs_) {
        other.reset();
    }
    if (complete()) {
        change.loop = Range{std::min(*a_, *b_), std::max(*a_, *b_)};
    }
    return change;
}

}  // namespace carvel
