#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <limits>

#include "playback/offline_render.h"
#include "testing/qt_printers.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

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

long long frameOf(double ms) {
    return static_cast<long long>(std::floor(ms * 44.1 + 0.5));
}

class RenderTest : public ::testing::Test {
  protected:
    // A chart at 44100 Hz whose sounds 01 and 02 are a click of one frame.
    QString chart(const QByteArray& body) {
        testing::writeWav(dir.path() + u"/click.wav"_qs, 1, 44100, 16384);
        const QString path = dir.path() + u"/r.bms"_qs;
        testing::writeBytes(path, "#WAV01 click.wav\n#WAV02 click.wav\n" + body);
        return path;
    }
    static std::vector<float> render(const QString& path) {
        BlockSink sink;
        renderChart(path, 44100, sink);
        return std::move(sink.samples);
    }
    QTemporaryDir dir;
};

TEST_F(RenderTest, EveryOnsetLandsOnItsFrame) {
    struct Case {
        int bpm;
        const char* body;
        std::vector<double> ticks;
    };
    const Case cases[] = {
        {137,
         "#BPM 137\n#00111:0101010101010101\n#00112:000200020002\n"
         "#00211:01000000000000000000000001\n#00001:02\n",
         {0, 192, 216, 224, 240, 264, 288, 312, 336, 352, 360, 384, 561}},
        // Measure 1 at 0.3: the marker at 192 + 57.6 -> tick 250; the clock then jumps by
        // round(0.7 * 240000 / 130) = 1292 ms (134.368 ticks), so tick 384 is due before the
        // marker was handled and sounds with it.
        {130, "#00102:0.3\n#00111:01\n#00211:01\n#00311:01\n", {192, 250, 576 - 134.368}},
    };
    for (const Case& c : cases) {
        const std::vector<float> samples = render(chart(c.body));
        std::vector<long long> expected, onsets;
        for (const double tick : c.ticks) {
            expected.push_back(frameOf(tick * 1250 / c.bpm));
        }
        for (size_t i = 0; i < samples.size(); i += 2) {
            if (samples[i] != 0) {
                onsets.push_back(static_cast<long long>(i / 2));
            }
        }
        EXPECT_EQ(onsets, expected) << c.body;
        // Rendering stops when the last sound has ended.
        EXPECT_EQ(static_cast<long long>(samples.size() / 2), expected.back() + 1) << c.body;
    }
}

// The sink gets the mix in bounded blocks as it is mixed; a limit cuts it short at exactly that
// frame, and a sink that fails stops the render. Each render gives the same samples.
TEST_F(RenderTest, StreamsInBlocksUpToTheLimit) {
    const QString path = chart("#00111:01\n#01011:01\n");  // the last click at 18.46 s
    const std::vector<float> whole = render(path);
    const auto total = static_cast<std::int64_t>(whole.size() / 2);
    ASSERT_EQ(total, frameOf(10 * 240000.0 / 130) + 1);
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

// A 16-bit mono WAV at 44100 Hz whose samples never repeat within 2001 frames and stay low, so
// that a few of them together never reach the limiter.
void writeRampWav(const QString& path, int frames) {
    QByteArray data;
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<qint16>((i * 7) % 2001 - 1000);
        data.append(static_cast<char>(v & 0xFF)).append(static_cast<char>((v >> 8) & 0xFF));
    }
    const auto le32 = [](quint32 v) {
        QByteArray b;
        for (int k = 0; k < 4; ++k) {
            b.append(static_cast<char>((v >> (8 * k)) & 0xFF));
        }
        return b;
    };
    QByteArray wav = "RIFF" + le32(36 + static_cast<quint32>(data.size())) + "WAVEfmt " + le32(16);
    wav += QByteArray("\x01\x00\x01\x00", 4) + le32(44100) + le32(88200) +
           QByteArray("\x02\x00\x10\x00", 4) + "data" + le32(static_cast<quint32>(data.size()));
    testing::writeBytes(path, wav + data);
}

RenderRange span(double fromMs, double toMs = std::numeric_limits<double>::infinity(),
                 Playback::Mute mute = {}) {
    RenderRange range;
    range.fromMs = fromMs;
    range.toMs = toMs;
    range.mute = mute;
    return range;
}

// At 120 BPM (2000 ms a measure): a 3 s background sound, half-second key sounds that cut each
// other on one voice, and a long note.
class RangeTest : public RenderTest {
  protected:
    QString rangeChart(const QByteArray& lines) {
        writeRampWav(dir.path() + u"/long.wav"_qs, 132300);
        writeRampWav(dir.path() + u"/short.wav"_qs, 22050);
        const QString path = dir.path() + u"/range.bme"_qs;
        testing::writeBytes(
            path, "#BPM 120\n#WAV01 long.wav\n#WAV02 short.wav\n#WAV03 short.wav\n" + lines);
        return path;
    }
    static constexpr const char* kBgm = "#00001:01\n";
    static constexpr const char* kKeys = "#00011:02020202\n#00151:03000300\n#00212:0202\n";
    static std::vector<float> renderFull(const QString& path, const RenderRange& range = {}) {
        BlockSink sink;
        RenderSettings settings;
        settings.reading.mode = ReadingMode::Full;
        settings.range = range;
        renderChart(path, 44100, sink, media::RenderOutput::kUnlimited, settings);
        return std::move(sink.samples);
    }
};

