#include "media/video_file_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "media/pcm16.h"
#include "media/replacing_file.h"

namespace carvel::media {

namespace {

// A key frame every this many seconds, so that a player can seek the video.
constexpr int kKeyFrameSeconds = 2;
constexpr int kMaxFps = 1000;
constexpr std::int64_t kAacBitRate = 192000;
// Sound frames per packet for an encoder that takes any number.
constexpr int kVariableFrameSize = 4608;
constexpr int kIoBufferSize = 1 << 16;

struct Container {
    const char* format;      // libavformat's short name
    const char* soundCodec;  // the encoder of the sound stream
};

std::optional<Container> containerOf(const QString& path) {
    if (path.endsWith(QStringLiteral(".mp4"), Qt::CaseInsensitive)) {
        return Container{"mp4", "aac"};
    }
    if (path.endsWith(QStringLiteral(".mkv"), Qt::CaseInsensitive)) {
        return Container{"matroska", "flac"};
    }
    return std::nullopt;
}

QString ffmpegError(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromUtf8(text);
}

struct CodecFree {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFree {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// The sample format to give the sound encoder: 16-bit when it takes that, so nothing is lost.
AVSampleFormat soundFormatFor(const AVCodec* codec) {
    const AVSampleFormat preferred[] = {AV_SAMPLE_FMT_S16,  AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S32,
                                        AV_SAMPLE_FMT_S32P, AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT};
    for (const AVSampleFormat format : preferred) {
        for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (*f == format) {
                return format;
            }
        }
    }
    return AV_SAMPLE_FMT_NONE;
}

// Puts `frames` interleaved stereo 16-bit frames into a frame of the encoder's format. 32-bit
// samples keep the 16 bits in the high half; float ones are value / 32768.
void fillSound(const std::int16_t* pcm, int frames, AVFrame* frame) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            const std::int16_t v = pcm[2 * i + c];
            const int index = planar ? i : 2 * i + c;
            std::uint8_t* plane = frame->extended_data[planar ? c : 0];
            switch (format) {
                case AV_SAMPLE_FMT_S16:
                case AV_SAMPLE_FMT_S16P:
                    reinterpret_cast<std::int16_t*>(plane)[index] = v;
                    break;
                case AV_SAMPLE_FMT_S32:
                case AV_SAMPLE_FMT_S32P:
                    reinterpret_cast<std::int32_t*>(plane)[index] = std::int32_t{v} * 65536;
                    break;
                default:
                    reinterpret_cast<float*>(plane)[index] = static_cast<float>(v) / 32768.0f;
                    break;
            }
        }
    }
}

// Fills a yuv420p frame with black (limited range: Y 16, U and V 128).
void fillBlack(AVFrame* frame) {
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? frame->height : (frame->height + 1) / 2;
        const int width = plane == 0 ? frame->width : (frame->width + 1) / 2;
        for (int y = 0; y < rows; ++y) {
            std::memset(
                frame->data[plane] + static_cast<std::ptrdiff_t>(y) * frame->linesize[plane],
                plane == 0 ? 16 : 128, static_cast<size_t>(width));
        }
    }
}

// n rounded to the nearest even number, at least 2 and at most limit (itself even).
int evenWithin(int n, int limit) {
    return std::clamp((n + 1) / 2 * 2, 2, limit);
}

}  // namespace

// The file, the encoders and the muxer of one open writer. Every failing step leaves its reason
// in error_; the writer then drops the whole Output, which removes the new file.
class VideoFileWriter::Output {
  public:
    ~Output() {
        video_.reset();
        sound_.reset();
        scaler_.reset();
        if (format_ != nullptr) {
            avformat_free_context(format_);
        }
        if (io_ != nullptr) {
            av_freep(&io_->buffer);
            avio_context_free(&io_);
        }
    }

    bool open(const QByteArray& path, const Container& container, const Settings& settings);
    bool addPicture(const QImage& picture, std::int64_t index);
    bool write(const float* samples, std::int64_t frames);
    bool close();
    QString error() const { return error_; }

  private:
    bool fail(const QString& error) {
        error_ = error;
        return false;
    }
    bool failed(int result) { return fail(ffmpegError(result)); }
    bool openVideo(const Settings& settings);
    bool openSound(const Container& container, int sampleRate);
    bool openFile(const QByteArray& path);
    bool encodeSound(int frames);
    // Sends a frame (null: the end) to the encoder and hands every packet it gives to the muxer.
    bool encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame);
    bool ioFailed();

    static int writeBytes(void* opaque, std::uint8_t* bytes, int size);
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence);

    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    CodecPtr video_;
    CodecPtr sound_;
    AVStream* videoStream_ = nullptr;
    AVStream* soundStream_ = nullptr;
    FramePtr picture_;
    FramePtr soundFrame_;
    PacketPtr packet_;
    std::unique_ptr<SwsContext, ScalerFree> scaler_;
    int soundFrameSize_ = 0;
    std::vector<std::int16_t> pending_;  // interleaved 16-bit samples not encoded yet
    int pendingFrames_ = 0;
    std::int64_t soundPts_ = 0;

    ReplacingFile file_;
    int ioErrno_ = 0;  // the last failure of writing or seeking the file
    QString error_;
};

