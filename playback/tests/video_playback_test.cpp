#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QTemporaryDir>

#include "playback/chart_loader.h"
#include "playback/display_texts.h"
#include "playback/frame_sampler.h"
#include "playback/offline_render.h"
#include "playback/timed_playback_engine.h"
#include "testing/fakes.h"
#include "testing/test_files.h"
#include "testing/test_videos.h"

namespace carvel {
namespace {

constexpr double kStart = 5000;  // the clock reading at which each run starts

// Ten frames, 100 ms apart: frame i from i x 100 ms.
std::vector<double> tenFrames() {
    std::vector<double> times;
    for (int i = 0; i < 10; ++i) {
        times.push_back(i * 100.0);
    }
    return times;
}

class VideoPlaybackTest : public ::testing::Test {
  protected:
    VideoPlaybackTest() : output(clock), engine(chart, media, output, clock, host, &display) {
        chart.setMode(ReadingMode::Full);
        display.picturesShown = true;
        display.compositor.resize({64, 64});
        display.videos.setMode(VideoLayers::Mode::Offline);
        display.videos.setSize({64, 64});
        const QString file = dir.path() + u"/clip.avi"_qs;
        EXPECT_TRUE(
            testing::writeTestVideo(file, testing::VideoCodec::Mpeg4Part2, {64, 64}, tenFrames()));
        media.videos = {nullptr,
                        std::make_shared<const VideoClip>(VideoClip{QFile::encodeName(file), {}})};
        clock.now = kStart;
    }
    // The pictures handed over so far as "time:frame", time from the run's start; a black
    // picture as frame -1. Clears the record.
    QString shown() {
        QStringList list;
        for (size_t i = 0; i < host.pictures.size(); ++i) {
            list.append(QString::number(host.pictureTimes[i] - kStart) + u':' +
                        QString::number(testing::frameNumberOf(host.pictures[i])));
        }
        host.pictures.clear();
        host.pictureTimes.clear();
        return list.join(u' ');
    }

