#include "media/video_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "media/picture.h"
#include "media/video_stream.h"

namespace carvel::media {
namespace {

constexpr int kIoBufferBytes = 32 * 1024;
// A stream that gives this many undecodable packets or frames in a row has failed for good.
constexpr int kMaxBadPackets = 50;
// Larger sizes than this are no real video but a damaged header.
constexpr int kAbsurdSide = 16384;
// The step after a frame that carries neither a time stamp nor a duration.
constexpr double kDefaultFrameMs = 1000.0 / 30.0;

// Damaged files are data, not messages for the terminal: the libraries stay quiet.
void quietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

// The containers that video files come in. Pictures, sounds, playlists and the demuxers that open
// further files by name are no video background: their names are not here.
constexpr char kVideoDemuxers[] =
    "mpeg,mpegts,mpegvideo,m4v,h264,hevc,avi,asf,mov,mp4,matroska,webm,flv,ogg,rm,ivf";

// A file never makes the library open another one (a playlist's entries, an MP4's references).
int refuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

}  // namespace

int VideoDecoder::readPacket(void* opaque, std::uint8_t* buf, int size) {
    auto* self = static_cast<VideoDecoder*>(opaque);
    if (self->interrupted()) {
        return AVERROR_EXIT;
    }
    const std::int64_t room = self->readLimit_ - self->bytesRead_;
    if (room <= 0) {
        return AVERROR_EOF;
    }
    const auto want = static_cast<size_t>(std::min<std::int64_t>(size, room));
    ssize_t got;
    do {
        got = ::pread(self->file_.fd(), buf, want, self->filePos_);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return AVERROR(EIO);
    }
    if (got == 0) {
        return AVERROR_EOF;
    }
    self->filePos_ += got;
    self->bytesRead_ += got;
    return static_cast<int>(got);
}

std::int64_t VideoDecoder::seekPacket(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<VideoDecoder*>(opaque);
    const std::int64_t size = self->file_.size();
    std::int64_t to;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return size;
        case SEEK_SET:
            to = offset;
            break;
        case SEEK_CUR:
            to = self->filePos_ + offset;
            break;
        case SEEK_END:
            to = size + offset;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (to < 0) {
        return AVERROR(EINVAL);
    }
    self->filePos_ = to;
    return to;
}

void VideoDecoder::setShownSize(QSize size) {
    if (codec_ == nullptr) {
        return;
    }
    const bool small = size.width() * 2 <= size_.width() && size.height() * 2 <= size_.height();
    codec_->skip_loop_filter = small ? AVDISCARD_ALL : AVDISCARD_DEFAULT;
}

int VideoDecoder::interruptCallback(void* opaque) {
    return static_cast<const VideoDecoder*>(opaque)->interrupted() ? 1 : 0;
}

bool VideoDecoder::interrupted() const {
    return (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) ||
           std::chrono::steady_clock::now() > deadline_;
}

VideoDecoder::VideoDecoder(const QByteArray& nativePath, const std::atomic<bool>* stop)
    : file_(nativePath), stop_(stop) {
    quietLibraries();
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kVideoOpenTimeoutMs);
    readLimit_ = kVideoProbeBytes;
    open_ = file_.isOpen() && open(nativePath) && decodeOne();
    deadline_ = std::chrono::steady_clock::time_point::max();
    readLimit_ = std::numeric_limits<std::int64_t>::max();
    if (open_) {
        // A probe that stopped at the read limit left the reader at its end; the limit is gone now.
        format_->pb->eof_reached = 0;
        firstPending_ = true;
    }
}

VideoDecoder::~VideoDecoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
    if (io_ != nullptr) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
}

