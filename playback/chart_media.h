#pragma once

#include <QByteArray>
#include <memory>
#include <vector>

#include "media/picture.h"
#include "media/sound.h"
#include "media/video_stream.h"

namespace carvel {

// A video file that the load has probed; it is opened to play when its event falls due.
struct VideoClip {
    QByteArray path;  // the file's name on disk
    media::VideoInfo info;
};
using VideoClipPtr = std::shared_ptr<const VideoClip>;

// The sounds and pictures decoded for the open chart, by index. An index whose sound or picture was
// never defined, could not be loaded or has been released is simply absent. A picture index holds
// a picture or a video, never both.
struct ChartMedia {
    std::vector<media::SoundPtr> sounds;
    std::vector<media::PicturePtr> pictures;
    std::vector<VideoClipPtr> videos;  // by picture index (full reading only)
    media::PicturePtr stage;           // the title picture (#STAGEFILE)

    media::SoundPtr sound(long long index) const;
    media::PicturePtr picture(long long index) const;
    VideoClipPtr video(long long index) const;
};

}  // namespace carvel
