#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <cstdint>
#include <memory>
#include <optional>

namespace carvel::media {

// Bounds on opening a video file, for the probe and for a playing stream alike: a damaged or
// hostile file costs at most this much before it is given up.
inline constexpr int kVideoOpenTimeoutMs = 1000;
inline constexpr std::int64_t kVideoProbeBytes = 4 << 20;

// What a load learns of a video file without playing it.
struct VideoInfo {
    QSize size;             // the stream's picture size
    double durationMs = 0;  // 0 when the file does not say
};

// Opens nativePath within the bounds above, finds its video stream, opens its decoder and decodes
// its first frame. Nullopt when any step fails: the file is no video that can be played. Safe to
// call from several threads at once.
std::optional<VideoInfo> probeVideo(const QByteArray& nativePath);

// One playing video. It opens and decodes on a thread of its own, a few frames (kFramesAhead)
// ahead of the last frame asked for, each frame scaled to fit the target size with its aspect
// kept, centred on black, in kPictureFormat. Times are milliseconds from the stream's first frame,
// taken from the frames' time stamps, so a variable or wrongly declared frame rate changes nothing.
// All methods are for one thread (the owner's); the destructor stops the decoding thread and
// releases the decoder.
class VideoStream {
  public:
    // RealTime never waits: a frame not decoded yet is not shown yet. Offline waits for every
    // answer, so that the same file gives the same frames every time (for rendering).
    enum class Mode { RealTime, Offline };

    static constexpr int kFramesAhead = 4;

    // Starts opening the file and returns at once.
    VideoStream(const QByteArray& nativePath, QSize size, Mode mode);
    ~VideoStream();
    VideoStream(const VideoStream&) = delete;
    VideoStream& operator=(const VideoStream&) = delete;

    // The frame to show at ms: the last frame whose time is at most ms; after the last frame, the
    // last frame. A null image before the first frame is ready, or when the file could not be
    // opened or decoded. ms only goes back through seek().
    QImage frameAt(double ms);
    // The time after ms at which frameAt's answer changes next; +infinity once the video has ended
    // or failed. In real time, while the next frame is still being decoded, a moment later than ms
    // (at most a few milliseconds) at which to ask again.
    double nextChangeAfter(double ms);
    // Moves to ms: frameAt answers from there on, with times from ms onwards.
    void seek(double ms);
    // Frames decoded from now on are scaled to size.
    void setSize(QSize size);
    // The file could not be opened, or decoding it failed for good.
    bool failed() const;

  private:
    class Worker;
    std::unique_ptr<Worker> worker_;
};

}  // namespace carvel::media
