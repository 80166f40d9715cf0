#pragma once

#include <optional>
#include <vector>

namespace carvel {

// The measure line nearest to ms (the earlier of two at the same distance); ms itself when there
// are no lines. lines: ascending.
double snapToLine(double ms, const std::vector<double>& lines);

// The section loop's points A and B as the user marks them. Once both are marked they make the
// loop; marking either again after that starts a new pair, the other point gone.
class LoopMarks {
  public:
    struct Range {
        double aMs = 0;
        double bMs = 0;
        bool operator==(const Range&) const = default;
    };
    // What the controller is to do after a mark.
    struct Change {
        bool clear = false;         // the loop that ran is cleared
        std::optional<Range> loop;  // then this loop is set (A at or before B)
        bool operator==(const Change&) const = default;
    };

    // Points closer than this make no loop: the later mark stands alone.
    explicit LoopMarks(double shortestMs) : shortestMs_(shortestMs) {}

    Change markA(double ms) { return mark(a_, b_, ms); }
    Change markB(double ms) { return mark(b_, a_, ms); }
    // Forgets both points (the loop is cleared, or another chart plays).
    void clear() {
        a_.reset();
        b_.reset();
    }

    std::optional<double> a() const { return a_; }
    std::optional<double> b() const { return b_; }
    // Both points are marked: the loop runs.
    bool complete() const { return a_ && b_; }

  private:
    Change mark(std::optional<double>& point, std::optional<double>& other, double ms);

    double shortestMs_;
    std::optional<double> a_;
    std::optional<double> b_;
};

}  // namespace carvel