// The range's samples are the whole render's from the range's first frame on, exactly: every
// sound ringing there starts at the sample it has reached.
TEST_F(RangeTest, ARangeIsTheWholeRendersSamplesFromItsFirstFrame) {
    const std::vector<float> whole = renderFull(rangeChart(QByteArray(kBgm) + kKeys));
    const auto total = static_cast<long long>(whole.size() / 2);
    ASSERT_EQ(total, frameOf(5000) + 22050);  // the last key sound at measure 2.5
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double fromMs, toMs;
    };
    const Case cases[] = {{1200, 4600}, {1234.567, inf}, {0, 3000},  {2600, 2600},
                          {3100, 3101}, {250, 260},      {9000, inf}};
    for (const Case& c : cases) {
        const std::vector<float> part =
            renderFull(rangeChart(QByteArray(kBgm) + kKeys), span(c.fromMs, c.toMs));
        const long long first = std::min(frameOf(c.fromMs), total);
        const long long end = std::min(std::isinf(c.toMs) ? total : frameOf(c.toMs), total);
        ASSERT_EQ(static_cast<long long>(part.size() / 2), std::max(end - first, 0LL)) << c.fromMs;
        EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + 2 * first)) << c.fromMs;
    }
}

// Muted channels sound as if the chart had no such lines, in a range too; the render still lasts
// until the chart's last event, silent where the muted sounds would have rung.
TEST_F(RangeTest, MutedSoundsAreNotHeard) {
    struct Case {
        Playback::Mute mute;
        const char* lines;
        double fromMs;
    };
    const Case cases[] = {{{true, false}, kBgm, 0},
                          {{false, true}, kKeys, 0},
                          {{true, false}, kBgm, 1300},
                          {{false, true}, kKeys, 1300}};
    for (const Case& c : cases) {
        const std::vector<float> alone = renderFull(rangeChart(c.lines), span(c.fromMs));
        const std::vector<float> muted =
            renderFull(rangeChart(QByteArray(kBgm) + kKeys), span(c.fromMs, 1e300, c.mute));
        ASSERT_GE(muted.size(), alone.size()) << c.lines << c.fromMs;
        EXPECT_TRUE(std::equal(alone.begin(), alone.end(), muted.begin())) << c.lines << c.fromMs;
        EXPECT_TRUE(std::all_of(muted.begin() + static_cast<std::ptrdiff_t>(alone.size()),
                                muted.end(), [](float v) { return v == 0; }))
            << c.lines << c.fromMs;
    }
}

// Each round of a loop is the whole render's samples from A to B again, with nothing lost or
// doubled at the seams; sounds ringing at A come back at the sample they had reached there.
TEST_F(RangeTest, ALoopRepeatsItsSectionWithoutASeam) {
    const QString path = rangeChart(QByteArray(kBgm) + kKeys);
    const std::vector<float> whole = renderFull(path);
    struct Case {
        double fromMs, aMs, bMs;
    };
    const Case cases[] = {{0, 1200, 2600}, {0, 250, 4000}, {3000, 2000, 4010}, {0, 0, 500}};
    for (const Case& c : cases) {
        const long long first = frameOf(c.fromMs);
        const long long a = frameOf(c.aMs);
        const long long b = frameOf(c.bMs);
        const long long rounds = 3;
        RenderRange range = span(c.fromMs);
        range.loopMs = std::pair(c.aMs, c.bMs);
        BlockSink sink;
        RenderSettings settings;
        settings.reading.mode = ReadingMode::Full;
        settings.range = range;
        const long long frames = (b - first) + rounds * (b - a);
        renderChart(path, 44100, sink, frames, settings);
        ASSERT_EQ(static_cast<long long>(sink.samples.size() / 2), frames) << c.aMs;
        const auto at = [](const std::vector<float>& v, long long frame) {
            return v.begin() + static_cast<std::ptrdiff_t>(2 * frame);
        };
        EXPECT_TRUE(std::equal(at(sink.samples, 0), at(sink.samples, b - first), at(whole, first)))
            << c.aMs;
        for (long long r = 0; r < rounds; ++r) {
            const long long start = (b - first) + r * (b - a);
            EXPECT_TRUE(
                std::equal(at(sink.samples, start), at(sink.samples, start + b - a), at(whole, a)))
                << c.aMs << " round " << r;
        }
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
