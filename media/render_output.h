#pragma once

#include <vector>

#include "media/mixer.h"
#include "media/sound_output.h"

namespace carvel::media {

// Offline output on a virtual clock that starts at 0 and only moves when told. A start due at t
// lands at frame round(max(t, now) x rate / 1000), a half rounding up. The mix is kept in memory.
class RenderOutput final : public SoundOutput, public Clock {
  public:
    explicit RenderOutput(int sampleRate);

    int sampleRate() const override { return rate_; }
    void play(int voice, SoundPtr sound, double dueMs) override;
    void stopAll() override;
    bool isPlaying(int voice) override;
    double silentAtMs(int voice) override;
    double nowMs() override { return now_; }

    // Moves the virtual clock forward to ms and mixes every frame before it.
    void advanceTo(double ms);
    // Mixes on until every voice has ended.
    void finish();

    const std::vector<float>& samples() const { return samples_; }
    std::vector<float> takeSamples() { return std::move(samples_); }
    std::int64_t frameOf(double ms) const;

  private:
    void mixUntil(std::int64_t frame);

    int rate_;
    double now_ = 0;
    Mixer mixer_;
    VoiceSchedule schedule_;
    std::int64_t lastEnd_ = 0;
    std::vector<float> samples_;
};

}  // namespace carvel::media