bool VideoFileWriter::Output::open(const QByteArray& path, const Container& container,
                                   const Settings& settings) {
    int result = avformat_alloc_output_context2(&format_, nullptr, container.format, nullptr);
    if (result < 0) {
        return failed(result);
    }
    packet_.reset(av_packet_alloc());
    if (!packet_ || !openVideo(settings) || !openSound(container, settings.sampleRate) ||
        !openFile(path)) {
        return error_.isEmpty() ? fail(ReplacingFile::systemError(ENOMEM)) : false;
    }
    AVDictionary* options = nullptr;
    if (io_->seekable == 0 && std::strcmp(container.format, "mp4") == 0) {
        // An MP4 file is completed by seeking back; into a pipe it is written in fragments.
        av_dict_set(&options, "movflags", "frag_keyframe+empty_moov", 0);
    }
    result = avformat_write_header(format_, &options);
    av_dict_free(&options);
    return result < 0 ? (ioFailed() ? false : failed(result)) : !ioFailed();
}

bool VideoFileWriter::Output::openVideo(const Settings& settings) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) {
        return fail(QStringLiteral("no H.264 encoder (libx264) in libavcodec"));
    }
    video_.reset(avcodec_alloc_context3(codec));
    picture_.reset(av_frame_alloc());
    if (!video_ || !picture_) {
        return false;
    }
    AVCodecContext* c = video_.get();
    c->width = settings.size.width();
    c->height = settings.size.height();
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, settings.fps};
    c->framerate = AVRational{settings.fps, 1};
    c->gop_size = kKeyFrameSeconds * settings.fps;
    // What libswscale makes of RGB by default (BT.601, limited range), said so in the stream.
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_SMPTE170M;
    if ((format_->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    // Pictures that stay still for long stretches code well at a fast preset; crf 20 keeps them
    // clean. x264 itself reports only errors, not its statistics; what libavcodec reports follows
    // av_log's level, which is the program's to set.
    av_opt_set(c->priv_data, "preset", "veryfast", 0);
    av_opt_set(c->priv_data, "crf", "20", 0);
    av_opt_set(c->priv_data, "x264-params", "log=0", 0);
    int result = avcodec_open2(c, codec, nullptr);
    if (result < 0) {
        return failed(result);
    }
    videoStream_ = avformat_new_stream(format_, nullptr);
    if (videoStream_ == nullptr) {
        return false;
    }
    result = avcodec_parameters_from_context(videoStream_->codecpar, c);
    if (result < 0) {
        return failed(result);
    }
    videoStream_->time_base = c->time_base;
    videoStream_->avg_frame_rate = c->framerate;
    picture_->format = c->pix_fmt;
    picture_->width = c->width;
    picture_->height = c->height;
    result = av_frame_get_buffer(picture_.get(), 0);
    return result < 0 ? failed(result) : true;
}

bool VideoFileWriter::Output::openSound(const Container& container, int sampleRate) {
    const AVCodec* codec = avcodec_find_encoder_by_name(container.soundCodec);
    if (codec == nullptr) {
        return fail(QStringLiteral("no %1 encoder in libavcodec")
                        .arg(QString::fromUtf8(container.soundCodec)));
    }
    if (codec->supported_samplerates != nullptr) {
        const int* r = codec->supported_samplerates;
        while (*r != 0 && *r != sampleRate) {
            ++r;
        }
        if (*r == 0) {
            return fail(QStringLiteral("the %1 encoder takes no sample rate of %2 Hz")
                            .arg(QString::fromUtf8(container.soundCodec))
                            .arg(sampleRate));
        }
    }
    sound_.reset(avcodec_alloc_context3(codec));
    soundFrame_.reset(av_frame_alloc());
    if (!sound_ || !soundFrame_) {
        return false;
    }
    AVCodecContext* c = sound_.get();
    c->sample_fmt = soundFormatFor(codec);
    c->sample_rate = sampleRate;
    c->time_base = AVRational{1, sampleRate};
    av_channel_layout_default(&c->ch_layout, 2);
    if (codec->id == AV_CODEC_ID_AAC) {
        c->bit_rate = kAacBitRate;
    }
    if ((format_->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    int result = avcodec_open2(c, codec, nullptr);
    if (result < 0) {
        return failed(result);
    }
    soundStream_ = avformat_new_stream(format_, nullptr);
    if (soundStream_ == nullptr) {
        return false;
    }
    result = avcodec_parameters_from_context(soundStream_->codecpar, c);
    if (result < 0) {
        return failed(result);
    }
    soundStream_->time_base = c->time_base;
    const bool anySize = (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    soundFrameSize_ = anySize || c->frame_size <= 0 ? kVariableFrameSize : c->frame_size;
    pending_.assign(static_cast<size_t>(soundFrameSize_) * 2, 0);
    soundFrame_->format = c->sample_fmt;
    soundFrame_->sample_rate = sampleRate;
    soundFrame_->nb_samples = soundFrameSize_;
    result = av_channel_layout_copy(&soundFrame_->ch_layout, &c->ch_layout);
    if (result >= 0) {
        result = av_frame_get_buffer(soundFrame_.get(), 0);
    }
    return result < 0 ? failed(result) : true;
}

bool VideoFileWriter::Output::openFile(const QByteArray& path) {
    if (!file_.open(path)) {
        return fail(file_.error());
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    const bool seekable = ::lseek(file_.fd(), 0, SEEK_CUR) >= 0;
    io_ = buffer == nullptr ? nullptr
                            : avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr,
                                                 &Output::writeBytes, seekable ? &seek : nullptr);
    if (io_ == nullptr) {
        av_free(buffer);
        return false;
    }
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    return true;
}

int VideoFileWriter::Output::writeBytes(void* opaque, std::uint8_t* bytes, int size) {
    auto* self = static_cast<Output*>(opaque);
    int left = size;
    while (left > 0) {
        const ssize_t n = ::write(self->file_.fd(), bytes, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            self->ioErrno_ = n < 0 ? errno : ENOSPC;
            return AVERROR(self->ioErrno_);
        }
        bytes += n;
        left -= static_cast<int>(n);
    }
    return size;
}

std::int64_t VideoFileWriter::Output::seek(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<Output*>(opaque);
    if ((whence & AVSEEK_SIZE) != 0) {
        struct stat st {};
        return ::fstat(self->file_.fd(), &st) == 0 ? st.st_size : AVERROR(errno);
    }
    const off_t position = ::lseek(self->file_.fd(), offset, whence & ~AVSEEK_FORCE);
    if (position < 0) {
        self->ioErrno_ = errno;
        return AVERROR(errno);
    }
    return position;
}

bool VideoFileWriter::Output::ioFailed() {
    if (io_->error >= 0 && ioErrno_ == 0) {
        return false;
    }
    return fail(ioErrno_ != 0 ? ReplacingFile::systemError(ioErrno_) : ffmpegError(io_->error));
}

bool VideoFileWriter::Output::encode(AVCodecContext* codec, AVStream* stream,
                                     const AVFrame* frame) {
    int result = avcodec_send_frame(codec, frame);
    if (result < 0) {
        return failed(result);
    }
    for (;;) {
        result = avcodec_receive_packet(codec, packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return !ioFailed();
        }
        if (result < 0) {
            return failed(result);
        }
        av_packet_rescale_ts(packet_.get(), codec->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        result = av_interleaved_write_frame(format_, packet_.get());
        if (result < 0) {
            return ioFailed() ? false : failed(result);
        }
    }
}

bool VideoFileWriter::Output::addPicture(const QImage& picture, std::int64_t index) {
    int result = av_frame_make_writable(picture_.get());
    if (result < 0) {
        return failed(result);
    }
    AVFrame* frame = picture_.get();
    fillBlack(frame);
    if (!picture.isNull()) {
        // Premultiplied pixels with their alpha ignored are the picture laid over black.
        const QImage source = picture.format() == QImage::Format_RGB32
                                  ? picture
                                  : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        // Even sizes and offsets keep the colour planes (half size) aligned with the picture.
        const QSize fit = source.size().scaled(frame->width, frame->height, Qt::KeepAspectRatio);
        const int width = evenWithin(fit.width(), frame->width);
        const int height = evenWithin(fit.height(), frame->height);
        const int x = (frame->width - width) / 2 / 2 * 2;
        const int y = (frame->height - height) / 2 / 2 * 2;
        scaler_.reset(sws_getCachedContext(scaler_.release(), source.width(), source.height(),
                                           AV_PIX_FMT_0RGB32, width, height, AV_PIX_FMT_YUV420P,
                                           SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!scaler_) {
            return fail(QStringLiteral("cannot scale a picture of %1 x %2")
                            .arg(source.width())
                            .arg(source.height()));
        }
        const std::uint8_t* const sourceData[] = {source.constBits()};
        const int sourceStride[] = {static_cast<int>(source.bytesPerLine())};
        std::uint8_t* const target[] = {
            frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0] + x,
            frame->data[1] + static_cast<std::ptrdiff_t>(y / 2) * frame->linesize[1] + x / 2,
            frame->data[2] + static_cast<std::ptrdiff_t>(y / 2) * frame->linesize[2] + x / 2};
        sws_scale(scaler_.get(), sourceData, sourceStride, 0, source.height(), target,
                  frame->linesize);
    }
    frame->pts = index;
    return encode(video_.get(), videoStream_, frame);
}

bool VideoFileWriter::Output::write(const float* samples, std::int64_t frames) {
    while (frames > 0) {
        const int n =
            static_cast<int>(std::min<std::int64_t>(frames, soundFrameSize_ - pendingFrames_));
        toPcm16(samples, std::int64_t{n} * 2, pending_.data() + std::ptrdiff_t{pendingFrames_} * 2);
        pendingFrames_ += n;
        samples += std::ptrdiff_t{n} * 2;
        frames -= n;
        if (pendingFrames_ == soundFrameSize_ && !encodeSound(soundFrameSize_)) {
            return false;
        }
    }
    return true;
}

bool VideoFileWriter::Output::encodeSound(int frames) {
    const int result = av_frame_make_writable(soundFrame_.get());
    if (result < 0) {
        return failed(result);
    }
    AVFrame* frame = soundFrame_.get();
    frame->nb_samples = frames;
    fillSound(pending_.data(), frames, frame);
    frame->pts = soundPts_;
    soundPts_ += frames;
    pendingFrames_ = 0;
    return encode(sound_.get(), soundStream_, frame);
}

bool VideoFileWriter::Output::close() {
    if (pendingFrames_ > 0) {
        // A short last frame where the encoder takes one; else the frame is filled up with
        // silence, which lengthens the sound by less than one frame.
        const bool shortLast =
            (sound_->codec->capabilities &
             (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) != 0;
        if (!shortLast) {
            std::fill(pending_.begin() + std::ptrdiff_t{pendingFrames_} * 2, pending_.end(), 0);
        }
        if (!encodeSound(shortLast ? pendingFrames_ : soundFrameSize_)) {
            return false;
        }
    }
    if (!encode(sound_.get(), soundStream_, nullptr) ||
        !encode(video_.get(), videoStream_, nullptr)) {
        return false;
    }
    const int result = av_write_trailer(format_);
    if (ioFailed()) {
        return false;
    }
    if (result < 0) {
        return failed(result);
    }
    avio_flush(io_);
    if (ioFailed()) {
        return false;
    }
    return file_.commit() ? true : fail(file_.error());
}

VideoFileWriter::VideoFileWriter(QByteArray nativePath, Settings settings)
    : path_(std::move(nativePath)), settings_(settings) {}

VideoFileWriter::~VideoFileWriter() = default;

bool VideoFileWriter::supports(const QString& path) {
    return containerOf(path).has_value();
}

bool VideoFileWriter::fail(const QString& error) {
    error_ = error;
    output_.reset();
    return false;
}

bool VideoFileWriter::open() {
    // The encoders report their settings and statistics through the library's log; a render's
    // terminal is for the render's own messages.
    av_log_set_level(AV_LOG_ERROR);
    output_.reset();
    pictures_ = 0;
    const std::optional<Container> container = containerOf(QFile::decodeName(path_));
    if (!container) {
        return fail(QStringLiteral("the file name ends in neither .mp4 nor .mkv"));
    }
    const QSize size = settings_.size;
    if (size.width() <= 0 || size.height() <= 0 || size.width() % 2 != 0 ||
        size.height() % 2 != 0) {
        return fail(QStringLiteral("the picture's sides must be even and above 0, not %1 x %2")
                        .arg(size.width())
                        .arg(size.height()));
    }
    if (settings_.fps <= 0 || settings_.fps > kMaxFps || settings_.sampleRate <= 0) {
        return fail(QStringLiteral("the frame rate must be 1 to %1 and the sample rate above 0")
                        .arg(kMaxFps));
    }
    output_ = std::make_unique<Output>();
    return output_->open(path_, *container, settings_) ? true : fail(output_->error());
}

bool VideoFileWriter::write(const float* samples, std::int64_t frames) {
    if (!output_) {
        return false;
    }
    return output_->write(samples, frames) ? true : fail(output_->error());
}

bool VideoFileWriter::addPicture(const QImage& picture) {
    if (!output_) {
        return false;
    }
    if (!output_->addPicture(picture, pictures_)) {
        return fail(output_->error());
    }
    ++pictures_;
    return true;
}

std::int64_t VideoFileWriter::picturesWritten() const {
    return pictures_;
}

bool VideoFileWriter::close() {
    if (!output_) {
        return false;
    }
    if (!output_->close()) {
        return fail(output_->error());
    }
    output_.reset();
    return true;
}

}  // namespace carvel::media
