#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <vector>

#include "media/pcm16.h"
#include "media/video_file_writer.h"
#include "testing/qt_printers.h"
#include "testing/test_files.h"

namespace carvel::media {
namespace {

constexpr int kFps = 30;
constexpr int kRate = 44100;
constexpr int kPictures = 2 * kFps;
constexpr std::int64_t kFrames = 2 * kRate;

// Frame numbers 0 to 63 as colours 70 steps apart in each component, far beyond lossy coding, and
// none of them near black.
QColor colourOf(int frame) {
    return QColor(45 + 70 * (frame % 4), 45 + 70 * (frame / 4 % 4), 45 + 70 * (frame / 16 % 4));
}

int frameOf(QRgb pixel) {
    const auto step = [](int value) { return std::clamp((value - 45 + 35) / 70, 0, 3); };
    return step(qRed(pixel)) + 4 * step(qGreen(pixel)) + 16 * step(qBlue(pixel));
}

bool isBlack(QRgb pixel) {
    return qRed(pixel) < 24 && qGreen(pixel) < 24 && qBlue(pixel) < 24;
}

// Frame k in one of three shapes and formats: square, wide (bars above and below) and tall (bars
// left and right) in a 256 x 256 video.
QImage pictureOf(int frame) {
    static const QImage::Format formats[] = {QImage::Format_RGB32, QImage::Format_ARGB32,
                                             QImage::Format_RGB888};
    static const QSize sizes[] = {{256, 256}, {64, 32}, {30, 60}};
    QImage image(sizes[frame % 3], formats[frame % 3]);
    image.fill(colourOf(frame));
    return image;
}

// Two seconds of stereo sine, loud enough on the left to be clamped at its peaks.
std::vector<float> sound() {
    std::vector<float> pcm(static_cast<size_t>(kFrames) * 2);
    for (std::int64_t i = 0; i < kFrames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        pcm[2 * i] = static_cast<float>(1.2 * std::sin(2 * M_PI * 440 * t));
        pcm[2 * i + 1] = static_cast<float>(0.3 * std::sin(2 * M_PI * 660 * t));
    }
    return pcm;
}

// Adds the pictures and, in uneven blocks, the sound up to each picture's end.
void writeAll(VideoFileWriter& writer, const std::vector<float>& pcm) {
    std::int64_t written = 0;
    for (int k = 0; k < kPictures; ++k) {
        ASSERT_TRUE(writer.addPicture(pictureOf(k))) << writer.error().toStdString();
        const std::int64_t end = std::int64_t{k + 1} * kRate / kFps;
        const std::int64_t middle = written + (end - written) / 3;
        ASSERT_TRUE(writer.write(pcm.data() + 2 * written, middle - written))
            << writer.error().toStdString();
        ASSERT_TRUE(writer.write(pcm.data() + 2 * middle, end - middle))
            << writer.error().toStdString();
        written = end;
    }
}

// Clamped to [-1, 1], x 32767, rounded half away from zero; NaN is silence.
TEST(Pcm16, ClampsScalesAndRoundsHalfAwayFromZero) {
    const float in[] = {0, 0.25f, -0.25f, 0.5f, -0.5f, 1, -1, 1.5f, -2, HUGE_VALF, -HUGE_VALF, NAN};
    const std::int16_t expected[] = {0,      8192,  -8192,  16384, -16384, 32767,
                                     -32767, 32767, -32767, 32767, -32767, 0};
    std::int16_t out[std::size(in)] = {};
    toPcm16(in, std::ssize(in), out);
    EXPECT_TRUE(std::equal(std::begin(out), std::end(out), std::begin(expected)));
}

struct InputFree {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct CodecFree {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};

// What a file read back holds: its streams, every picture decoded, every sound sample of s16.
struct ReadBack {
    AVCodecID videoCodec = AV_CODEC_ID_NONE;
    AVCodecID soundCodec = AV_CODEC_ID_NONE;
    QSize size;
    double fps = 0;
    double soundSeconds = 0;
    int videoPackets = 0;
    std::vector<QImage> pictures;     // in presentation order
    std::vector<std::int16_t> pcm16;  // interleaved, for a 16-bit decoded stream
};

void decodeInto(AVCodecContext* codec, const AVPacket* packet, ReadBack& back) {
    ASSERT_GE(avcodec_send_packet(codec, packet), 0);
    AVFrame* frame = av_frame_alloc();
    while (avcodec_receive_frame(codec, frame) >= 0) {
        if (codec->codec_type == AVMEDIA_TYPE_VIDEO) {
            // Limited-range BT.601 back to RGB: enough for colours 70 steps apart.
            QImage image(frame->width, frame->height, QImage::Format_RGB32);
            for (int y = 0; y < frame->height; ++y) {
                for (int x = 0; x < frame->width; ++x) {
                    const double l = 1.164 * (frame->data[0][y * frame->linesize[0] + x] - 16);
                    const double u = frame->data[1][y / 2 * frame->linesize[1] + x / 2] - 128;
                    const double v = frame->data[2][y / 2 * frame->linesize[2] + x / 2] - 128;
                    const auto c = [](double value) {
                        return static_cast<int>(std::clamp(value, 0.0, 255.0));
                    };
                    image.setPixel(
                        x, y,
                        qRgb(c(l + 1.596 * v), c(l - 0.392 * u - 0.813 * v), c(l + 2.017 * u)));
                }
            }
            back.pictures.push_back(image);
        } else if (frame->format == AV_SAMPLE_FMT_S16) {
            const auto* samples = reinterpret_cast<const std::int16_t*>(frame->data[0]);
            back.pcm16.insert(back.pcm16.end(), samples, samples + 2 * frame->nb_samples);
        }
    }
    av_frame_free(&frame);
}

ReadBack readBack(const QString& path) {
    ReadBack back;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path.toStdString();
        return back;
    }
    std::unique_ptr<AVFormatContext, InputFree> format(raw);
    EXPECT_GE(avformat_find_stream_info(raw, nullptr), 0);
    std::vector<std::unique_ptr<AVCodecContext, CodecFree>> codecs(raw->nb_streams);
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVStream* stream = raw->streams[i];
        const AVCodecParameters* p = stream->codecpar;
        codecs[i].reset(avcodec_alloc_context3(avcodec_find_decoder(p->codec_id)));
        avcodec_parameters_to_context(codecs[i].get(), p);
        EXPECT_GE(avcodec_open2(codecs[i].get(), nullptr, nullptr), 0);
        if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
            back.videoCodec = p->codec_id;
            back.size = QSize(p->width, p->height);
            back.fps = av_q2d(stream->avg_frame_rate);
        } else {
            back.soundCodec = p->codec_id;
            back.soundSeconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
        }
    }
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(raw, packet) >= 0) {
        AVCodecContext* codec = codecs[static_cast<size_t>(packet->stream_index)].get();
        back.videoPackets += codec->codec_type == AVMEDIA_TYPE_VIDEO ? 1 : 0;
        decodeInto(codec, packet, back);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    for (auto& codec : codecs) {
        decodeInto(codec.get(), nullptr, back);
    }
    return back;
}

