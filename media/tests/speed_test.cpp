#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "media/mixer.h"
#include "media/render_output.h"

namespace carvel::media {
namespace {

constexpr int kRate = 44100;

// A stereo 16-bit burst of a cosine of `hz` for `frames` frames: loud from its first frame.
SoundPtr burst(double hz, int frames) {
    auto sound = std::make_shared<Sound>();
    sound->sampleRate = kRate;
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lround(16000 * std::cos(2 * std::numbers::pi * hz * i / kRate)));
        sound->pcm16.push_back(v);
        sound->pcm16.push_back(v);
    }
    return sound;
}

struct Heard {
    std::int64_t onset = -1;  // the first frame louder than a tenth of full scale
    double hz = 0;            // from the upward zero crossings of the loud part
    std::int64_t frames = 0;
};

Heard listen(const std::vector<float>& stereo) {
    Heard heard;
    heard.frames = static_cast<std::int64_t>(stereo.size() / 2);
    std::int64_t firstCross = -1;
    std::int64_t lastCross = -1;
    int crossings = 0;
    for (std::int64_t i = 1; i < heard.frames; ++i) {
        const float v = stereo[static_cast<std::size_t>(2 * i)];
        const float before = stereo[static_cast<std::size_t>(2 * i - 2)];
        if (heard.onset < 0 && std::fabs(v) > 0.1f) {
            heard.onset = i;
        }
        // Crossings a little after the onset, where every method has settled.
        if (heard.onset >= 0 && i > heard.onset + 2000 && i < heard.onset + 12000 && before < 0 &&
            v >= 0) {
            lastCross = i;
            firstCross = firstCross < 0 ? i : firstCross;
            ++crossings;
        }
    }
    if (crossings > 1) {
        heard.hz = (crossings - 1) * static_cast<double>(kRate) /
                   static_cast<double>(lastCross - firstCross);
    }
    return heard;
}

// A 441 Hz burst due at 1 s, rendered at a speed: it is heard at (1 s - from) / speed, at the
// pitch of a turntable or at its own, and the render lasts as long as the speed makes it.
TEST(Speed, MovesOnsetsAndPitchAsTold) {
    struct Case {
        Speed speed;
        double fromMs;
        double onsetFrames;
        double toleranceFrames;
        double hz;
    };
    const Case cases[] = {
        {{1.0, false}, 0, 44100, 0, 441},    {{0.5, false}, 0, 88200, 2, 220.5},
        {{2.0, false}, 0, 22050, 2, 882},    {{2.0, false}, 500, 11025, 2, 882},
        {{0.5, true}, 0, 88200, 441, 441},   {{2.0, true}, 0, 22050, 441, 441},
        {{1.0, true}, 250, 33075, 441, 441},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.speed.speed << (c.speed.keepPitch ? " kept" : "")
                                        << " from " << c.fromMs);
        CollectingSink sink;
        RenderOutput output(kRate, sink);
        output.setLimited(false);
        output.setSpeed(c.speed);
        output.startAt(c.fromMs);
        output.play(1, burst(441, kRate), 1000);
        output.finish();
        const Heard heard = listen(sink.samples);
        EXPECT_NEAR(static_cast<double>(heard.onset), c.onsetFrames, c.toleranceFrames);
        // The stretcher's phases wander a little; a turntable's pitch would be off by half or
        // double.
        EXPECT_NEAR(heard.hz, c.hz, c.hz * (c.speed.keepPitch ? 0.03 : 0.01));
        const double expected = (2000 - c.fromMs) * kRate / 1000 / c.speed.speed;
        EXPECT_NEAR(static_cast<double>(heard.frames), expected, kRate * 0.05);
    }
}

}  // namespace
}  // namespace carvel::media
