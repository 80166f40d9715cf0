#include "media/speed_stage.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cstring>

namespace carvel::media {

namespace {

constexpr std::int64_t kFifoFrames = 1 << 16;
constexpr int kScratchFrames = 1 << 14;

}  // namespace

SpeedStage::SpeedStage(int rate) : fifo_(2 * kFifoFrames), scratch_(2 * kScratchFrames) {
    int error = 0;
    resampler_ = src_new(SRC_SINC_FASTEST, 2, &error);
    using Stretcher = RubberBand::RubberBandStretcher;
    stretcher_ = std::make_unique<Stretcher>(
        static_cast<std::size_t>(rate), 2,
        Stretcher::OptionProcessRealTime | Stretcher::OptionThreadingNever |
            Stretcher::OptionEngineFaster | Stretcher::OptionWindowShort);
    stretcher_->setMaxProcessSize(kMaxPush);
    for (std::vector<float>& channel : planar_) {
        channel.resize(kScratchFrames);
    }
}

SpeedStage::~SpeedStage() {
    if (resampler_) {
        src_delete(resampler_);
    }
}

void SpeedStage::setSpeed(Speed speed) {
    speed.speed = std::clamp(speed.speed, Speed::kSlowest, Speed::kFastest);
    const Way way = speed.speed == 1.0 && !speed.keepPitch ? Way::Through
                    : speed.keepPitch                      ? Way::KeepPitch
                                                           : Way::Turntable;
    speed_ = speed;
    if (way != way_ || way == Way::Through) {
        way_ = way;
        restart();
    } else if (way == Way::KeepPitch) {
        stretcher_->setTimeRatio(1.0 / speed.speed);
    }
}

void SpeedStage::restart() {
    // What is waiting in the output stays; it counts as pending source at the new speed.
    pushed_ = 0;
    pulled_ = -available() * speed_.speed;
    dropLeft_ = 0;
    if (resampler_) {
        src_reset(resampler_);
    }
    if (way_ != Way::KeepPitch) {
        return;
    }
    stretcher_->reset();
    stretcher_->setTimeRatio(1.0 / speed_.speed);
    // The stretcher's output lines up with its input once it has been given this much silence and
    // this much of its output has been dropped.
    auto pad = static_cast<std::int64_t>(stretcher_->getPreferredStartPad());
    dropLeft_ = static_cast<std::int64_t>(stretcher_->getStartDelay());
    std::fill(planar_[0].begin(), planar_[0].end(), 0.0f);
    std::fill(planar_[1].begin(), planar_[1].end(), 0.0f);
    const float* channels[2] = {planar_[0].data(), planar_[1].data()};
    while (pad > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(pad, kMaxPush));
        stretcher_->process(channels, n, false);
        pad -= static_cast<std::int64_t>(n);
    }
}

void SpeedStage::push(const float* in, int frames) {
    frames = std::clamp(frames, 0, kMaxPush);
    pushed_ += frames;
    switch (way_) {
        case Way::Through:
            append(in, frames);
            break;
        case Way::Turntable:
            resample(in, frames, false);
            break;
        case Way::KeepPitch:
            stretch(in, frames, false);
            break;
    }
}

void SpeedStage::finish() {
    if (way_ == Way::Turntable) {
        resample(nullptr, 0, true);
    } else if (way_ == Way::KeepPitch) {
        stretch(nullptr, 0, true);
    }
}

void SpeedStage::resample(const float* in, int frames, bool final) {
    if (!resampler_) {
        return;
    }
    SRC_DATA data{};
    data.src_ratio = 1.0 / speed_.speed;
    data.end_of_input = final ? 1 : 0;
    for (;;) {
        data.data_in = in;
        data.input_frames = frames;
        data.data_out = scratch_.data();
        data.output_frames = kScratchFrames;
        if (src_process(resampler_, &data) != 0) {
            return;
        }
        append(scratch_.data(), data.output_frames_gen);
        in += 2 * data.input_frames_used;
        frames -= static_cast<int>(data.input_frames_used);
        if (frames <= 0 && (!final || data.output_frames_gen == 0)) {
            return;
        }
    }
}

void SpeedStage::stretch(const float* in, int frames, bool final) {
    for (int i = 0; i < frames; ++i) {
        planar_[0][static_cast<std::size_t>(i)] = in[2 * i];
        planar_[1][static_cast<std::size_t>(i)] = in[2 * i + 1];
    }
    const float* channels[2] = {planar_[0].data(), planar_[1].data()};
    stretcher_->process(channels, static_cast<std::size_t>(frames), final);
    float* out[2] = {planar_[0].data(), planar_[1].data()};
    for (int ready = stretcher_->available(); ready > 0; ready = stretcher_->available()) {
        const std::size_t got =
            stretcher_->retrieve(out, static_cast<std::size_t>(std::min(ready, kScratchFrames)));
        if (got == 0) {
            return;
        }
        std::size_t from = 0;
        if (dropLeft_ > 0) {
            from = static_cast<std::size_t>(
                std::min<std::int64_t>(dropLeft_, static_cast<std::int64_t>(got)));
            dropLeft_ -= static_cast<std::int64_t>(from);
        }
        for (std::size_t i = from; i < got; ++i) {
            scratch_[2 * (i - from)] = out[0][i];
            scratch_[2 * (i - from) + 1] = out[1][i];
        }
        append(scratch_.data(), static_cast<std::int64_t>(got - from));
    }
}

void SpeedStage::append(const float* frames, std::int64_t count) {
    compact(count);
    count = std::min(count, (static_cast<std::int64_t>(fifo_.size()) - end_) / 2);
    std::copy_n(frames, 2 * count, fifo_.begin() + end_);
    end_ += 2 * count;
}

void SpeedStage::compact(std::int64_t room) {
    if (static_cast<std::int64_t>(fifo_.size()) - end_ >= 2 * room || begin_ == 0) {
        return;
    }
    std::copy(fifo_.begin() + begin_, fifo_.begin() + end_, fifo_.begin());
    end_ -= begin_;
    begin_ = 0;
}

int SpeedStage::pull(float* out, int frames) {
    const int n = std::clamp(frames, 0, available());
    std::copy_n(fifo_.begin() + begin_, 2 * n, out);
    begin_ += 2 * n;
    if (begin_ == end_) {
        begin_ = end_ = 0;
    }
    pulled_ += n * speed_.speed;
    return n;
}

double SpeedStage::lookaheadFrames(int block) const {
    switch (way_) {
        case Way::Through:
            return block;
        case Way::Turntable:
            // The resampler holds back about half its filter, which widens as it slows down.
            return block + 256;
        case Way::KeepPitch:
            return block + static_cast<double>(stretcher_->getStartDelay()) * speed_.speed +
                   static_cast<double>(stretcher_->getPreferredStartPad());
    }
    return block;
}

}  // namespace carvel::media