struct RoundTrip {
    const char* file;
    AVCodecID soundCodec;
};

class VideoFileRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

// The pictures come back in their order, shapes and colours, the sound as the WAV render's
// samples (FLAC) or as long as it was, within one AAC frame.
TEST_P(VideoFileRoundTrip, ReadsBackWhatWasWritten) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromUtf8(GetParam().file));
    const std::vector<float> pcm = sound();
    {
        VideoFileWriter writer(QFile::encodeName(path), {});
        ASSERT_TRUE(writer.open()) << writer.error().toStdString();
        writeAll(writer, pcm);
        EXPECT_EQ(writer.picturesWritten(), kPictures);
        ASSERT_TRUE(writer.close()) << writer.error().toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    const ReadBack back = readBack(path);
    EXPECT_EQ(back.videoCodec, AV_CODEC_ID_H264);
    EXPECT_EQ(back.soundCodec, GetParam().soundCodec);
    EXPECT_EQ(back.size, QSize(256, 256));
    EXPECT_NEAR(back.fps, kFps, 0.01);
    EXPECT_EQ(back.videoPackets, kPictures);
    ASSERT_EQ(back.pictures.size(), size_t{kPictures});
    for (const int k : {0, 1, 2, 13, 29, 30, 44, 58, 59}) {
        SCOPED_TRACE(k);
        const QImage& picture = back.pictures[static_cast<size_t>(k)];
        EXPECT_EQ(frameOf(picture.pixel(128, 128)), k);
        EXPECT_EQ(isBlack(picture.pixel(128, 20)), k % 3 == 1);
        EXPECT_EQ(isBlack(picture.pixel(20, 128)), k % 3 == 2);
    }
    if (GetParam().soundCodec == AV_CODEC_ID_FLAC) {
        std::vector<std::int16_t> expected(pcm.size());
        toPcm16(pcm.data(), static_cast<std::int64_t>(pcm.size()), expected.data());
        EXPECT_TRUE(back.pcm16 == expected) << back.pcm16.size() << " samples";
    } else {
        EXPECT_NEAR(back.soundSeconds, 2.0, 1024.0 / kRate);
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, VideoFileRoundTrip,
                         ::testing::Values(RoundTrip{"out.mp4", AV_CODEC_ID_AAC},
                                           RoundTrip{"OUT.MKV", AV_CODEC_ID_FLAC}));

struct Failure {
    const char* name;
    const char* file;  // in a fresh folder holding a regular file "plain"
    QSize size;
    int rate;
    const char* linkTo;  // when not null, file is made a symbolic link to this
};

class VideoFileFailure : public ::testing::TestWithParam<Failure> {};

// Each failure gives an error, every later call is refused, and nothing is left behind.
TEST_P(VideoFileFailure, GivesAnErrorAndRefusesTheRest) {
    QTemporaryDir dir;
    testing::writeBytes(dir.filePath(QStringLiteral("plain")), "old");
    const QString path = dir.filePath(QString::fromUtf8(GetParam().file));
    if (GetParam().linkTo != nullptr) {
        ASSERT_TRUE(QFile::link(QString::fromUtf8(GetParam().linkTo), path));
    }
    VideoFileWriter writer(QFile::encodeName(path), {GetParam().size, kFps, GetParam().rate});
    const QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    const std::vector<float> pcm = sound();
    // Some failures only show once the file is written, at whichever step that is.
    bool written = writer.open();
    for (int k = 0; k < kPictures && written; ++k) {
        written = writer.addPicture(pictureOf(k)) && writer.write(pcm.data(), kRate / kFps);
    }
    EXPECT_FALSE(written && writer.close());
    EXPECT_FALSE(writer.error().isEmpty());
    EXPECT_FALSE(writer.addPicture(pictureOf(0)));
    EXPECT_FALSE(writer.write(pcm.data(), 10));
    EXPECT_FALSE(writer.close());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), before);
    EXPECT_EQ(testing::readBytes(dir.filePath(QStringLiteral("plain"))), "old");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VideoFileFailure,
    ::testing::Values(Failure{"OddSize", "odd.mp4", {255, 256}, kRate, nullptr},
                      Failure{"AacRate", "odd.mp4", {256, 256}, 12345, nullptr},
                      Failure{"UnknownExtension", "video.avi", {256, 256}, kRate, nullptr},
                      Failure{"FolderIsAFile", "plain/video.mkv", {256, 256}, kRate, nullptr},
                      Failure{"DiskFullMp4", "full.mp4", {256, 256}, kRate, "/dev/full"},
                      Failure{"DiskFullMkv", "full.mkv", {256, 256}, kRate, "/dev/full"}),
    [](const auto& param) { return std::string(param.param.name); });

