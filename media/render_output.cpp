#include "media/render_output.h"

#include <algorithm>
#include <cmath>

namespace carvel::media {

namespace {
constexpr std::int64_t kBlock = 4096;
}

RenderOutput::RenderOutput(int sampleRate, RenderSink& sink, std::int64_t maxFrames)
    : rate_(sampleRate),
      sink_(sink),
      maxFrames_(maxFrames),
      limiter_(sampleRate),
      block_(kBlock * 2) {}

std::int64_t RenderOutput::frameOf(double ms) const {
    return static_cast<std::int64_t>(std::floor(ms * rate_ / 1000.0 + 0.5));
}

void RenderOutput::play(int voice, SoundPtr sound, double dueMs, std::int64_t offsetFrames,
                        Lane lane) {
    const std::int64_t frame = frameOf(std::max(dueMs, now_));
    const std::int64_t frames = std::max<std::int64_t>(
        (sound ? sound->frames() : 0) - std::max<std::int64_t>(offsetFrames, 0), 0);
    schedule_.started(voice, frame, frames);
    lastEnd_ = std::max(lastEnd_, frame + frames);
    post({Mixer::Command::Type::Start, voice, frame, std::move(sound), offsetFrames, lane});
}

void RenderOutput::post(Mixer::Command&& command) {
    // Offline nothing drains the queue between calls: a mix of no frames moves it along.
    while (!mixer_.post(std::move(command))) {
        mixer_.mix(nullptr, 0);
    }
}

void RenderOutput::stopAll() {
    post({Mixer::Command::Type::StopAll, 0, 0, nullptr});
    schedule_.clear();
    lastEnd_ = frameOf(now_);
}

void RenderOutput::stopAllAt(double atMs) {
    const std::int64_t frame = frameOf(std::max(atMs, now_));
    post({Mixer::Command::Type::StopAll, 0, frame, nullptr});
    schedule_.stopAt(frame);
    lastEnd_ = std::min(lastEnd_, frame);
}

void RenderOutput::setLaneGain(Lane lane, float gain) {
    mixer_.setLaneGain(lane, gain);
}

bool RenderOutput::isPlaying(int voice) {
    return schedule_.playing(voice, frameOf(now_));
}

double RenderOutput::silentAtMs(int voice) {
    return static_cast<double>(schedule_.endFrame(voice)) * 1000.0 / rate_;
}

void RenderOutput::startAt(double ms) {
    now_ = ms;
    lastEnd_ = frameOf(ms);
    mixer_.startAt(lastEnd_);
}

void RenderOutput::advanceTo(double ms) {
    now_ = std::max(now_, ms);
    mixUntil(frameOf(now_));
}

void RenderOutput::finish() {
    mixUntil(std::max(lastEnd_, mixer_.framesMixed()));
    if (stage_ && !sinkFailed_) {
        stage_->finish();
        drainStage();
    }
}

void RenderOutput::setSpeed(Speed speed) {
    if (speed.speed == 1.0 && !speed.keepPitch) {
        stage_.reset();
        return;
    }
    stage_ = std::make_unique<SpeedStage>(rate_);
    stage_->setSpeed(speed);
    staged_.resize(2 * kBlock);
}

void RenderOutput::mixUntil(std::int64_t frame) {
    if (frame > maxFrames_) {
        cutShort_ = true;
        frame = maxFrames_;
    }
    while (!sinkFailed_ && mixer_.framesMixed() < frame) {
        const std::int64_t begin = mixer_.framesMixed();
        const auto n = static_cast<int>(std::min(kBlock, frame - begin));
        std::fill_n(block_.begin(), n * 2, 0.0f);
        mixer_.mix(block_.data(), n);
        mixer_.collect();
        deliver(block_.data(), n);
    }
}

void RenderOutput::deliver(float* block, int frames) {
    if (!stage_) {
        write(block, frames);
        return;
    }
    stage_->push(block, frames);
    drainStage();
}

void RenderOutput::drainStage() {
    while (!sinkFailed_ && stage_->available() > 0) {
        write(staged_.data(), stage_->pull(staged_.data(), static_cast<int>(kBlock)));
    }
}

void RenderOutput::write(float* block, int frames) {
    if (limited_) {
        limiter_.process(block, frames);
    }
    sinkFailed_ = !sink_.write(block, frames);
}

}  // namespace carvel::media