bool VideoDecoder::open(const QByteArray& nativePath) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (buffer == nullptr) {
        return false;
    }
    io_ = avio_alloc_context(buffer, kIoBufferBytes, 0, this, &VideoDecoder::readPacket, nullptr,
                             &VideoDecoder::seekPacket);
    if (io_ == nullptr) {
        av_free(buffer);
        return false;
    }
    format_ = avformat_alloc_context();
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (format_ == nullptr || packet_ == nullptr || frame_ == nullptr) {
        return false;
    }
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->interrupt_callback = {&VideoDecoder::interruptCallback, this};
    format_->probesize = kVideoProbeBytes;
    format_->format_probesize = 1 << 20;
    format_->max_analyze_duration = 5 * AV_TIME_BASE;
    format_->format_whitelist = av_strdup(kVideoDemuxers);
    format_->io_open = &refuseNestedOpen;
    // The name only helps the probe by its extension; every byte comes through io_.
    if (avformat_open_input(&format_, nativePath.constData(), nullptr, nullptr) < 0) {
        return false;  // avformat_open_input freed format_
    }
    if (format_->iformat == nullptr || !findStreamInfo()) {
        return false;
    }
    const AVCodec* decoder = nullptr;
    streamIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (streamIndex_ < 0 || decoder == nullptr) {
        return false;
    }
    const AVStream* stream = format_->streams[streamIndex_];
    if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0 || stream->time_base.num <= 0 ||
        stream->time_base.den <= 0) {
        return false;
    }
    const AVCodecParameters* par = stream->codecpar;
    if (par->width <= 0 || par->height <= 0 || par->width > kAbsurdSide ||
        par->height > kAbsurdSide) {
        return false;
    }
    size_ = QSize(par->width, par->height);
    timeBase_ = {stream->time_base.num, stream->time_base.den};
    // The container's duration first: an MPEG program stream's own stream duration is a guess.
    if (format_->duration > 0 && format_->duration != AV_NOPTS_VALUE) {
        durationMs_ = static_cast<double>(format_->duration) * 1000.0 / AV_TIME_BASE;
    } else if (stream->duration > 0 && stream->duration != AV_NOPTS_VALUE) {
        durationMs_ = toMs(stream->duration);
    }
    // Only the chosen stream is read; the demuxer drops the packets of the others.
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        if (static_cast<int>(i) != streamIndex_) {
            format_->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    return openDecoder();
}

bool VideoDecoder::findStreamInfo() {
    // The decoders that look at the first frames get the same bounds as ours: one thread, and no
    // frame larger than a reduced size could bring within the bound.
    std::vector<AVDictionary*> options(format_->nb_streams, nullptr);
    for (AVDictionary*& o : options) {
        av_dict_set(&o, "threads", "1", 0);
        av_dict_set_int(&o, "max_pixels",
                        static_cast<std::int64_t>(kVideoMaxWidth) * kVideoMaxHeight * 16, 0);
    }
    const int found = avformat_find_stream_info(format_, options.data());
    for (AVDictionary*& o : options) {
        av_dict_free(&o);
    }
    return found >= 0;
}

bool VideoDecoder::openDecoder() {
    const AVStream* stream = format_->streams[streamIndex_];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (decoder == nullptr) {
        return false;
    }
    int lowres = 0;
    while ((size_.width() >> lowres) > kVideoMaxWidth ||
           (size_.height() >> lowres) > kVideoMaxHeight) {
        ++lowres;
    }
    if (lowres > decoder->max_lowres) {
        return false;
    }
    codec_ = avcodec_alloc_context3(decoder);
    if (codec_ == nullptr || avcodec_parameters_to_context(codec_, stream->codecpar) < 0) {
        return false;
    }
    codec_->pkt_timebase = stream->time_base;
    // One thread: the codec then keeps only the frames it references, not a set per thread.
    codec_->thread_count = 1;
    codec_->lowres = lowres;
    // Frames that grow beyond the bound after the header are refused by the decoder itself.
    codec_->max_pixels = static_cast<std::int64_t>(kVideoMaxWidth << lowres) *
                         static_cast<std::int64_t>(kVideoMaxHeight << lowres);
    return avcodec_open2(codec_, decoder, nullptr) >= 0;
}

bool VideoDecoder::next() {
    if (!open_ || failed_) {
        return false;
    }
    if (firstPending_) {
        firstPending_ = false;
        return true;
    }
    return decodeOne();
}

bool VideoDecoder::decodeOne() {
    for (;;) {
        const int received = avcodec_receive_frame(codec_, frame_);
        if (received == 0) {
            const bool usable =
                frame_->width > 0 && frame_->height > 0 && frame_->width <= kVideoMaxWidth &&
                frame_->height <= kVideoMaxHeight &&
                sws_isSupportedInput(static_cast<AVPixelFormat>(frame_->format)) > 0;
            if (usable) {
                badPackets_ = 0;
                stamp();
                return true;
            }
            av_frame_unref(frame_);
            if (++badPackets_ >= kMaxBadPackets) {
                fail();
                return false;
            }
            continue;
        }
        if (received == AVERROR_EOF) {
            return false;
        }
        if (received != AVERROR(EAGAIN) && ++badPackets_ >= kMaxBadPackets) {
            fail();
            return false;
        }
        if (draining_) {
            return false;
        }
        const int read = av_read_frame(format_, packet_);
        if (read < 0) {
            if (read == AVERROR_EXIT) {
                return false;
            }
            // The end of the file, or a read error: whatever the decoder still holds comes out.
            draining_ = true;
            avcodec_send_packet(codec_, nullptr);
            continue;
        }
        if (packet_->stream_index == streamIndex_) {
            const int sent = avcodec_send_packet(codec_, packet_);
            if (sent < 0 && sent != AVERROR(EAGAIN) && ++badPackets_ >= kMaxBadPackets) {
                av_packet_unref(packet_);
                fail();
                return false;
            }
        }
        av_packet_unref(packet_);
    }
}

