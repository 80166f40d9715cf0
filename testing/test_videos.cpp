#include "testing/test_videos.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <string_view>

namespace carvel::testing {
namespace {

// Five levels a channel, with at least one channel of 128 or more so that no frame is taken for a
// black bar: adjacent colours still differ by 64 in a channel, far more than coding changes.
std::array<QColor, 64> makePalette() {
    std::array<QColor, 64> palette;
    constexpr int levels[] = {255, 192, 128, 64, 0};
    size_t n = 0;
    for (int r : levels) {
        for (int g : levels) {
            for (int b : levels) {
                if (n < palette.size() && std::max({r, g, b}) >= 128) {
                    palette[n++] = QColor(r, g, b);
                }
            }
        }
    }
    return palette;
}

const std::array<QColor, 64>& palette() {
    static const std::array<QColor, 64> colours = makePalette();
    return colours;
}

// BT.601 with limited range, which the decoders' conversion back to RGB assumes.
void fillFrame(AVFrame& frame, QColor colour) {
    const double r = colour.red(), g = colour.green(), b = colour.blue();
    const auto y = static_cast<std::uint8_t>(std::lround(16 + 0.257 * r + 0.504 * g + 0.098 * b));
    const auto u = static_cast<std::uint8_t>(std::lround(128 - 0.148 * r - 0.291 * g + 0.439 * b));
    const auto v = static_cast<std::uint8_t>(std::lround(128 + 0.439 * r - 0.368 * g - 0.071 * b));
    const std::uint8_t values[3] = {y, u, v};
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? frame.height : (frame.height + 1) / 2;
        const int columns = plane == 0 ? frame.width : (frame.width + 1) / 2;
        for (int row = 0; row < rows; ++row) {
            std::fill_n(frame.data[plane] + row * frame.linesize[plane], columns, values[plane]);
        }
    }
}

const AVCodec* findEncoder(VideoCodec codec) {
    switch (codec) {
        case VideoCodec::Mpeg1:
            return avcodec_find_encoder_by_name("mpeg1video");
        case VideoCodec::Mpeg4Part2:
            return avcodec_find_encoder_by_name("mpeg4");
        case VideoCodec::H264:
            if (const AVCodec* x264 = avcodec_find_encoder_by_name("libx264")) {
                return x264;
            }
            return avcodec_find_encoder(AV_CODEC_ID_H264);
    }
    return nullptr;
}

// MPEG-1 video knows only fixed frame rates from a short list: its clock ticks at the declared
// rate, else at the mean rate of the stamps, and each stamp is rounded to the nearest tick.
AVRational timeBaseFor(VideoCodec codec, const std::vector<double>& timesMs, double declaredFps) {
    if (codec != VideoCodec::Mpeg1) {
        return {1, 1000};
    }
    double fps = declaredFps;
    if (fps <= 0) {
        fps = timesMs.size() > 1 && timesMs.back() > timesMs.front()
                  ? 1000.0 * static_cast<double>(timesMs.size() - 1) /
                        (timesMs.back() - timesMs.front())
                  : 25;
    }
    return av_inv_q(av_d2q(fps, 1001));
}

struct Writer {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    // Each frame's duration by its time stamp: the encoders with a delay leave the packets' empty,
    // and an MP4 file would then cut off its last frame.
    std::map<std::int64_t, std::int64_t> durations;

    ~Writer() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (format != nullptr) {
            if (format->pb != nullptr) {
                avio_closep(&format->pb);
            }
            avformat_free_context(format);
        }
    }

    // Sends frame (null: the end) and writes every packet that comes out.
    bool encode(const AVFrame* input) {
        if (avcodec_send_frame(codec, input) < 0) {
            return false;
        }
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) {
                return true;
            }
            if (got < 0) {
                return false;
            }
            if (packet->duration <= 0) {
                const auto found = durations.find(packet->pts);
                packet->duration = found != durations.end() ? found->second : 0;
            }
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0) {
                return false;
            }
        }
    }
};

}  // namespace

