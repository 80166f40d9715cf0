#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "media/limiter.h"
#include "media/render_output.h"

namespace carvel::media {
namespace {

constexpr float kThreshold = Limiter::kThreshold;

float peakOf(const std::vector<float>& samples) {
    float peak = 0;
    for (float v : samples) {
        peak = std::max(peak, std::fabs(v));
    }
    return peak;
}

bool sameBits(const float* a, const float* b, size_t count) {
    return std::memcmp(a, b, count * sizeof(float)) == 0;
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
            EXPECT_TRUE(sameBits(out.data(), in.data(), in.size()));
        } else {
            EXPECT_FLOAT_EQ(peakOf(out), kThreshold);
            EXPECT_TRUE(sameBits(out.data() + 3400, in.data() + 3400, 600));  // back to 1
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
        EXPECT_TRUE(sameBits(blocks.data(), out.data(), out.size()));
    }
}

TEST(Limiter, RendersAreLimitedUnlessToldOtherwise) {
    auto loud = std::make_shared<Sound>();
    loud->channels = 1;
    loud->pcm.assign(100, 0.75f);
    for (const bool limited : {true, false}) {
        CollectingSink sink;
        RenderOutput output(1000, sink);
        output.setLimited(limited);
        output.play(1, loud, 0);
        output.play(2, loud, 0);
        output.finish();
        EXPECT_FLOAT_EQ(peakOf(sink.samples), limited ? kThreshold : 1.5f);
    }
}

}  // namespace
}  // namespace carvel::media
