#include <gtest/gtest.h>
#include <sndfile.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>

#include "playback/offline_render.h"
#include "testing/qt_printers.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

// A key sound of 8 frames whose first frame is a click and the rest silence.
void writeClick(const QString& path, int rate) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    short samples[8] = {16384, 0, 0, 0, 0, 0, 0, 0};
    sf_writef_short(f, samples, 8);
    sf_close(f);
}

std::vector<long long> onsets(const std::vector<float>& samples) {
    std::vector<long long> frames;
    for (size_t i = 0; i < samples.size(); i += 2) {
        if (samples[i] != 0) {
            frames.push_back(static_cast<long long>(i / 2));
        }
    }
    return frames;
}

std::vector<float> render(const QString& path, int rate) {
    media::CollectingSink sink;
    renderChart(path, rate, sink);
    return std::move(sink.samples);
}

// Collects the blocks, noting the largest; refuses blocks once it holds failAfter frames.
struct BlockSink final : media::RenderSink {
    bool open() override { return opened = true; }
    bool write(const float* block, std::int64_t frames) override {
        largest = std::max(largest, frames);
        samples.insert(samples.end(), block, block + 2 * frames);
        return static_cast<std::int64_t>(samples.size() / 2) < failAfter;
    }
    std::int64_t failAfter = media::RenderOutput::kUnlimited;
    bool opened = false;
    std::int64_t largest = 0;
    std::vector<float> samples;
};

long long frameOf(double ms, int rate) {
    return static_cast<long long>(std::floor(ms * rate / 1000 + 0.5));
}

class RenderTest : public ::testing::Test {
  protected:
    QString chart(const QByteArray& body) {
        writeClick(dir.path() + u"/click.wav"_qs, 44100);
        const QString path = dir.path() + u"/r.bms"_qs;
        testing::writeBytes(path, "#WAV01 click.wav\n#WAV02 click.wav\n" + body);
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(RenderTest, EveryOnsetLandsOnItsFrame) {
    const QString path = chart(
        "#BPM 137\n#00111:0101010101010101\n#00112:000200020002\n"
        "#00211:01000000000000000000000001\n#00001:02\n");
    const std::vector<float> samples = render(path, 44100);
    std::vector<long long> expected;
    for (int tick : {0, 192, 216, 224, 240, 264, 288, 312, 336, 352, 360, 384, 561}) {
        expected.push_back(frameOf(tick * 1250.0 / 137, 44100));
    }
    EXPECT_EQ(onsets(samples), expected);
    // Rendering stops when the last sound has ended.
    EXPECT_EQ(static_cast<long long>(samples.size() / 2), expected.back() + 8);
}

TEST_F(RenderTest, ShortenedBarJumpsTheClockByRoundedMilliseconds) {
    // Measure 1 at 0.3: the marker at 192 + 57.6 -> tick 250; the clock then jumps by
    // round(0.7 * 240000 / 130) = 1292 ms, so tick 384 is due before the marker was handled.
    const QString path = chart("#00102:0.3\n#00111:01\n#00211:01\n#00311:01\n");
    const std::vector<float> samples = render(path, 44100);
    const double marker = 250 * 1250.0 / 130;
    const std::vector<long long> expected = {
        frameOf(192 * 1250.0 / 130, 44100),
        frameOf(std::max(384 * 1250.0 / 130 - 1292, marker), 44100),
        frameOf(576 * 1250.0 / 130 - 1292, 44100),
    };
    EXPECT_EQ(onsets(samples), expected);
}

TEST_F(RenderTest, SameChartSameSamples) {
    const QString path = chart("#BPM 151\n#00111:0102010201020102\n#00102:0.75\n#00212:02\n");
    const std::vector<float> first = render(path, 48000);
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, render(path, 48000));
}

// The sink gets the mix in bounded blocks as it is mixed; a limit cuts it short at exactly that
// frame, and a sink that fails stops the render.
TEST_F(RenderTest, StreamsInBlocksUpToTheLimit) {
    const QString path = chart("#00111:01\n#01011:01\n");  // the last click at 18.46 s
    const std::vector<float> whole = render(path, 44100);
    const auto total = static_cast<std::int64_t>(whole.size() / 2);
    ASSERT_EQ(total, frameOf(10 * 240000.0 / 130, 44100) + 8);
    struct Case {
        std::int64_t maxFrames, failAfter, frames;
        bool cutShort, sinkFailed;
    };
    const std::int64_t unlimited = media::RenderOutput::kUnlimited;
    const Case cases[] = {
        {unlimited, unlimited, total, false, false},
        {total, unlimited, total, false, false},
        {total - 1, unlimited, total - 1, true, false},
        {unlimited, 5000, 8192, false, true},
    };
    for (const Case& c : cases) {
        BlockSink sink;
        sink.failAfter = c.failAfter;
        const RenderResult result = renderChart(path, 44100, sink, c.maxFrames);
        EXPECT_EQ(result.frames, c.frames) << c.maxFrames;
        EXPECT_EQ(result.cutShort, c.cutShort) << c.maxFrames;
        EXPECT_EQ(result.sinkFailed, c.sinkFailed) << c.maxFrames;
        EXPECT_LE(sink.largest, 4096);
        ASSERT_EQ(static_cast<std::int64_t>(sink.samples.size() / 2), c.frames);
        EXPECT_TRUE(std::equal(sink.samples.begin(), sink.samples.end(), whole.begin()));
    }
}

TEST_F(RenderTest, MissingAndEmptyCharts) {
    // A missing chart never opens the sink; an empty one opens it and writes nothing.
    BlockSink missingSink;
    EXPECT_FALSE(renderChart(dir.path() + u"/none.bms"_qs, 44100, missingSink).found);
    EXPECT_FALSE(missingSink.opened);
    BlockSink emptySink;
    const RenderResult empty = renderChart(chart("#TITLE nothing\n"), 44100, emptySink);
    EXPECT_TRUE(empty.found);
    EXPECT_TRUE(emptySink.opened);
    EXPECT_EQ(empty.frames, 0);
    EXPECT_EQ(empty.messages.back().kind, LoadMessage::Kind::NoEvents);
}

}  // namespace
}  // namespace carvel
