#include "playback/playback_driver.h"

#include <cmath>

namespace carvel {

namespace {
constexpr int kPassesPerBatch = 256;
}

PlaybackDriver::PlaybackDriver(Pass pass, Clock& clock, QObject* parent)
    : QObject(parent), pass_(std::move(pass)), clock_(clock) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { run(); });
}

void PlaybackDriver::wake() {
    if (running_) {
        rerun_ = true;
        return;
    }
    run();
}

void PlaybackDriver::run() {
    timer_.stop();
    running_ = true;
    for (int i = 0; i < kPassesPerBatch; ++i) {
        rerun_ = false;
        const Step step = pass_();
        switch (step.kind) {
            case Step::Kind::Again:
                continue;
            case Step::Kind::Idle:
                if (rerun_) {
                    continue;
                }
                running_ = false;
                return;
            case Step::Kind::WaitUntil: {
                const double wait = elapsedMs(step.untilMs, clock_.nowMs()) / clock_.rate();
                if (wait <= 0 || rerun_) {
                    continue;
                }
                // The clock follows the sound card, which may run a little faster or slower than
                // the timer's clock: long waits are cut short and measured again on waking.
                const double sleep = wait <= 4 ? std::ceil(wait) : std::floor(wait * 0.75);
                timer_.start(static_cast<int>(std::min(sleep, 60000.0)));
                running_ = false;
                return;
            }
        }
    }
    running_ = false;
    timer_.start(0);
}

}  // namespace carvel
