#include <gtest/gtest.h>
#include <sndfile.h>

#include <QTemporaryDir>
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
    const RenderResult result = renderChart(path, 44100);
    ASSERT_TRUE(result.found);
    std::vector<long long> expected;
    for (int tick : {0, 192, 216, 224, 240, 264, 288, 312, 336, 352, 360, 384, 561}) {
        expected.push_back(frameOf(tick * 1250.0 / 137, 44100));
    }
    EXPECT_EQ(onsets(result.samples), expected);
    // Rendering stops when the last sound has ended.
    EXPECT_EQ(static_cast<long long>(result.samples.size() / 2), expected.back() + 8);
}

TEST_F(RenderTest, ShortenedBarJumpsTheClockByRoundedMilliseconds) {
    // Measure 1 at 0.3: the marker at 192 + 57.6 -> tick 250; the clock then jumps by
    // round(0.7 * 240000 / 130) = 1292 ms, so tick 384 is due before the marker was handled.
    const QString path = chart("#00102:0.3\n#00111:01\n#00211:01\n#00311:01\n");
    const RenderResult result = renderChart(path, 44100);
    const double marker = 250 * 1250.0 / 130;
    const std::vector<long long> expected = {
        frameOf(192 * 1250.0 / 130, 44100),
        frameOf(std::max(384 * 1250.0 / 130 - 1292, marker), 44100),
        frameOf(576 * 1250.0 / 130 - 1292, 44100),
    };
    EXPECT_EQ(onsets(result.samples), expected);
}

TEST_F(RenderTest, SameChartSameSamples) {
    const QString path = chart("#BPM 151\n#00111:0102010201020102\n#00102:0.75\n#00212:02\n");
    const RenderResult first = renderChart(path, 48000);
    const RenderResult second = renderChart(path, 48000);
    EXPECT_FALSE(first.samples.empty());
    EXPECT_EQ(first.samples, second.samples);
}

TEST_F(RenderTest, MissingAndEmptyCharts) {
    const RenderResult missing = renderChart(dir.path() + u"/none.bms"_qs, 44100);
    EXPECT_FALSE(missing.found);
    EXPECT_TRUE(missing.samples.empty());
    const RenderResult empty = renderChart(chart("#TITLE nothing\n"), 44100);
    EXPECT_TRUE(empty.found);
    EXPECT_TRUE(empty.samples.empty());
    EXPECT_EQ(empty.messages.back().kind, LoadMessage::Kind::NoEvents);
}

}  // namespace
}  // namespace carvel