// A writer given up before close() leaves the target as it was and removes its own file.
TEST(VideoFileWriter, KeepsTheTargetWithoutClose) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.mkv"));
    testing::writeBytes(path, "old contents");
    {
        VideoFileWriter writer(QFile::encodeName(path), {});
        ASSERT_TRUE(writer.open()) << writer.error().toStdString();
        writeAll(writer, sound());
    }
    EXPECT_EQ(testing::readBytes(path), "old contents");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("keep.mkv")});
}

// Through a symbolic link, the file it names is replaced with its permissions, and the link kept.
TEST(VideoFileWriter, ReplacesTheFileALinkNames) {
    QTemporaryDir dir;
    const QString real = dir.filePath(QStringLiteral("real.mkv"));
    const QString link = dir.filePath(QStringLiteral("link.mkv"));
    testing::writeBytes(real, "old contents");
    ASSERT_TRUE(
        QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_TRUE(QFile::link(real, link));
    VideoFileWriter writer(QFile::encodeName(link), {});
    ASSERT_TRUE(writer.open()) << writer.error().toStdString();
    writeAll(writer, sound());
    ASSERT_TRUE(writer.close()) << writer.error().toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), real);
    const QFile::Permissions modeBits(0x7077);  // owner, group and others; not the user's access
    EXPECT_EQ(QFile::permissions(real) & modeBits,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    EXPECT_TRUE(testing::readBytes(real).startsWith("\x1a\x45\xdf\xa3"));  // EBML, Matroska's
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("link.mkv"), QStringLiteral("real.mkv")}));
}

}  // namespace
}  // namespace carvel::media
