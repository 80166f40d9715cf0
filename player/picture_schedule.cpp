#include "player/picture_schedule.h"

#include <algorithm>
#include <cmath>

namespace carvel {

namespace {

// A wait longer than this comes from a clock that jumped, not from the output's delay.
constexpr double kLongestWaitMs = 2000;

}  // namespace

PictureSchedule::PictureSchedule(Show show, QObject* parent)
    : QObject(parent), show_(std::move(show)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { showDue(); });
}

void PictureSchedule::setClock(Clock* clock, double delayMs) {
    setClock(clock, [delayMs] { return delayMs; });
}

void PictureSchedule::setClock(Clock* clock, std::function<double()> delayMs) {
    clock_ = clock;
    delayMs_ = std::move(delayMs);
}

void PictureSchedule::add(const QImage& picture, double dueMs) {
    const double delay = delayMs_ ? delayMs_() : 0;
    if (clock_ == nullptr || delay <= 0) {
        show_(picture);
        if (onShown) {
            onShown(dueMs, clock_ != nullptr ? clock_->nowMs() : dueMs);
        }
        return;
    }
    const double at = wrapClock(dueMs + delay);
    if (!pending_.empty()) {
        const double gap = elapsedMs(at, pending_.back().atMs);
        if (gap >= 0 && gap < kMergeMs) {
            pending_.back().picture = picture;
            pending_.back().dueMs = dueMs;
            return;
        }
    }
    pending_.push_back({at, dueMs, picture});
    if (pending_.size() == 1) {
        showDue();
    }
}

void PictureSchedule::showDue() {
    const double now = clock_->nowMs();
    while (!pending_.empty()) {
        const double wait = elapsedMs(pending_.front().atMs, now);
        if (wait > 0 && wait <= kLongestWaitMs) {
            break;
        }
        const Pending next = std::move(pending_.front());
        pending_.pop_front();
        show_(next.picture);
        if (onShown) {
            onShown(next.dueMs, now);
        }
    }
    arm();
}

void PictureSchedule::arm() {
    if (pending_.empty()) {
        return;
    }
    const double wait = elapsedMs(pending_.front().atMs, clock_->nowMs()) / clock_->rate();
    timer_.start(static_cast<int>(std::clamp(std::ceil(wait), 0.0, kLongestWaitMs)));
}

}  // namespace carvel
