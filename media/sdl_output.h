#pragma once

#include <SDL.h>

#include <QString>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>

#include "media/limiter.h"
#include "media/mixer.h"
#include "media/sound_output.h"
#include "media/speed_stage.h"

namespace carvel::media {

// Real-time output through SDL2 audio. Its clock counts the frames the sound card has been given,
// interpolated between callbacks with the steady clock, so pictures and sounds share one time
// base. The mix goes through a Limiter on its way to the card. When no device can be opened, it
// runs silently on the steady clock alone (isSilent()).
class SdlOutput final : public SoundOutput, public Clock {
  public:
    // Starts are scheduled this far behind their due time, so that a start handled a little late
    // still lands on its exact frame.
    static constexpr double kLatencyMs = 35.0;

    // preferredRate: 0 for the device's own rate.
    explicit SdlOutput(int preferredRate = 0);
    ~SdlOutput() override;
    SdlOutput(const SdlOutput&) = delete;
    SdlOutput& operator=(const SdlOutput&) = delete;

    bool isSilent() const { return device_ == 0; }
    // Voice starts the sound card has mixed so far (for measurements).
    std::int64_t startsMixed() const { return mixer_.startsApplied(); }
    QString failure() const { return failure_; }  // why the device could not be opened

    int sampleRate() const override { return rate_; }
    void play(int voice, SoundPtr sound, double dueMs, std::int64_t offsetFrames = 0,
              Lane lane = Lane::Other) override;
    void stopAll() override;
    void stopAllAt(double atMs) override;
    void setLaneGain(Lane lane, float gain) override;
    // The callback picks a new speed up at its next block.
    void setSpeed(Speed speed) override;
    Speed speed() const override { return speed_; }
    bool isPlaying(int voice) override;
    double silentAtMs(int voice) override;
    // The latency plus one callback block: the clock counts a block as played while the callback
    // mixes it, and the card plays it after the block before. Both in the clock's time, which runs
    // at the speed.
    double heardDelayMs() const override;
    double nowMs() override;
    double rate() const override { return speed_.speed; }

  private:
    static void callback(void* self, Uint8* stream, int length);
    // The playback position in frames since the output opened; monotonic.
    double nowFrames();
    // Hands the mixer what a full command queue held back, in order, as far as it takes them.
    void flushOverflow();
    void post(Mixer::Command&& command);
    // Fills `frames` output frames through the speed stage (callback side).
    void mixAtSpeed(float* out, int frames);

    SDL_AudioDeviceID device_ = 0;
    int rate_ = 44100;
    QString failure_;
    Mixer mixer_;
    Limiter limiter_{44100};
    VoiceSchedule schedule_;
    // Commands the mixer's queue had no room for; posted before any newer one. A start posted late
    // still plays (a past frame means at once), where a dropped one would be silent.
    std::deque<Mixer::Command> overflow_;
    std::chrono::steady_clock::time_point opened_;
    // Written by the callback: frames mixed at its start, and when it ran.
    std::atomic<std::int64_t> callbackFrames_{0};
    std::atomic<std::int64_t> callbackNanos_{0};
    int callbackSize_ = 0;
    double lastFrames_ = 0;
    // Speed: the control side's setting, and the code of it that the callback reads.
    Speed speed_;
    double latencyMs_ = kLatencyMs;  // how far behind its due time a start is scheduled
    std::atomic<std::uint32_t> speedCode_{0};
    std::atomic<double> callbackSpeed_{1.0};
    // Callback side: the stage, the setting it has, and a block of source frames.
    std::unique_ptr<SpeedStage> stage_;
    std::uint32_t stageCode_ = 0;
    std::vector<float> source_;
    // Without a device the clock counts steady time at the speed from this point on.
    double silentFrames_ = 0;
    std::int64_t silentNanos_ = 0;
};

}  // namespace carvel::media
