#include <gtest/gtest.h>

#include <vector>

#include "media/mixer.h"
#include "media/render_output.h"
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

TEST(Mixer, StartsLandOnTheirFrameAcrossBlocks) {
    Mixer mixer;
    mixer.post({Mixer::Command::Type::Start, 3, 5, ramp(3)});
    mixer.post({Mixer::Command::Type::Start, 4, 9, ramp(2, 10)});
    const std::vector<float> out = mixBlocks(mixer, 3, 4);
    EXPECT_EQ(left(out), (std::vector<float>{0, 0, 0, 0, 0, 1, 2, 3, 0, 10, 11, 0}));
    EXPECT_EQ(out[15], -3);  // the right channel of frame 7
    EXPECT_EQ(mixer.framesMixed(), 12);
}

TEST(Mixer, SoundsOfEveryKindAddUp) {
    auto mono16 = std::make_shared<Sound>();
    mono16->channels = 1;
    mono16->pcm16 = {16384, -8192};
    auto stereo16 = std::make_shared<Sound>();
    stereo16->pcm16 = {8192, -16384};
    auto monoFloat = std::make_shared<Sound>();
    monoFloat->channels = 1;
    monoFloat->pcm = {0.125f};
    Mixer mixer;
    mixer.post({Mixer::Command::Type::Start, 1, 0, mono16});
    mixer.post({Mixer::Command::Type::Start, 2, 0, stereo16});
    mixer.post({Mixer::Command::Type::Start, 3, 1, monoFloat});
    EXPECT_EQ(mixBlocks(mixer, 1, 3),
              (std::vector<float>{0.75f, 0.0f, -0.125f, -0.125f, 0.0f, 0.0f}));
}

TEST(Mixer, ARestartCutsTheVoiceWhereTheNewStartBegins) {
    Mixer mixer;
    mixer.post({Mixer::Command::Type::Start, 1, 0, ramp(6)});
    mixer.post({Mixer::Command::Type::Start, 1, 3, ramp(2, 100)});
    mixer.post({Mixer::Command::Type::Start, 2, 1, ramp(1, 50)});
    EXPECT_EQ(left(mixBlocks(mixer, 1, 7)), (std::vector<float>{1, 52, 3, 100, 101, 0, 0}));
}

TEST(Mixer, LateStartsPlayAtOnceAndStopAllSilences) {
    Mixer mixer;
    mixBlocks(mixer, 1, 4);
    mixer.post({Mixer::Command::Type::Start, 1, 2, ramp(3)});  // frame 2 has been mixed already
    mixer.post({Mixer::Command::Type::Start, 2, 100, ramp(3)});
    EXPECT_EQ(left(mixBlocks(mixer, 1, 2)), (std::vector<float>{1, 2}));
    mixer.post({Mixer::Command::Type::StopAll, 0, 0, nullptr});
    EXPECT_EQ(left(mixBlocks(mixer, 1, 2)), (std::vector<float>{0, 0}));
    EXPECT_EQ(left(mixBlocks(mixer, 60, 2)), std::vector<float>(120, 0.0f));
}

TEST(Mixer, FinishedSoundsReturnToTheControlSide) {
    Mixer mixer;
    std::weak_ptr<const Sound> weak;
    {
        SoundPtr sound = ramp(2);
        weak = sound;
        mixer.post({Mixer::Command::Type::Start, 1, 0, std::move(sound)});
    }
    mixBlocks(mixer, 1, 4);
    EXPECT_FALSE(weak.expired());  // still in the return queue
    mixer.collect();
    EXPECT_TRUE(weak.expired());
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

}  // namespace
}  // namespace carvel::media