bool writeTestVideo(const QString& path, VideoCodec codec, QSize size,
                    const std::vector<double>& frameTimesMs, double declaredFps) {
    // The muxers' advice on conformance is no failure of a test.
    av_log_set_level(std::min(av_log_get_level(), AV_LOG_ERROR));
    const QByteArray name = QFile::encodeName(path);
    const AVCodec* encoder = findEncoder(codec);
    if (encoder == nullptr) {
        ADD_FAILURE() << "no encoder for " << name.constData();
        return false;
    }
    Writer w;
    if (avformat_alloc_output_context2(&w.format, nullptr, nullptr, name.constData()) < 0 ||
        (w.stream = avformat_new_stream(w.format, nullptr)) == nullptr ||
        (w.codec = avcodec_alloc_context3(encoder)) == nullptr ||
        (w.frame = av_frame_alloc()) == nullptr || (w.packet = av_packet_alloc()) == nullptr) {
        ADD_FAILURE() << "cannot set up the writer of " << name.constData();
        return false;
    }
    w.codec->width = size.width();
    w.codec->height = size.height();
    w.codec->pix_fmt = AV_PIX_FMT_YUV420P;
    w.codec->time_base = timeBaseFor(codec, frameTimesMs, declaredFps);
    w.codec->framerate =
        declaredFps > 0 ? av_d2q(declaredFps, 100000) : av_inv_q(w.codec->time_base);
    w.codec->gop_size = 10;  // key frames every 10 frames, so that seeking decodes and drops some
    w.codec->bit_rate = 1000000;
    if ((w.format->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        w.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (std::string_view(encoder->name) == "libx264") {
        av_opt_set(w.codec->priv_data, "preset", "veryfast", 0);
    }
    if (avcodec_open2(w.codec, encoder, nullptr) < 0 ||
        avcodec_parameters_from_context(w.stream->codecpar, w.codec) < 0) {
        ADD_FAILURE() << "cannot open the encoder " << encoder->name << " for " << name.constData();
        return false;
    }
    w.stream->time_base = w.codec->time_base;
    if (declaredFps > 0) {
        w.stream->avg_frame_rate = w.stream->r_frame_rate = av_d2q(declaredFps, 100000);
    }
    if (avio_open(&w.format->pb, name.constData(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(w.format, nullptr) < 0) {
        ADD_FAILURE() << "cannot start " << name.constData();
        return false;
    }
    w.frame->format = AV_PIX_FMT_YUV420P;
    w.frame->width = size.width();
    w.frame->height = size.height();
    if (av_frame_get_buffer(w.frame, 0) < 0) {
        ADD_FAILURE() << "no frame buffer for " << name.constData();
        return false;
    }
    std::vector<std::int64_t> stamps;
    for (double ms : frameTimesMs) {
        const auto pts =
            static_cast<std::int64_t>(std::llround(ms / 1000.0 / av_q2d(w.codec->time_base)));
        stamps.push_back(stamps.empty() ? pts : std::max(pts, stamps.back() + 1));
    }
    for (size_t i = 0; i < stamps.size(); ++i) {
        const size_t step = i + 1 < stamps.size() ? i + 1 : i;
        w.durations[stamps[i]] = step > 0 ? stamps[step] - stamps[step - 1] : 1;
    }
    for (size_t i = 0; i < stamps.size(); ++i) {
        if (av_frame_make_writable(w.frame) < 0) {
            ADD_FAILURE() << "frame buffer busy";
            return false;
        }
        fillFrame(*w.frame, frameColour(static_cast<int>(i)));
        w.frame->pts = stamps[i];
        if (!w.encode(w.frame)) {
            ADD_FAILURE() << "cannot encode frame " << i << " of " << name.constData();
            return false;
        }
    }
    if (!w.encode(nullptr) || av_write_trailer(w.format) < 0) {
        ADD_FAILURE() << "cannot finish " << name.constData();
        return false;
    }
    return true;
}

QColor frameColour(int frame) {
    return palette()[static_cast<size_t>(std::clamp(frame, 0, 63))];
}

int frameNumberOf(const QImage& picture) {
    if (picture.isNull()) {
        return -1;
    }
    const QColor c = picture.pixelColor(picture.width() / 2, picture.height() / 2);
    if (std::max({c.red(), c.green(), c.blue()}) < 48) {
        return -1;
    }
    int best = -1;
    int bestDistance = std::numeric_limits<int>::max();
    for (int i = 0; i < 64; ++i) {
        const QColor p = frameColour(i);
        const int dr = p.red() - c.red(), dg = p.green() - c.green(), db = p.blue() - c.blue();
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

}  // namespace carvel::testing