    QTemporaryDir dir;
    testing::FakeClock clock;
    testing::RecordingOutput output;
    testing::RecordingHost host;
    DisplayState display;
    Chart chart;
    ChartMedia media;
    TimedPlaybackEngine engine;
};

TEST_F(VideoPlaybackTest, FramesFollowTheClockFromTheirEvent) {
    // The video starts at 500 ms, is named again at 1700 ms (after it ended at 1400 ms) and at
    // 1850 ms, while it still plays.
    chart.timeline().events = {{500, 4, 1}, {1700, 4, 1}, {1850, 4, 1}, {4000, 1, 0}};
    engine.play();
    testing::runFor(engine, clock, 5000);
    EXPECT_EQ(shown(),
              u"0:-1 500:0 600:1 700:2 800:3 900:4 1000:5 1100:6 1200:7 1300:8 1400:9 "
              "1700:0 1800:1 1850:0 1950:1 2050:2 2150:3 2250:4 2350:5 2450:6 2550:7 2650:8 "
              "2750:9"_qs);
    EXPECT_FALSE(display.videos.active()) << "the run's end releases the decoders";
}

TEST_F(VideoPlaybackTest, FastForwardAndRewindMoveTheVideo) {
    chart.timeline().events = {{100, 4, 1}, {5000, 1, 0}};
    engine.play();
    testing::runFor(engine, clock, 420);  // frame 3 stands
    const auto standing = [this] {
        const QString all = shown();
        return all.section(u':', -1);
    };
    EXPECT_EQ(standing(), u"3"_qs);
    engine.fastForward();  // 1420 ms: past the video's end
    EXPECT_EQ(standing(), u"9"_qs);
    engine.rewind();  // 420 ms again
    EXPECT_EQ(standing(), u"3"_qs);
    engine.rewind();  // 0 ms, at clock reading kStart + 420: before the video's event
    EXPECT_EQ(standing(), u"-1"_qs);
    testing::runFor(engine, clock, 250);
    EXPECT_EQ(shown(), u"520:0 620:1"_qs);
    engine.stop();
    testing::runFor(engine, clock, 100);
    EXPECT_FALSE(display.videos.active());
}

TEST_F(VideoPlaybackTest, PicturesSwitchedOnShowTheVideoWhereItStands) {
    chart.timeline().events = {{100, 4, 1}, {5000, 1, 0}};
    display.picturesShown = false;
    engine.play();
    testing::runFor(engine, clock, 420);
    EXPECT_FALSE(display.videos.active());
    shown();
    display.picturesShown = true;
    engine.picturesTurnedOn();
    testing::runFor(engine, clock, 200);
    EXPECT_EQ(shown(), u"420:3 500:4 600:5"_qs);
}

TEST_F(VideoPlaybackTest, APictureOnTheSurfaceEndsTheVideo) {
    media.pictures = {nullptr, nullptr, testing::makePicture({8, 8}, 0xFF0000, 0xFF0000)};
    chart.timeline().events = {{0, 4, 1}, {250, 4, 2}, {400, 1, 0}};
    engine.play();
    testing::runFor(engine, clock, 1000);
    ASSERT_FALSE(host.pictures.empty());
    EXPECT_EQ(host.pictures.back().pixel(32, 32) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(host.pictureTimes.back() - kStart, 250);
    host.pictures.pop_back();
    host.pictureTimes.pop_back();
    EXPECT_EQ(shown(), u"0:-1 0:0 100:1 200:2"_qs);
}

TEST(FrameSampler, FrameKShowsThePictureStandingAtKOverFps) {
    // Pictures by a number in their first pixel; changes as "time:number".
    struct Case {
        int fps;
        std::vector<std::pair<double, int>> changes;
        double endMs;
        const char* frames;
    };
    const Case cases[] = {
        {10, {{0, 1}, {100, 2}, {250, 3}}, 400, "1 2 2 3"},
        {10, {{50, 1}}, 100, "0"},
        {30, {{0, 1}, {100, 2}}, 134, "1 1 1 2 2"},  // 100 ms is frame 3's time exactly
        {10, {{0, 1}, {0, 2}, {100, 3}, {100, 4}}, 150, "2 4"},
        {10, {}, 0, "0"},  // at least one frame
    };
    for (const Case& c : cases) {
        QStringList frames;
        FrameSampler sampler(c.fps, {2, 2}, [&frames](const QImage& frame) {
            frames.append(QString::number(frame.pixel(0, 0) & 0xFF));
            return true;
        });
        for (const auto& [time, number] : c.changes) {
            QImage picture(2, 2, QImage::Format_RGB32);
            picture.fill(QColor(0, 0, number));
            ASSERT_TRUE(sampler.change(picture, time));
        }
        ASSERT_TRUE(sampler.finish(c.endMs));
        EXPECT_EQ(frames.join(u' '), QString::fromLatin1(c.frames)) << c.fps << " " << c.endMs;
    }
}

TEST(FrameSampler, ARefusedFrameEndsTheRender) {
    int handed = 0;
    FrameSampler sampler(10, {2, 2}, [&handed](const QImage&) { return ++handed < 2; });
    EXPECT_FALSE(sampler.emitBefore(1000));
    EXPECT_EQ(handed, 2);
    EXPECT_FALSE(sampler.finish(2000));
    EXPECT_EQ(handed, 2);
}

TEST(VideoLoad, VideosAreFoundProbedAndReportedInLineOrder) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    ASSERT_TRUE(testing::writeTestVideo(folder + u"clip.mp4"_qs, testing::VideoCodec::H264,
                                        {32, 32}, tenFrames()));
    // A video under a picture's name.
    ASSERT_TRUE(testing::writeTestVideo(folder + u"movie.avi"_qs, testing::VideoCodec::Mpeg4Part2,
                                        {32, 32}, tenFrames()));
    ASSERT_TRUE(QFile::rename(folder + u"movie.avi"_qs, folder + u"movie.bmp"_qs));
    testing::writeBytes(folder + u"broken.mpg"_qs, QByteArray(4000, 'x'));
    testing::writeBytes(folder + u"c.bms"_qs,
                        "#BMP01 clip.wmv\n#BMP02 broken.mpg\n#BMP03 gone.avi\n"
                        "#BMP04 movie.bmp\n#00104:01020304\n");
    struct Case {
        ReadingMode mode;
        QStringList messages;
        std::vector<bool> videos;  // by index 1 to 4
    };
    const Case cases[] = {
        {ReadingMode::Full,
         {u"動画ﾌｧｲﾙ broken.mpg を再生できません。(BMP02)"_qs,
          u"動画ﾌｧｲﾙ gone.avi が見つかりません。(BMP03)"_qs},
         {true, false, false, true}},
        {ReadingMode::Classic,
         {u"Bmpﾌｧｲﾙ clip.wmv が見つかりません。(BMP01)"_qs,
          u"bmp 形式以外の画像を表示することはできません。"_qs,
          u"Bmpﾌｧｲﾙ gone.avi が見つかりません。(BMP03)"_qs,
          u"Bmpﾌｧｲﾙ movie.bmp を読み込めません。(BMP04)"_qs},
         {false, false, false, false}},
    };
    for (const Case& c : cases) {
        const LoadedChart loaded =
            loadChart(folder + u"c.bms"_qs, MediaOptions(), nullptr, {c.mode, 1});
        QStringList texts;
        for (const LoadMessage& m : loaded.messages) {
            texts.append(messageText(m));
        }
        EXPECT_EQ(texts, c.messages);
        for (int i = 1; i <= 4; ++i) {
            EXPECT_EQ(loaded.media.video(i) != nullptr, c.videos[static_cast<size_t>(i - 1)])
                << "index " << i;
        }
    }
}

TEST(VideoRender, TheRenderedPictureAreaShowsEachFrameAtItsTime) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    ASSERT_TRUE(testing::writeTestVideo(folder + u"clip.avi"_qs, testing::VideoCodec::Mpeg4Part2,
                                        {32, 32}, tenFrames()));
    // 120 BPM: a measure is 2 s; the video starts at its middle.
    testing::writeBytes(folder + u"c.bms"_qs,
                        "#BPM 120\n#BMP01 clip.avi\n#00104:0001\n#00301:01\n");
    QStringList pictures;
    RenderPictures area;
    area.size = {48, 48};
    area.changed = [&pictures](const QImage& picture, double dueMs) {
        pictures.append(QString::number(dueMs) + u':' +
                        QString::number(testing::frameNumberOf(picture)));
    };
    RenderSettings settings;
    settings.reading = {ReadingMode::Full, 1};
    settings.pictures = &area;
    media::CollectingSink sink;
    const RenderResult result =
        renderChart(folder + u"c.bms"_qs, 44100, sink, media::RenderOutput::kUnlimited, settings);
    EXPECT_TRUE(result.found);
    EXPECT_EQ(pictures.join(u' '),
              u"0:-1 3000:0 3100:1 3200:2 3300:3 3400:4 3500:5 3600:6 3700:7 3800:8 3900:9"_qs);
}

}  // namespace
}  // namespace carvel
