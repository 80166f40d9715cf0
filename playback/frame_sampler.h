#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <functional>

namespace carvel {

// Turns the picture area's changes into frames at a fixed rate: frame k shows the picture that
// stands at k / fps seconds, a change at exactly that time included. Before the first change the
// picture is black.
class FrameSampler {
  public:
    // Hands over the next frame; false gives the render up.
    using Emit = std::function<bool(const QImage& frame)>;

    FrameSampler(int fps, QSize size, Emit emit);

    // The picture from dueMs (ms from the render's start) on; dueMs never goes back. Emits the
    // frames before dueMs with the picture before it. False once a frame was refused.
    bool change(const QImage& picture, double dueMs);
    // Emits the frames before ms: no change can come before it any more. False once a frame
    // was refused.
    bool emitBefore(double ms);
    // Emits the frames before endMs, and at least one. False once a frame was refused.
    bool finish(double endMs);

    std::int64_t frames() const { return next_; }

  private:
    int fps_;
    Emit emit_;
    QImage current_;
    std::int64_t next_ = 0;  // the number of the next frame to emit
    bool failed_ = false;
};

}  // namespace carvel
