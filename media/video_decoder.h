#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/regular_file.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SwsContext;

namespace carvel::media {

// The largest picture decoded at full size; a larger stream is decoded at a reduced size (lowres)
// where its codec can, and refused otherwise.
inline constexpr int kVideoMaxWidth = 1920;
inline constexpr int kVideoMaxHeight = 1088;

// The video stream of one file, demuxed and decoded frame by frame on the caller's thread. The
// constructor opens the file within kVideoOpenTimeoutMs and kVideoProbeBytes and decodes the first
// frame, which next() then gives first. Each instance is independent of the others.
class VideoDecoder {
  public:
    // stop, when given, ends any read at once when it turns true (the owner is going away).
    explicit VideoDecoder(const QByteArray& nativePath, const std::atomic<bool>* stop = nullptr);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    bool isOpen() const { return open_; }
    // The stream's picture size as the container gives it.
    QSize size() const { return size_; }
    // 0 when the file does not say.
    double durationMs() const { return durationMs_; }

    // Decodes the next frame into frame(), its time in frameMs(): milliseconds from the first
    // frame, never less than the previous frame's. False at the end of the stream, or when
    // decoding has failed for good (failed()).
    bool next();
    AVFrame* frame() { return frame_; }
    double frameMs() const { return frameMs_; }
    bool failed() const { return failed_; }

    // The size that frames are shown at. Well below the stream's own size the decoder skips its
    // in-loop filter: what it smooths is lost in the scaling, and it costs a third of decoding.
    void setShownSize(QSize size);

    // Moves back to the key frame at or before ms (or to the start, when the file cannot seek
    // there): next() goes on from it.
    void seek(double ms);

    // Called by libavformat during every blocking step.
    bool interrupted() const;

  private:
    bool open(const QByteArray& nativePath);
    bool findStreamInfo();
    bool openDecoder();
    bool decodeOne();
    void stamp();
    double toMs(std::int64_t ts) const;
    void fail();

    RegularFile file_;
    std::int64_t filePos_ = 0;
    // Bytes read so far, against the limit while opening: a container whose index lies at its
    // end (an MP4 written without moving its index up front) is read there, not up to there.
    std::int64_t bytesRead_ = 0;
    std::int64_t readLimit_ = 0;
    const std::atomic<bool>* stop_;
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();

    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int streamIndex_ = -1;
    struct {
        int num = 1, den = 1;
    } timeBase_;  // the stream's, in seconds

    bool open_ = false;
    bool failed_ = false;
    bool draining_ = false;
    bool firstPending_ = false;  // the frame decoded while opening is next()'s first answer
    bool haveFirst_ = false;
    bool restarted_ = false;  // a seek: the next time stamp may be lower than the last
    double firstMs_ = 0;      // the first frame's time stamp, in milliseconds
    double lastMs_ = 0;       // the previous frame's time stamp, in milliseconds
    double frameMs_ = 0;
    int badPackets_ = 0;
    QSize size_;
    double durationMs_ = 0;

    static int readPacket(void* opaque, std::uint8_t* buf, int size);
    static std::int64_t seekPacket(void* opaque, std::int64_t offset, int whence);
    static int interruptCallback(void* opaque);
};

// Scales frames into a picture of a target size in kPictureFormat, with their aspect kept (the
// sample aspect ratio counted) and centred on black. Reuses its scaler while the sizes stay.
class FrameScaler {
  public:
    FrameScaler() = default;
    ~FrameScaler();
    FrameScaler(const FrameScaler&) = delete;
    FrameScaler& operator=(const FrameScaler&) = delete;

    // Null for an empty target or a frame that cannot be converted.
    QImage scale(const AVFrame& frame, QSize target);

  private:
    SwsContext* sws_ = nullptr;
};

}  // namespace carvel::media
