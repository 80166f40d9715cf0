#include "media/sdl_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/frame_clock.h"

namespace carvel::media {

namespace {

// ALSA and friends write their own complaints to stderr while SDL probes for a device; the caller
// reports the outcome in one line instead.
class QuietStderr {
  public:
    QuietStderr() {
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && null >= 0) {
            dup2(null, STDERR_FILENO);
        }
        if (null >= 0) {
            close(null);
        }
    }
    ~QuietStderr() {
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

  private:
    int saved_ = -1;
};

// The speed as the callback reads it: thousandths, and the pitch switch in the low bit.
std::uint32_t speedCode(Speed speed) {
    return static_cast<std::uint32_t>(std::lround(speed.speed * 1000)) << 1 |
           (speed.keepPitch ? 1U : 0U);
}

Speed speedOf(std::uint32_t code) {
    return {static_cast<double>(code >> 1) / 1000.0, (code & 1U) != 0};
}

constexpr int kSourceBlock = 256;  // source frames mixed at a time through the speed stage

std::int64_t nanosSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                                start)
        .count();
}

}  // namespace

SdlOutput::SdlOutput(int preferredRate)
    : opened_(std::chrono::steady_clock::now()), source_(2 * kSourceBlock) {
    speedCode_.store(speedCode(speed_));
    stageCode_ = speedCode(speed_);
    QuietStderr quiet;
    // SDL would otherwise take over SIGINT and SIGTERM, and nothing here reads its quit events.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        failure_ = QString::fromUtf8(SDL_GetError());
        return;
    }
    SDL_AudioSpec want{};
    want.freq = preferredRate > 0 ? preferredRate : 44100;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 512;
    want.callback = &SdlOutput::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    const int allowed = preferredRate > 0 ? 0 : SDL_AUDIO_ALLOW_FREQUENCY_CHANGE;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, allowed);
    if (device_ == 0) {
        failure_ = QString::fromUtf8(SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    rate_ = have.freq;
    limiter_ = Limiter(rate_);
    stage_ = std::make_unique<SpeedStage>(rate_);
    callbackSize_ = have.samples;
    opened_ = std::chrono::steady_clock::now();
    SDL_PauseAudioDevice(device_, 0);
}

SdlOutput::~SdlOutput() {
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

void SdlOutput::callback(void* self, Uint8* stream, int length) {
    auto* output = static_cast<SdlOutput*>(self);
    const int frames = length / static_cast<int>(2 * sizeof(float));
    auto* out = reinterpret_cast<float*>(stream);
    std::memset(stream, 0, static_cast<size_t>(length));
    const std::uint32_t code = output->speedCode_.load(std::memory_order_acquire);
    if (code != output->stageCode_) {
        output->stage_->setSpeed(speedOf(code));
        output->stageCode_ = code;
    }
    if (output->stage_->passesThrough() && output->stage_->available() == 0) {
        output->callbackFrames_.store(output->mixer_.framesMixed(), std::memory_order_relaxed);
        output->callbackSpeed_.store(1.0, std::memory_order_relaxed);
        output->callbackNanos_.store(nanosSince(output->opened_), std::memory_order_release);
        output->mixer_.mix(out, frames);
    } else {
        output->mixAtSpeed(out, frames);
    }
    output->limiter_.process(out, frames);
}

void SdlOutput::mixAtSpeed(float* out, int frames) {
    // The clock stands at the source frame that this block's first output frame comes from.
    const double first = static_cast<double>(mixer_.framesMixed()) - stage_->pendingSourceFrames();
    callbackFrames_.store(std::llround(first), std::memory_order_relaxed);
    callbackSpeed_.store(stage_->speed().speed, std::memory_order_relaxed);
    callbackNanos_.store(nanosSince(opened_), std::memory_order_release);
    for (int done = 0; done < frames;) {
        while (stage_->available() == 0) {
            std::fill(source_.begin(), source_.end(), 0.0f);
            mixer_.mix(source_.data(), kSourceBlock);
            stage_->push(source_.data(), kSourceBlock);
        }
        done += stage_->pull(out + 2 * done, frames - done);
    }
}

void SdlOutput::setSpeed(Speed speed) {
    speed.speed = std::clamp(speed.speed, Speed::kSlowest, Speed::kFastest);
    if (speed == speed_) {
        return;
    }
    if (device_ == 0) {
        silentFrames_ = nowFrames();
        silentNanos_ = nanosSince(opened_);
    }
    speed_ = speed;
    // Starts must be scheduled beyond what the stage has already taken from the mixer.
    SpeedStage probe(rate_);
    probe.setSpeed(speed);
    latencyMs_ = kLatencyMs * speed.speed + probe.lookaheadFrames(kSourceBlock) * 1000.0 / rate_;
    if (probe.passesThrough()) {
        latencyMs_ = kLatencyMs;
    }
    speedCode_.store(speedCode(speed), std::memory_order_release);
}

double SdlOutput::nowFrames() {
    double frames = 0;
    if (device_ == 0) {
        frames = silentFrames_ + static_cast<double>(nanosSince(opened_) - silentNanos_) * rate_ *
                                     speed_.speed / 1e9;
    } else {
        const std::int64_t nanos = callbackNanos_.load(std::memory_order_acquire);
        const std::int64_t base = callbackFrames_.load(std::memory_order_relaxed);
        const double speed = callbackSpeed_.load(std::memory_order_relaxed);
        const double since = static_cast<double>(nanosSince(opened_) - nanos) / 1e9 * speed;
        frames =
            FrameClock(rate_).interpolate(base, since, static_cast<int>(callbackSize_ * speed));
    }
    lastFrames_ = std::max(lastFrames_, frames);
    return lastFrames_;
}

double SdlOutput::nowMs() {
    flushOverflow();
    return FrameClock(rate_).msAt(nowFrames());
}

void SdlOutput::flushOverflow() {
    while (!overflow_.empty() && mixer_.post(std::move(overflow_.front()))) {
        overflow_.pop_front();
    }
}

void SdlOutput::post(Mixer::Command&& command) {
    flushOverflow();
    if (!overflow_.empty() || !mixer_.post(std::move(command))) {
        overflow_.push_back(std::move(command));
    }
}

void SdlOutput::play(int voice, SoundPtr sound, double dueMs, std::int64_t offsetFrames,
                     Lane lane) {
    mixer_.collect();
    const std::int64_t frame = FrameClock(rate_).startFrame(dueMs, nowFrames(), latencyMs_);
    const std::int64_t frames =
        (sound ? sound->frames() : 0) - std::max<std::int64_t>(offsetFrames, 0);
    schedule_.started(voice, frame, frames);
    if (device_ != 0) {
        post({Mixer::Command::Type::Start, voice, frame, std::move(sound), offsetFrames, lane});
    }
}

void SdlOutput::stopAll() {
    mixer_.collect();
    schedule_.clear();
    if (device_ != 0) {
        overflow_.clear();  // starts that never reached the mixer are stopped already
        post({Mixer::Command::Type::StopAll, 0, 0, nullptr});
    }
}

void SdlOutput::stopAllAt(double atMs) {
    mixer_.collect();
    const std::int64_t frame = FrameClock(rate_).startFrame(atMs, nowFrames(), latencyMs_);
    schedule_.stopAt(frame);
    if (device_ != 0) {
        post({Mixer::Command::Type::StopAll, 0, frame, nullptr});
    }
}

void SdlOutput::setLaneGain(Lane lane, float gain) {
    mixer_.setLaneGain(lane, gain);
}

bool SdlOutput::isPlaying(int voice) {
    flushOverflow();
    return schedule_.playing(voice, static_cast<std::int64_t>(nowFrames()));
}

double SdlOutput::silentAtMs(int voice) {
    return wrapClock(std::ceil(static_cast<double>(schedule_.endFrame(voice)) * 1000.0 / rate_));
}

double SdlOutput::heardDelayMs() const {
    return isSilent() ? 0 : latencyMs_ + 1000.0 * callbackSize_ / rate_ * speed_.speed;
}

}  // namespace carvel::media
