#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "media/limiter.h"
#include "media/mixer.h"
#include "media/sound_output.h"
#include "media/speed_stage.h"

namespace carvel::media {

// Receives an offline mix block by block, in order, as it is mixed.
class RenderSink {
  public:
    virtual ~RenderSink() = default;
    // Called once before the first block, when there is something to render at all (the chart
    // exists). False gives the render up.
    virtual bool open() { return true; }
    // `frames` interleaved stereo frames. False stops the render (the sink could not keep them).
    virtual bool write(const float* samples, std::int64_t frames) = 0;
};

// Keeps the whole mix in memory: for tests and short renders.
class CollectingSink final : public RenderSink {
  public:
    bool write(const float* block, std::int64_t frames) override {
        samples.insert(samples.end(), block, block + 2 * frames);
        return true;
    }
    std::vector<float> samples;  // L R L R ...
};

// Offline output on a virtual clock that starts at 0 and only moves when told. A start due at t
// lands at frame round(max(t, now) x rate / 1000), a half rounding up. The mix goes to the sink in
// blocks as the clock moves; nothing of it is kept here. No frame at or past maxFrames is mixed.
// The mix goes through a Limiter, as the sound card's does, unless told otherwise.
class RenderOutput final : public SoundOutput, public Clock {
  public:
    static constexpr std::int64_t kUnlimited = std::numeric_limits<std::int64_t>::max();

    RenderOutput(int sampleRate, RenderSink& sink, std::int64_t maxFrames = kUnlimited);

    int sampleRate() const override { return rate_; }
    void play(int voice, SoundPtr sound, double dueMs, std::int64_t offsetFrames = 0,
              Lane lane = Lane::Other) override;
    void stopAll() override;
    void stopAllAt(double atMs) override;
    void setLaneGain(Lane lane, float gain) override;
    // Set before the first frame is mixed. The virtual clock then counts source time: the sink
    // gets about 1 / speed frames for each frame mixed, the first aligned with the first mixed.
    void setSpeed(Speed speed) override;
    Speed speed() const override { return stage_ ? stage_->speed() : Speed{}; }
    bool isPlaying(int voice) override;
    double silentAtMs(int voice) override;
    double nowMs() override { return now_; }

    // Off: the sums go to the sink as they are, above full scale too (for a render that is scaled
    // afterwards). Set before the first frame is mixed.
    void setLimited(bool limited) { limited_ = limited; }

    // Before anything is played or mixed: the virtual clock starts at ms instead of 0, so the first
    // frame mixed (and handed to the sink) is frameOf(ms). maxFrames still counts from frame 0.
    void startAt(double ms);

    // Moves the virtual clock forward to ms and mixes every frame before it.
    void advanceTo(double ms);
    // Mixes on until every voice has ended.
    void finish();

    std::int64_t frameOf(double ms) const;
    std::int64_t framesMixed() const { return mixer_.framesMixed(); }
    // Frames at or past maxFrames were asked for: the mix was cut short there.
    bool cutShort() const { return cutShort_; }
    // The sink refused a block; nothing more is mixed.
    bool sinkFailed() const { return sinkFailed_; }
    bool stopped() const { return cutShort_ || sinkFailed_; }

  private:
    void mixUntil(std::int64_t frame);
    void post(Mixer::Command&& command);
    // Hands the sink the mixed block, or what the speed stage gives for it.
    void deliver(float* block, int frames);
    void drainStage();
    void write(float* block, int frames);

    int rate_;
    RenderSink& sink_;
    std::int64_t maxFrames_;
    double now_ = 0;
    Mixer mixer_;
    Limiter limiter_;
    bool limited_ = true;
    VoiceSchedule schedule_;
    std::int64_t lastEnd_ = 0;
    std::vector<float> block_;
    std::unique_ptr<SpeedStage> stage_;  // none at speed 1
    std::vector<float> staged_;
    bool cutShort_ = false;
    bool sinkFailed_ = false;
};

}  // namespace carvel::media
