#include "playback/playback_engine.h"

#include <cmath>
#include <limits>

#include "chart/text_helpers.h"

namespace carvel {

namespace {

bool isSoundChannel(long long c) {
    return c == 1 || (c >= 11 && c <= 16) || (c >= 21 && c <= 26);
}

long long roundIndex(double v) {
    if (!std::isfinite(v) || std::fabs(v) > 1e15) {
        return -1;
    }
    return std::llround(v);
}

const QString kPlaying = QStringLiteral("ｽﾃｰﾀｽ : 再生中です。");
const QString kStopped = QStringLiteral("ｽﾃｰﾀｽ : 停止しました。");
const QString kCompleted = QStringLiteral("ｽﾃｰﾀｽ : 再生が完了しました。");

}  // namespace

double eventPosition(const std::string& event) {
    return leadingNumber(std::string_view(event).substr(0, 6));
}

PlaybackEngine::PlaybackEngine(ChartState& chart, media::SoundOutput& sound, Clock& clock,
                               Host& host)
    : chart_(chart), sound_(sound), clock_(clock), host_(host) {}

void PlaybackEngine::cmdPlay_Click() {
    if (chart_.colEvents.empty()) {
        return;
    }
    lngStartTime = clock_.nowMs();
    lngNowTime = clock_.nowMs();
    handledAt_ = lngStartTime;
    chart_.intMissBmp = 0;
    dblPosition = -1;
    lngEventIndex = 1;
    blnPlaying = true;
    compositor_.clear();
    host_.pictureChanged(compositor_.primary());
    host_.statusChanged(kPlaying);
    phase_ = Phase::Loop;
    host_.wake();
}

void PlaybackEngine::cmdStop_Click() {
    blnPlaying = false;
    host_.wake();
}

void PlaybackEngine::cmdFF_Click() {
    lngStartTime = wrapClock(lngStartTime - 1000);
    lngEventIndex += 10;
    host_.wake();
}

void PlaybackEngine::cmdRev_Click() {
    lngStartTime = wrapClock(lngStartTime + 1000);
    lngEventIndex -= 50;
    if (lngEventIndex < 1) {
        lngEventIndex = 1;
    }
    host_.wake();
}

double PlaybackEngine::positionAt(double clockMs) const {
    return chart_.intBpm / 240.0 * 192 * elapsedMs(clockMs, lngStartTime) / 1000;
}

double PlaybackEngine::dueClock(double position) const {
    // The first clock reading at which the position formula reaches `position`.
    double t = lngStartTime + position * 1250 / chart_.intBpm;
    for (int i = 0; i < 8 && positionAt(wrapClock(t)) < position; ++i) {
        t = std::nextafter(t, std::numeric_limits<double>::infinity());
    }
    return wrapClock(t);
}

PlaybackEngine::Step PlaybackEngine::pass() {
    switch (phase_) {
        case Phase::Idle:
            return {};
        case Phase::Loop: {
            if (!blnPlaying) {
                phase_ = Phase::EndOfRun;
                return {Step::Kind::Again};
            }
            if (!host_.playerVisible()) {
                blnPlaying = false;
                host_.closePlayer();
            }
            const auto count = static_cast<long long>(chart_.colEvents.size());
            if (lngEventIndex > count || lngEventIndex < 1) {
                phase_ = Phase::EndOfRun;
                return {Step::Kind::Again};
            }
            const std::string& event = chart_.colEvents[static_cast<size_t>(lngEventIndex - 1)];
            const double position = eventPosition(event);
            if (position <= dblPosition) {
                handle(event, position);
            }
            lngNowTime = clock_.nowMs();
            dblPosition = positionAt(lngNowTime);
            return phase_ == Phase::Loop ? nextStep() : Step{Step::Kind::Again};
        }
        case Phase::EndOfRun:
            if (!blnPlaying) {
                phase_ = Phase::Idle;
                host_.statusChanged(kStopped);
                return {};
            }
            phase_ = Phase::TailWait;
            tailIndex_ = 0;
            return {Step::Kind::Again};
        case Phase::TailWait:
            return finishTailWait();
    }
    return {};
}

PlaybackEngine::Step PlaybackEngine::nextStep() {
    const auto count = static_cast<long long>(chart_.colEvents.size());
    if (!blnPlaying || lngEventIndex > count || lngEventIndex < 1) {
        return {Step::Kind::Again};
    }
    const double next = eventPosition(chart_.colEvents[static_cast<size_t>(lngEventIndex - 1)]);
    if (next <= dblPosition) {
        return {Step::Kind::Again};
    }
    const double due = dueClock(next);
    if (!std::isfinite(due)) {
        return {Step::Kind::Again};
    }
    return {Step::Kind::WaitUntil, due};
}

PlaybackEngine::Step PlaybackEngine::finishTailWait() {
    while (blnPlaying && tailIndex_ < chart_.blnWav.size()) {
        if (chart_.blnWav[tailIndex_] && sound_.isPlaying(static_cast<int>(tailIndex_))) {
            return {Step::Kind::WaitUntil, sound_.silentAtMs(static_cast<int>(tailIndex_))};
        }
        ++tailIndex_;
    }
    phase_ = Phase::Idle;
    host_.statusChanged(kCompleted);
    host_.runCompleted();
    return running() ? Step{Step::Kind::Again} : Step{};
}

void PlaybackEngine::handle(const std::string& event, double position) {
    if (dblPosition - position > 10 && (lngBltFlags & kWaitOff) != 0) {
        ++lngEventIndex;
        return;
    }
    const size_t first = event.find(',');
    const size_t second = first == std::string::npos ? first : event.find(',', first + 1);
    const double channel =
        first == std::string::npos ? 0 : leadingNumber(std::string_view(event).substr(first + 1));
    const double value =
        second == std::string::npos ? 0 : leadingNumber(std::string_view(event).substr(second + 1));
    const long long c = roundIndex(channel);
    const double due = wrapClock(lngStartTime + position * 1250 / chart_.intBpm);
    if (elapsedMs(due, handledAt_) > 0) {
        handledAt_ = due;
    }
    if (isSoundChannel(c)) {
        startSound(roundIndex(value), handledAt_);
    } else if (c == 2) {
        const double jump = (1 - value) * 240 * 1000 / chart_.intBpm;
        if (std::isfinite(jump) && std::fabs(jump) < 1e12) {
            lngStartTime = wrapClock(std::nearbyint(lngStartTime - jump));
        }
    } else if (c == 4 || c == 7) {
        if (chkImage) {
            loadPicture(roundIndex(value), c == 7);
        }
    } else if (c == 6) {
        const long long miss = roundIndex(value);
        if (miss >= -32768 && miss <= 32767) {
            chart_.intMissBmp = static_cast<int>(miss);
        }
    }
    ++lngEventIndex;
}

void PlaybackEngine::startSound(long long index, double dueMs) {
    if (!chart_.soundLoaded(index)) {
        return;
    }
    const media::SoundPtr& sound = chart_.dsbWav[static_cast<size_t>(index)];
    if (sound) {
        sound_.play(static_cast<int>(index), sound, dueMs);
    }
}

void PlaybackEngine::loadPicture(long long index, bool layer) {
    compositor_.loadPicture(chart_, index, layer);
    compositor_.compose(chart_);
    host_.pictureChanged(compositor_.primary());
}

}  // namespace carvel
