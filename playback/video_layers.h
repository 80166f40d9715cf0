#pragma once

#include <QSize>
#include <array>
#include <memory>

#include "media/video_stream.h"
#include "playback/chart_media.h"
#include "playback/compositor.h"

namespace carvel {

// The videos playing on the base and layer surfaces of the picture area. A video plays from the
// clock reading at which its event fell due: at every later reading it shows the stream's frame
// for the time elapsed since then, so its frames keep to the same clock as the sounds. Streams are
// opened when a video starts and released when it is replaced, stopped or the run ends.
class VideoLayers {
  public:
    using Mode = media::VideoStream::Mode;

    // Offline for a render: every frame is waited for, so a render is the same every time.
    void setMode(Mode mode) { mode_ = mode; }
    // The size that frames are scaled to: the compositor's.
    void setSize(QSize size);

    // Plays clip on a surface from clock reading startMs; nowMs is the reading now, later than
    // startMs after a jump of the position. The clip already on the surface restarts.
    void play(bool layer, const VideoClipPtr& clip, double startMs, double nowMs);
    // The surface shows a picture again.
    void stop(bool layer);
    void stopAll();
    bool active() const { return surfaces_[0].stream || surfaces_[1].stream; }

    // Puts each playing video's frame for reading nowMs on its compositor surface (what was there
    // stays until the first frame is ready; a video that failed leaves it black); true when a
    // surface changed.
    bool showFrames(double nowMs, Compositor& compositor);
    // The reading after nowMs at which a surface changes next; nullopt when none will.
    std::optional<double> nextChangeMs(double nowMs);

  private:
    struct Surface {
        VideoClipPtr clip;
        std::unique_ptr<media::VideoStream> stream;
        double startMs = 0;
        qint64 shownKey = -1;  // the cache key of the frame on the surface; -1: nothing yet
    };

    Mode mode_ = Mode::RealTime;
    QSize size_{256, 256};
    std::array<Surface, 2> surfaces_;  // base, layer
};

}  // namespace carvel
