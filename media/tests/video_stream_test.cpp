#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "media/picture.h"
#include "media/video_stream.h"
#include "testing/raw_files.h"
#include "testing/test_files.h"
#include "testing/test_videos.h"

namespace carvel::media {
namespace {

using carvel::testing::frameColour;
using carvel::testing::frameNumberOf;
using carvel::testing::VideoCodec;
using carvel::testing::writeTestVideo;
using Mode = VideoStream::Mode;

constexpr auto kBound = std::chrono::seconds(20);
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Clip {
    const char* name;
    VideoCodec codec;
    std::vector<double> timesMs;
    double declaredFps;
    // An MPEG program stream has no duration field: the demuxer guesses it from the time stamps
    // that it finds near the end, which a tiny file has too few of.
    bool durationExact = true;
};

std::vector<double> evenTimes(int frames, double stepMs) {
    std::vector<double> times;
    for (int i = 0; i < frames; ++i) {
        times.push_back(i * stepMs);
    }
    return times;
}

// Steps of 10, 40, 20 and 50 ms in turn.
std::vector<double> unevenTimes(int frames) {
    constexpr double steps[] = {10, 40, 20, 50};
    std::vector<double> times{0};
    for (int i = 1; i < frames; ++i) {
        times.push_back(times.back() + steps[(i - 1) % 4]);
    }
    return times;
}

std::vector<Clip> clips() {
    return {
        {"mpeg1.mpg", VideoCodec::Mpeg1, evenTimes(24, 1000.0 / 30), 30, false},
        // A stream that claims 10 frames a second but has one every 40 ms.
        {"mpeg4.mkv", VideoCodec::Mpeg4Part2, evenTimes(24, 40), 10},
        {"h264.mp4", VideoCodec::H264, unevenTimes(24), 0},
    };
}

QByteArray writeClip(const QTemporaryDir& dir, const Clip& clip, QSize size = {64, 48}) {
    const QString path = dir.filePath(QString::fromLatin1(clip.name));
    EXPECT_TRUE(writeTestVideo(path, clip.codec, size, clip.timesMs, clip.declaredFps));
    return QFile::encodeName(path);
}

// The frame of times that shows at ms.
int expectedFrame(const std::vector<double>& times, double ms) {
    int frame = -1;
    for (size_t i = 0; i < times.size() && times[i] <= ms; ++i) {
        frame = static_cast<int>(i);
    }
    return frame;
}

// Runs work on a thread; false when it has not ended within kBound.
bool endsInTime(const std::function<void()>& work) {
    return carvel::testing::finishesWithin(
        std::chrono::duration_cast<std::chrono::milliseconds>(kBound), QByteArray(), work);
}

TEST(VideoStreamTest, ProbeGivesSizeAndDuration) {
    QTemporaryDir dir;
    for (const Clip& clip : clips()) {
        SCOPED_TRACE(clip.name);
        const auto info = probeVideo(writeClip(dir, clip, {80, 32}));
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->size, QSize(80, 32));
        EXPECT_GT(info->durationMs, 0);
        if (clip.durationExact) {
            EXPECT_GE(info->durationMs, clip.timesMs.back());
            EXPECT_LE(info->durationMs, clip.timesMs.back() + 100);
        }
    }
}

TEST(VideoStreamTest, OfflineFramesFollowTheTimeStamps) {
    QTemporaryDir dir;
    for (const Clip& clip : clips()) {
        SCOPED_TRACE(clip.name);
        const auto& times = clip.timesMs;
        VideoStream stream(writeClip(dir, clip), {64, 48}, Mode::Offline);
        EXPECT_EQ(frameNumberOf(stream.frameAt(-1)), -1) << "before the first frame";
        for (size_t i = 0; i < times.size(); ++i) {
            SCOPED_TRACE(i);
            // The stream's own time of frame i, which a frame rate of 30 gives rounded.
            const double at = i == 0 ? 0 : stream.nextChangeAfter(times[i - 1]);
            EXPECT_NEAR(at, times[i], 0.01);
            EXPECT_EQ(frameNumberOf(stream.frameAt(at)), static_cast<int>(i)) << "at the frame";
            if (i + 1 < times.size()) {
                const double between = (times[i] + times[i + 1]) / 2;
                EXPECT_EQ(frameNumberOf(stream.frameAt(between)), static_cast<int>(i));
                EXPECT_NEAR(stream.nextChangeAfter(between), times[i + 1], 0.01);
            }
        }
        const int last = static_cast<int>(times.size()) - 1;
        EXPECT_EQ(stream.nextChangeAfter(times.back()), kInf);
        EXPECT_EQ(frameNumberOf(stream.frameAt(times.back() + 5000)), last) << "after the end";
        EXPECT_EQ(stream.nextChangeAfter(times.back() + 5000), kInf);
        EXPECT_FALSE(stream.failed());
    }
}

TEST(VideoStreamTest, SeekMovesBothWays) {
    QTemporaryDir dir;
    for (const Clip& clip : clips()) {
        SCOPED_TRACE(clip.name);
        const auto& times = clip.timesMs;
        VideoStream stream(writeClip(dir, clip), {64, 48}, Mode::Offline);
        EXPECT_EQ(frameNumberOf(stream.frameAt(times[2] + 1)), 2);
        // Forward past key frames, back to the start, back into the middle, past the end, and
        // from there to a frame just before a key frame.
        const double targets[] = {times[17] + 1,   0,        times[13] + 1, times[3],
                                  times[23] + 100, times[9], times[11] + 1};
        for (double target : targets) {
            SCOPED_TRACE(target);
            stream.seek(target);
            const int expected = expectedFrame(times, target);
            EXPECT_EQ(frameNumberOf(stream.frameAt(target)), expected);
            const double next = stream.nextChangeAfter(target);
            if (expected + 1 < static_cast<int>(times.size())) {
                EXPECT_NEAR(next, times[static_cast<size_t>(expected) + 1], 0.01);
                EXPECT_EQ(frameNumberOf(stream.frameAt(next)), expected + 1);
            } else {
                EXPECT_EQ(next, kInf);
            }
        }
    }
}

TEST(VideoStreamTest, RealTimeShowsEachFrameOnceDecoded) {
    QTemporaryDir dir;
    for (const Clip& clip : clips()) {
        SCOPED_TRACE(clip.name);
        const auto& times = clip.timesMs;
        VideoStream stream(writeClip(dir, clip), {64, 48}, Mode::RealTime);
        const double asked[] = {0, times[1] + 1, times[6] + 1, times[20], times[23] + 500};
        for (double ms : asked) {
            SCOPED_TRACE(ms);
            const int expected = expectedFrame(times, ms);
            const auto deadline = std::chrono::steady_clock::now() + kBound;
            int shown = frameNumberOf(stream.frameAt(ms));
            while (shown != expected && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                shown = frameNumberOf(stream.frameAt(ms));
            }
            EXPECT_EQ(shown, expected);
            // The next frame's time once it is decoded, else a moment later to ask again.
            const double next = stream.nextChangeAfter(ms);
            const size_t following = static_cast<size_t>(expected) + 1;
            if (following < times.size()) {
                EXPECT_TRUE(std::abs(next - times[following]) < 0.01 ||
                            (next > ms && next <= ms + 10))
                    << next;
            }
        }
        stream.seek(times[4]);
        const auto deadline = std::chrono::steady_clock::now() + kBound;
        while (frameNumberOf(stream.frameAt(times[4])) != 4 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(frameNumberOf(stream.frameAt(times[4])), 4) << "after a seek";
    }
}

// Where a 320 x 180 picture lands in a target: black outside the rectangle, the frame inside.
struct Placement {
    QSize target;
    QRect picture;
};

TEST(VideoStreamTest, FramesFitTheTargetCentredOnBlack) {
    QTemporaryDir dir;
    const Clip clip{"wide.mp4", VideoCodec::H264, evenTimes(12, 40), 0};
    const QByteArray path = writeClip(dir, clip, {320, 180});
    const Placement placements[] = {
        {{256, 256}, {0, 56, 256, 144}},   // bars above and below
        {{400, 100}, {111, 0, 178, 100}},  // bars left and right
        {{320, 180}, {0, 0, 320, 180}},
    };
    VideoStream stream(path, placements[0].target, Mode::Offline);
    for (const Placement& p : placements) {
        SCOPED_TRACE(p.target.width());
        stream.setSize(p.target);
        stream.seek(0);
        const QImage frame = stream.frameAt(0);
        ASSERT_EQ(frame.size(), p.target);
        EXPECT_EQ(frame.format(), kPictureFormat);
        EXPECT_EQ(frameNumberOf(frame), 0);
        const QRect inner = p.picture.adjusted(2, 2, -2, -2);
        const QPoint inside[] = {inner.topLeft(), inner.topRight(), inner.bottomLeft(),
                                 inner.bottomRight()};
        for (QPoint at : inside) {
            const QColor c = frame.pixelColor(at);
            const QColor want = frameColour(0);
            EXPECT_LE(std::abs(c.red() - want.red()) + std::abs(c.green() - want.green()) +
                          std::abs(c.blue() - want.blue()),
                      12)
                << at.x() << "," << at.y();
        }
        const QRect outer = p.picture.adjusted(-2, -2, 2, 2);
        const QPoint outside[] = {outer.topLeft(), outer.bottomRight(), {0, 0}};
        for (QPoint at : outside) {
            if (frame.rect().contains(at) && !p.picture.contains(at)) {
                EXPECT_EQ(frame.pixel(at), qRgb(0, 0, 0)) << at.x() << "," << at.y();
            }
        }
    }
}

struct SizeCase {
    Clip clip;
    QSize size;
    bool plays;
};

TEST(VideoStreamTest, LargeStreamsPlayReducedOrAreRefused) {
    QTemporaryDir dir;
    const std::vector<double> times = evenTimes(3, 40);
    const SizeCase cases[] = {
        {{"bound.mpg", VideoCodec::Mpeg1, times, 25}, {1920, 1088}, true},
        // MPEG-4 part 2 decodes at a quarter of the size.
        {{"uhd.mkv", VideoCodec::Mpeg4Part2, times, 0}, {3840, 2160}, true},
        // H.264 has no reduced decoding.
        {{"tall.mp4", VideoCodec::H264, times, 0}, {1920, 1200}, false},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.clip.name);
        const QByteArray path = writeClip(dir, c.clip, c.size);
        const auto info = probeVideo(path);
        EXPECT_EQ(info.has_value(), c.plays);
        if (info.has_value()) {
            EXPECT_EQ(info->size, c.size);
        }
        VideoStream stream(path, {160, 90}, Mode::Offline);
        const QImage last = stream.frameAt(times.back());
        EXPECT_EQ(frameNumberOf(last), c.plays ? 2 : -1);
        if (c.plays) {
            EXPECT_EQ(last.size(), QSize(160, 90));
        }
        EXPECT_EQ(stream.failed(), !c.plays);
    }
}

enum class Outcome { Refused, PlaysSome, Either };

struct Damage {
    const char* name;
    const char* from;  // the clip the damage starts from; null for none
    QByteArray (*damage)(const QByteArray& bytes);
    Outcome outcome;
};

QByteArray randomBytes(qsizetype n, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray bytes(n, Qt::Uninitialized);
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

TEST(VideoStreamTest, DamagedFilesEndOrPlayWhatTheyHave) {
    QTemporaryDir dir;
    for (const Clip& clip : clips()) {
        writeClip(dir, clip);
    }
    carvel::testing::writeImage(dir.filePath(QStringLiteral("picture.png")), "PNG");
    carvel::testing::writeImage(dir.filePath(QStringLiteral("picture.jpg")), "JPG");
    carvel::testing::writeWav(dir.filePath(QStringLiteral("sound.wav")), 44100);
    carvel::testing::writeBytes(dir.filePath(QStringLiteral("list.m3u8")),
                                "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nfile:" +
                                    QFile::encodeName(dir.filePath(QStringLiteral("mpeg1.mpg"))) +
                                    "\n#EXT-X-ENDLIST\n");
    const Damage cases[] = {
        {"half.mpg", "mpeg1.mpg", [](const QByteArray& b) { return b.left(b.size() / 2); },
         Outcome::PlaysSome},
        {"half.mkv", "mpeg4.mkv", [](const QByteArray& b) { return b.left(b.size() / 2); },
         Outcome::PlaysSome},
        {"half.mp4", "h264.mp4", [](const QByteArray& b) { return b.left(b.size() / 2); },
         Outcome::Either},
        {"garbage.mpg", "mpeg1.mpg",
         [](const QByteArray& b) { return b.left(64) + randomBytes(b.size(), 1); },
         Outcome::Either},
        {"garbage.mkv", "mpeg4.mkv",
         [](const QByteArray& b) { return b.left(200) + randomBytes(b.size(), 2); },
         Outcome::Either},
        {"garbage.mp4", "h264.mp4",
         [](const QByteArray& b) { return b.left(48) + randomBytes(b.size(), 3); },
         Outcome::Either},
        {"random.mpg", nullptr, [](const QByteArray&) { return randomBytes(65536, 4); },
         Outcome::Refused},
        {"empty.mp4", nullptr, [](const QByteArray&) { return QByteArray(); }, Outcome::Refused},
        // A playlist naming a video: the library must not open another file.
        {"list.m3u8", "list.m3u8", nullptr, Outcome::Refused},
        {"picture.png", "picture.png", nullptr, Outcome::Refused},
        {"picture.jpg", "picture.jpg", nullptr, Outcome::Refused},
        {"sound.wav", "sound.wav", nullptr, Outcome::Refused},
        {"missing.mpg", nullptr, nullptr, Outcome::Refused},
    };
    for (const Damage& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        if (c.damage != nullptr) {
            const QByteArray from =
                c.from ? carvel::testing::readBytes(dir.filePath(QString::fromLatin1(c.from)))
                       : QByteArray();
            carvel::testing::writeBytes(path, c.damage(from));
        }
        const QByteArray native = QFile::encodeName(path);
        std::optional<VideoInfo> info;
        bool failed = false;
        int first = -2, last = -2;
        ASSERT_TRUE(endsInTime([&] {
            info = probeVideo(native);
            VideoStream stream(native, {64, 48}, Mode::Offline);
            first = frameNumberOf(stream.frameAt(0));
            last = frameNumberOf(stream.frameAt(1e6));
            stream.seek(0);
            stream.frameAt(30);
            failed = stream.failed();
        }));
        if (c.outcome == Outcome::Refused) {
            EXPECT_FALSE(info.has_value());
        }
        if (c.outcome == Outcome::PlaysSome) {
            EXPECT_TRUE(info.has_value());
        }
        if (!info.has_value()) {
            EXPECT_TRUE(failed);
            EXPECT_EQ(first, -1);
        } else if (c.outcome == Outcome::PlaysSome) {
            EXPECT_EQ(first, 0);
            EXPECT_GT(last, 0);
            EXPECT_LT(last, 23);
        }
    }
}

TEST(VideoStreamTest, ProbesFromSeveralThreadsAgree) {
    QTemporaryDir dir;
    std::vector<QByteArray> paths;
    for (const Clip& clip : clips()) {
        paths.push_back(writeClip(dir, clip));
    }
    std::vector<std::thread> threads;
    std::atomic<int> found{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 5; ++round) {
                for (const QByteArray& path : paths) {
                    const auto info = probeVideo(path);
                    found += info.has_value() && info->size == QSize(64, 48) ? 1 : 0;
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(found, 4 * 5 * static_cast<int>(paths.size()));
}

TEST(VideoStreamTest, DestroyingAnOpeningStreamEnds) {
    QTemporaryDir dir;
    const QByteArray clip = writeClip(dir, clips()[2]);
    const QString noise = dir.filePath(QStringLiteral("noise.avi"));
    carvel::testing::writeBytes(noise, randomBytes(4 << 20, 5));
    for (const QByteArray& path : {clip, QFile::encodeName(noise)}) {
        for (Mode mode : {Mode::RealTime, Mode::Offline}) {
            EXPECT_TRUE(endsInTime([&] {
                for (int i = 0; i < 10; ++i) {
                    VideoStream stream(path, {64, 48}, mode);
                }
            }));
        }
    }
}

}  // namespace
}  // namespace carvel::media
