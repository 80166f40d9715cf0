#include "playback/first_use.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "chart/channels.h"

namespace carvel {

namespace {

using Kind = MediaRequest::Kind;

class Collector {
  public:
    void add(double chartMs, Kind kind, int index) {
        if (index < 0 || !std::isfinite(chartMs)) {
            return;
        }
        const long long key = (static_cast<long long>(index) << 1) | (kind == Kind::Picture);
        if (seen_.insert(key).second) {
            uses_.push_back({chartMs, kind, index});
        }
    }
    std::vector<FirstUse> take() {
        // The classic table is in position order but where a bar-length rewrite moved an event.
        std::stable_sort(uses_.begin(), uses_.end(), [](const FirstUse& a, const FirstUse& b) {
            return a.chartMs < b.chartMs;
        });
        return std::move(uses_);
    }

  private:
    std::unordered_set<long long> seen_;
    std::vector<FirstUse> uses_;
};

}  // namespace

std::vector<FirstUse> firstUses(const Chart& chart) {
    Collector uses;
    if (chart.mode() == ReadingMode::Full) {
        for (const TimedEvent& e : chart.timeline().events) {
            if (channels::isSound(e.channel)) {
                if (!e.continues) {
                    uses.add(e.timeMs, Kind::Sound, e.value);
                }
            } else if (channels::isPicture(e.channel) || e.channel == channels::kMissPicture) {
                uses.add(e.timeMs, Kind::Picture, e.value);
            }
        }
    } else {
        for (const Event& e : chart.table().events) {
            const double ms = positionField(e.position) * 1250 / chart.bpm;
            if (channels::isClassicSound(e.channel)) {
                uses.add(ms, Kind::Sound, e.value);
            } else if (channels::isPicture(e.channel) || e.channel == channels::kMissPicture) {
                uses.add(ms, Kind::Picture, e.value);
            }
        }
    }
    return uses.take();
}

double chartLengthMs(const Chart& chart) {
    double length = 0;
    if (chart.mode() == ReadingMode::Full) {
        for (const TimedEvent& e : chart.timeline().events) {
            if (std::isfinite(e.timeMs)) {
                length = std::max(length, static_cast<double>(e.timeMs));
            }
        }
    } else {
        for (const Event& e : chart.table().events) {
            length = std::max(length, positionField(e.position) * 1250 / chart.bpm);
        }
    }
    return length;
}

}  // namespace carvel