void VideoDecoder::stamp() {
    AVStream* stream = format_->streams[streamIndex_];
    double ms;
    if (frame_->best_effort_timestamp != AV_NOPTS_VALUE) {
        ms = toMs(frame_->best_effort_timestamp);
    } else if (!haveFirst_) {
        ms = 0;
    } else if (frame_->pkt_duration > 0) {
        ms = lastMs_ + toMs(frame_->pkt_duration);
    } else {
        ms = lastMs_ + kDefaultFrameMs;
    }
    if (!std::isfinite(ms)) {
        ms = lastMs_;
    }
    if (!haveFirst_) {
        haveFirst_ = true;
        firstMs_ = ms;
        lastMs_ = ms;
    } else if (restarted_) {
        lastMs_ = ms;
    }
    restarted_ = false;
    lastMs_ = std::max(lastMs_, ms);
    frameMs_ = lastMs_ - firstMs_;
    frame_->sample_aspect_ratio = av_guess_sample_aspect_ratio(format_, stream, frame_);
}

double VideoDecoder::toMs(std::int64_t ts) const {
    // In this order, a time stamp of whole milliseconds gives them exactly.
    return static_cast<double>(ts) * 1000.0 * timeBase_.num / timeBase_.den;
}

void VideoDecoder::fail() {
    failed_ = true;
    av_frame_unref(frame_);
}

void VideoDecoder::seek(double ms) {
    if (!open_ || failed_) {
        return;
    }
    firstPending_ = false;
    draining_ = false;
    const double target = (std::max(ms, 0.0) + firstMs_) / 1000.0 * timeBase_.den / timeBase_.num;
    const auto ts = static_cast<std::int64_t>(std::clamp(std::floor(target), -9.0e18, 9.0e18));
    if (av_seek_frame(format_, streamIndex_, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(format_, streamIndex_, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0) {
        av_seek_frame(format_, -1, 0, AVSEEK_FLAG_BYTE);
    }
    avcodec_flush_buffers(codec_);
    // Frames without a time stamp count on from the time sought; times may start lower again.
    lastMs_ = firstMs_ + std::max(ms, 0.0);
    restarted_ = true;
}

FrameScaler::~FrameScaler() {
    sws_freeContext(sws_);
}

QImage FrameScaler::scale(const AVFrame& frame, QSize target) {
    if (target.isEmpty() || frame.width <= 0 || frame.height <= 0) {
        return {};
    }
    // The frame's shape on screen: its width stretched by the sample aspect ratio, which a
    // damaged file may set to anything, so it is held to a sane range.
    double aspect = static_cast<double>(frame.width) / frame.height;
    if (frame.sample_aspect_ratio.num > 0 && frame.sample_aspect_ratio.den > 0) {
        aspect *= std::clamp(av_q2d(frame.sample_aspect_ratio), 1.0 / 16, 16.0);
    }
    int width = target.width();
    int height = static_cast<int>(std::lround(width / aspect));
    if (height > target.height()) {
        height = target.height();
        width = static_cast<int>(std::lround(height * aspect));
    }
    width = std::clamp(width, 1, target.width());
    height = std::clamp(height, 1, target.height());
    sws_ = sws_getCachedContext(sws_, frame.width, frame.height,
                                static_cast<AVPixelFormat>(frame.format), width, height,
                                AV_PIX_FMT_RGB32, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (sws_ == nullptr) {
        return {};
    }
    QImage picture(target, kPictureFormat);
    if (picture.isNull()) {
        return {};
    }
    picture.fill(Qt::black);
    const int x = (target.width() - width) / 2;
    const int y = (target.height() - height) / 2;
    std::uint8_t* const planes[4] = {picture.bits() + y * picture.bytesPerLine() + x * 4, nullptr,
                                     nullptr, nullptr};
    const int strides[4] = {static_cast<int>(picture.bytesPerLine()), 0, 0, 0};
    if (sws_scale(sws_, frame.data, frame.linesize, 0, frame.height, planes, strides) <= 0) {
        return {};
    }
    return picture;
}

}  // namespace carvel::media
