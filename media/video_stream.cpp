#include "media/video_stream.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <atomic>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>

#include "media/video_decoder.h"

namespace carvel::media {
namespace {

// How much later a real-time caller asks again while the next frame is still being decoded.
constexpr double kRetryMs = 4;

struct AVFrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

}  // namespace

std::optional<VideoInfo> probeVideo(const QByteArray& nativePath) {
    VideoDecoder decoder(nativePath);
    if (!decoder.isOpen()) {
        return std::nullopt;
    }
    return VideoInfo{decoder.size(), decoder.durationMs()};
}

// The decoding thread and what it shares with the owner. Invariant under mutex_: ahead_ holds
// only frames later than wantMs_, in time order, at most kFramesAhead of them, all of the current
// seek (generation_); current_ is the frame at wantMs_.
class VideoStream::Worker {
  public:
    Worker(const QByteArray& nativePath, QSize size, Mode mode)
        : path_(nativePath), mode_(mode), size_(size), thread_([this] { run(); }) {}

    ~Worker() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        ready_.notify_all();
        thread_.join();
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    QImage frameAt(double ms) {
        std::unique_lock lock(mutex_);
        advance(lock, ms);
        return current_;
    }

    double nextChangeAfter(double ms) {
        std::unique_lock lock(mutex_);
        advance(lock, ms);
        if (!ahead_.empty()) {
            return ahead_.front().ms;
        }
        if (ended_) {
            return std::numeric_limits<double>::infinity();
        }
        return ms + kRetryMs;
    }

    void seek(double ms) {
        {
            std::lock_guard lock(mutex_);
            if (failed_) {
                return;
            }
            ++generation_;
            seekTo_ = ms;
            wantMs_ = ms;
            ahead_.clear();
            current_ = QImage();
            ended_ = false;
        }
        wake_.notify_all();
    }

    void setSize(QSize size) {
        std::lock_guard lock(mutex_);
        size_ = size;
    }

    bool failed() const {
        std::lock_guard lock(mutex_);
        return failed_;
    }

  private:
    struct Frame {
        double ms;
        QImage image;
    };

    // Moves the position to ms; offline, first waits until a frame after ms is there or the
    // stream has ended.
    void advance(std::unique_lock<std::mutex>& lock, double ms) {
        wantMs_ = std::max(wantMs_, ms);
        for (;;) {
            bool moved = false;
            while (!ahead_.empty() && ahead_.front().ms <= wantMs_) {
                current_ = std::move(ahead_.front().image);
                ahead_.pop_front();
                moved = true;
            }
            if (moved) {
                wake_.notify_one();
            }
            if (mode_ == Mode::RealTime || ended_ || stop_ || !ahead_.empty()) {
                return;
            }
            ready_.wait(lock);
        }
    }

    // Adds a decoded frame of generation gen, unless a seek has made it stale.
    void push(unsigned gen, double ms, QImage image) {
        {
            std::lock_guard lock(mutex_);
            if (gen != generation_) {
                return;
            }
            if (ms <= wantMs_) {
                current_ = std::move(image);
            } else {
                ahead_.push_back({ms, std::move(image)});
            }
        }
        ready_.notify_all();
    }

    void run() {
        VideoDecoder decoder(path_, &stop_);
        if (!decoder.isOpen()) {
            {
                std::lock_guard lock(mutex_);
                failed_ = true;
                ended_ = true;
            }
            ready_.notify_all();
            return;
        }
        FrameScaler scaler;
        // A decoded frame that a later one may still replace before anybody sees it, so that
        // catching up after a seek or an offline jump scales only the frames that are shown.
        std::unique_ptr<AVFrame, AVFrameDeleter> held(av_frame_alloc());
        double heldMs = 0;
        bool seeking = false;
        for (;;) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] {
                return stop_ || seekTo_.has_value() ||
                       (!ended_ && ahead_.size() < static_cast<size_t>(kFramesAhead));
            });
            if (stop_) {
                return;
            }
            if (seekTo_) {
                const double to = *seekTo_;
                seekTo_.reset();
                lock.unlock();
                av_frame_unref(held.get());
                decoder.seek(to);
                seeking = true;
                continue;
            }
            const unsigned gen = generation_;
            const double want = wantMs_;
            const QSize size = size_;
            lock.unlock();
            decoder.setShownSize(size);

            const bool decoded = held != nullptr && decoder.next();
            if (!decoded) {
                if (held != nullptr && held->buf[0] != nullptr) {
                    push(gen, heldMs, scaler.scale(*held, size));
                    av_frame_unref(held.get());
                }
                {
                    std::lock_guard endLock(mutex_);
                    if (gen == generation_) {
                        ended_ = true;
                        failed_ = decoder.failed();
                    }
                }
                ready_.notify_all();
                continue;
            }
            const double ms = decoder.frameMs();
            if ((seeking || mode_ == Mode::Offline) && ms <= want) {
                av_frame_unref(held.get());
                av_frame_move_ref(held.get(), decoder.frame());
                heldMs = ms;
                continue;
            }
            seeking = false;
            if (held->buf[0] != nullptr) {
                push(gen, heldMs, scaler.scale(*held, size));
                av_frame_unref(held.get());
            }
            push(gen, ms, scaler.scale(*decoder.frame(), size));
        }
    }

    const QByteArray path_;
    const Mode mode_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;   // the decoder: room ahead, a seek or the end of the stream
    std::condition_variable ready_;  // offline callers: a new frame or the end
    QSize size_;
    double wantMs_ = -std::numeric_limits<double>::infinity();
    std::optional<double> seekTo_;
    unsigned generation_ = 0;
    QImage current_;
    std::deque<Frame> ahead_;
    bool ended_ = false;
    bool failed_ = false;
    std::atomic<bool> stop_{false};

    std::thread thread_;  // last: it starts once everything above is ready
};

VideoStream::VideoStream(const QByteArray& nativePath, QSize size, Mode mode)
    : worker_(std::make_unique<Worker>(nativePath, size, mode)) {}

VideoStream::~VideoStream() = default;

QImage VideoStream::frameAt(double ms) {
    return worker_->frameAt(ms);
}

double VideoStream::nextChangeAfter(double ms) {
    return worker_->nextChangeAfter(ms);
}

void VideoStream::seek(double ms) {
    worker_->seek(ms);
}

void VideoStream::setSize(QSize size) {
    worker_->setSize(size);
}

bool VideoStream::failed() const {
    return worker_->failed();
}

}  // namespace carvel::media
