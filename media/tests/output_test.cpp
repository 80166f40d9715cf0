#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "media/frame_clock.h"
#include "media/limiter.h"
#include "media/mixer.h"
#include "media/render_output.h"
#include "media/sdl_output.h"
#include "testing/qt_printers.h"

namespace carvel::media {
namespace {

// A stereo float sound whose left side counts up from start and right side down.
SoundPtr ramp(int frames, float start = 1) {
    auto sound = std::make_shared<Sound>();
    sound->sampleRate = 1000;
    for (int i = 0; i < frames; ++i) {
        sound->pcm.push_back(start + static_cast<float>(i));
        sound->pcm.push_back(-(start + static_cast<float>(i)));
    }
    return sound;
}

constexpr auto kStart = Mixer::Command::Type::Start;

std::vector<float> left(const std::vector<float>& stereo) {
    std::vector<float> l;
    for (size_t i = 0; i < stereo.size(); i += 2) {
        l.push_back(stereo[i]);
    }
    return l;
}

std::vector<float> mixBlocks(Mixer& mixer, int blocks, int frames) {
    std::vector<float> out(static_cast<size_t>(blocks * frames) * 2, 0.0f);
    for (int b = 0; b < blocks; ++b) {
        mixer.mix(out.data() + static_cast<size_t>(b * frames) * 2, frames);
    }
    return out;
}

// Voice 1 is cut where its restart begins; voices 3 and 4 start in later blocks. A finished sound
// goes back to the control side, to be freed there.
TEST(Mixer, StartsLandOnTheirFrameAcrossBlocks) {
    Mixer mixer;
    SoundPtr finishing = ramp(3);
    const std::weak_ptr<const Sound> weak = finishing;
    ASSERT_TRUE(mixer.post({kStart, 1, 0, ramp(6)}));
    ASSERT_TRUE(mixer.post({kStart, 1, 3, ramp(2, 100)}));
    ASSERT_TRUE(mixer.post({kStart, 2, 1, ramp(1, 50)}));
    ASSERT_TRUE(mixer.post({kStart, 3, 5, std::move(finishing)}));
    ASSERT_TRUE(mixer.post({kStart, 4, 9, ramp(2, 10)}));
    const std::vector<float> out = mixBlocks(mixer, 3, 4);
    EXPECT_EQ(left(out), (std::vector<float>{1, 52, 3, 100, 101, 1, 2, 3, 0, 10, 11, 0}));
    EXPECT_EQ(out[15], -3);  // the right channel of frame 7
    EXPECT_EQ(mixer.framesMixed(), 12);
    EXPECT_FALSE(weak.expired());  // still in the return queue
    mixer.collect();
    EXPECT_TRUE(weak.expired());
}

TEST(Mixer, SoundsOfEveryKindAddUp) {
    const auto mono16 = std::make_shared<Sound>(Sound{1000, 1, {16384, -8192}, {}});
    const auto stereo16 = std::make_shared<Sound>(Sound{1000, 2, {8192, -16384}, {}});
    const auto monoFloat = std::make_shared<Sound>(Sound{1000, 1, {}, {0.125f}});
    Mixer mixer;
    ASSERT_TRUE(mixer.post({kStart, 1, 0, mono16}));
    ASSERT_TRUE(mixer.post({kStart, 2, 0, stereo16}));
    ASSERT_TRUE(mixer.post({kStart, 3, 1, monoFloat}));
    EXPECT_EQ(mixBlocks(mixer, 1, 3),
              (std::vector<float>{0.75f, 0.0f, -0.125f, -0.125f, 0.0f, 0.0f}));
}

TEST(Mixer, LateStartsPlayAtOnceAndStopAllSilences) {
    Mixer mixer;
    mixBlocks(mixer, 1, 4);
    ASSERT_TRUE(mixer.post({kStart, 1, 2, ramp(3)}));  // frame 2 has been mixed already
    ASSERT_TRUE(mixer.post({kStart, 2, 100, ramp(3)}));
    EXPECT_EQ(left(mixBlocks(mixer, 1, 2)), (std::vector<float>{1, 2}));
    ASSERT_TRUE(mixer.post({Mixer::Command::Type::StopAll, 0, 0, nullptr}));
    EXPECT_EQ(left(mixBlocks(mixer, 60, 2)), std::vector<float>(120, 0.0f));
}

// A burst of starts larger than the mixer's command queue: the ones that do not fit wait beside it
// and reach the sound card in order, none lost. Runs on SDL's dummy driver, whose callbacks come
// in real time.
// A stop at a frame ahead cuts what rings there and forgets the starts that came before it;
// starts that come after it play.
TEST(Mixer, AStopAheadWaitsForItsFrame) {
    Mixer mixer;
    ASSERT_TRUE(mixer.post({kStart, 1, 0, ramp(8)}));
    ASSERT_TRUE(mixer.post({kStart, 2, 6, ramp(2, 50)}));
    ASSERT_TRUE(mixer.post({Mixer::Command::Type::StopAll, 0, 3, nullptr}));
    ASSERT_TRUE(mixer.post({kStart, 3, 3, ramp(2, 100)}));
    ASSERT_TRUE(mixer.post({kStart, 4, 7, ramp(1, 10)}));
    EXPECT_EQ(left(mixBlocks(mixer, 2, 4)), (std::vector<float>{1, 2, 3, 100, 101, 0, 0, 10}));
}

// Each voice is scaled by its lane's gain, set while it rings; a gain of 1 leaves the sums as
// they were.
TEST(Mixer, LaneGainsScaleTheirVoicesAtOnce) {
    Mixer mixer;
    ASSERT_TRUE(mixer.post({kStart, 1, 0, ramp(4, 10), 0, Lane::Background}));
    ASSERT_TRUE(mixer.post({kStart, 2, 0, ramp(4, 100), 0, Lane::Keys1P}));
    ASSERT_TRUE(mixer.post({kStart, 3, 0, ramp(4, 1000), 0, Lane::Keys2P}));
    std::vector<float> out = mixBlocks(mixer, 1, 2);
    mixer.setLaneGain(Lane::Background, 0);
    mixer.setLaneGain(Lane::Keys1P, 0.5f);
    const std::vector<float> rest = mixBlocks(mixer, 1, 2);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(left(out), (std::vector<float>{1110, 1113, 1002 + 51, 1003 + 51.5f}));
}

TEST(SdlOutput, ABurstOfStartsLargerThanTheQueueIsNotLost) {
    SdlOutput output;
    ASSERT_FALSE(output.isSilent()) << output.failure().toStdString();
    constexpr int kStarts = 10'000;
    const SoundPtr click = ramp(1);
    const double now = output.nowMs();
    for (int i = 0; i < kStarts; ++i) {
        output.play(i % Mixer::kVoices, click, now);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (output.startsMixed() < kStarts && std::chrono::steady_clock::now() < deadline) {
        output.nowMs();  // the player's passes read the clock; each hands on what waits
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(output.startsMixed(), kStarts);
}

TEST(RenderOutput, FramesRoundHalfUpAndNeverLieInThePast) {
    struct Case {
        double now, due;
        long long frame;
    };
    const Case cases[] = {
        {0, 10, 441}, {0, 0.5 / 44.1, 1}, {0, 0.49 / 44.1, 0}, {100, 50, 4410}, {100, 100.01, 4410},
    };
    for (const Case& c : cases) {
        CollectingSink sink;
        RenderOutput output(44100, sink);
        output.advanceTo(c.now);
        output.play(1, ramp(1, 0.5f), c.due);
        output.finish();
        const std::vector<float> l = left(sink.samples);
        ASSERT_EQ(static_cast<long long>(l.size()), c.frame + 1) << c.due;
        EXPECT_EQ(l.back(), 0.5f) << c.due;
    }
}

TEST(RenderOutput, StatusFollowsTheVirtualClock) {
    CollectingSink sink;
    RenderOutput output(1000, sink);
    output.play(7, ramp(50), 10);
    EXPECT_TRUE(output.isPlaying(7));
    EXPECT_DOUBLE_EQ(output.silentAtMs(7), 60);
    output.advanceTo(59);
    EXPECT_TRUE(output.isPlaying(7));
    output.advanceTo(60);
    EXPECT_FALSE(output.isPlaying(7));
    EXPECT_FALSE(output.isPlaying(8));
    // Many starts at one instant do not overflow the command queue.
    for (int i = 0; i < 20000; ++i) {
        output.play(i % 300, ramp(1), 60);
    }
    output.finish();
    EXPECT_EQ(sink.samples.size(), 61u * 2);
}

// A start at offset k plays the sound's own frames k.. from its due frame, and the voice is silent
// as many frames sooner; an offset at or past the end only silences the voice.
TEST(RenderOutput, AStartPartWayPlaysTheRestOfTheSound) {
    struct Case {
        std::int64_t offset;
        std::vector<float> left;
        double silentAtMs;
    };
    const Case cases[] = {
        {0, {0, 0, 1, 2, 3, 4, 5}, 7},
        {1, {0, 0, 2, 3, 4, 5}, 6},
        {4, {0, 0, 5}, 3},
        {5, {0, 0}, 2},
        {99, {0, 0}, 2},
        {-3, {0, 0, 1, 2, 3, 4, 5}, 7},
    };
    for (const Case& c : cases) {
        CollectingSink sink;
        RenderOutput output(1000, sink);
        output.setLimited(false);
        output.play(3, ramp(2, 100), 0);  // ends where the restart begins
        output.play(3, ramp(5), 2, c.offset);
        EXPECT_DOUBLE_EQ(output.silentAtMs(3), c.silentAtMs) << c.offset;
        output.advanceTo(1);
        output.finish();
        std::vector<float> expected = c.left;
        expected[0] = 100;
        expected[1] = 101;
        EXPECT_EQ(left(sink.samples), expected) << c.offset;
    }
}

// The mixer starts a 16-bit mono sound part-way too, on both sides.
TEST(Mixer, StartsAMonoSoundPartWay) {
    auto sound = std::make_shared<Sound>();
    sound->channels = 1;
    sound->pcm16 = {1000, 2000, 3000};
    Mixer mixer;
    ASSERT_TRUE(mixer.post({kStart, 1, 1, sound, 1}));
    const std::vector<float> out = mixBlocks(mixer, 1, 4);
    EXPECT_EQ(out, (std::vector<float>{0, 0, 2000 * kPcm16Scale, 2000 * kPcm16Scale,
                                       3000 * kPcm16Scale, 3000 * kPcm16Scale, 0, 0}));
}

constexpr float kThreshold = Limiter::kThreshold;

float peakOf(const std::vector<float>& samples) {
    return std::fabs(std::ranges::max(samples, {}, [](float v) { return std::fabs(v); }));
}

// At 1000 Hz: half a second of a tone at `amplitude` (the right side at half and inverted), then
// 1.5 s of a quiet tone, long enough for the gain to come back to 1.
std::vector<float> loudThenQuiet(float amplitude) {
    std::vector<float> s;
    for (int i = 0; i < 2000; ++i) {
        const float v = (i < 500 ? amplitude : 0.25f) * std::sin(0.3f * static_cast<float>(i));
        s.push_back(v);
        s.push_back(-0.5f * v);
    }
    return s;
}

TEST(Limiter, QuietMixesStayBitExactLoudOnesComeUnderTheThreshold) {
    for (const float amplitude : {0.5f, kThreshold, 1.0f, 3.0f, 3000.0f}) {
        SCOPED_TRACE(amplitude);
        const std::vector<float> in = loudThenQuiet(amplitude);
        std::vector<float> out = in;
        Limiter limiter(1000);
        limiter.process(out.data(), static_cast<std::int64_t>(out.size() / 2));
        EXPECT_LE(peakOf(out), kThreshold);
        EXPECT_EQ(limiter.gain(), 1.0);
        if (amplitude <= kThreshold) {
            EXPECT_TRUE(out == in);  // with the signs below: bit for bit
        } else {
            EXPECT_FLOAT_EQ(peakOf(out), kThreshold);
            EXPECT_TRUE(std::equal(out.begin() + 3400, out.end(), in.begin() + 3400));  // back to 1
        }
        for (size_t i = 0; i < in.size(); ++i) {
            // No delay: every sample keeps its place and its sign.
            ASSERT_EQ(std::signbit(out[i]), std::signbit(in[i])) << i;
            ASSERT_EQ(out[i] == 0, in[i] == 0) << i;
        }
        // The result does not depend on how the mix is cut into blocks.
        std::vector<float> blocks = in;
        Limiter again(1000);
        for (size_t frame = 0; frame < 2000; frame += 7) {
            again.process(blocks.data() + 2 * frame, std::min<std::int64_t>(7, 2000 - frame));
        }
        EXPECT_TRUE(blocks == out);
    }
}

TEST(Limiter, RendersAreLimitedUnlessToldOtherwise) {
    for (const bool limited : {true, false}) {
        CollectingSink sink;
        RenderOutput output(1000, sink);
        output.setLimited(limited);
        output.play(1, ramp(1, 0.75f), 0);
        output.play(2, ramp(1, 0.75f), 0);
        output.finish();
        EXPECT_FLOAT_EQ(peakOf(sink.samples), limited ? kThreshold : 1.5f);
    }
}

TEST(FrameClock, ReadingsAndStartFrames) {
    const FrameClock clock(44100);
    EXPECT_EQ(clock.msAt(44100), 1000);
    EXPECT_EQ(clock.msAt(44099), 999);                     // whole milliseconds, rounded down
    EXPECT_EQ(clock.msAt(4294967296.0 * 44.1 + 441), 10);  // wrapped at 2^32 ms

    struct Case {
        double dueMs, nowFrames, latencyMs;
        std::int64_t frame;
    };
    const double wrap = 4294967296.0;
    const Case cases[] = {
        {1000, 0, 0, 44100},          // ahead
        {1000, 0, 35, 44100 + 1543},  // plus the latency, in whole frames
        {0.5 / 44.1, 0, 0, 1},        // half a frame rounds up
        {1000, 88200, 0, 88200},      // due in the past: at once
        {1000, 88200.5, 35, 88201},   // never before now
        {5, (wrap - 5) * 44.1, 0, static_cast<std::int64_t>((wrap + 5) * 44.1 + 0.5)},  // wrapped
        {wrap - 5, 5 * 44.1, 0, 221},  // long past: at once, the next whole frame
    };
    for (const Case& c : cases) {
        EXPECT_EQ(clock.startFrame(c.dueMs, c.nowFrames, c.latencyMs), c.frame)
            << c.dueMs << " at " << c.nowFrames;
    }
    // Between callbacks the frames run on with the time since, never past the block given.
    EXPECT_DOUBLE_EQ(clock.interpolate(1000, 0.001, 512), 1044.1);
    EXPECT_DOUBLE_EQ(clock.interpolate(1000, 1, 512), 1512);
    EXPECT_DOUBLE_EQ(clock.interpolate(1000, -0.5, 512), 1000);
}

}  // namespace
}  // namespace carvel::media
