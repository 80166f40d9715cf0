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

    // While a load decodes as the chart plays: the indices whose files are still being decoded
    // (a picture index for its picture or video). An index not pending holds what it will hold.
    std::vector<bool> pendingSounds;
    std::vector<bool> pendingPictures;
    bool stagePending = false;

    media::SoundPtr sound(long long index) const;
    media::PicturePtr picture(long long index) const;
    VideoClipPtr video(long long index) const;
    bool soundPending(long long index) const;
    bool picturePending(long long index) const;
};

// What a load that plays as it decodes hands over for one index once all its lines are decoded:
// the item that the index then holds (none when every line failed).
struct MediaItem {
    enum class Kind { Sound, Picture, Stage };
    Kind kind = Kind::Sound;
    int index = 0;
    media::SoundPtr sound;
    media::PicturePtr picture;  // Picture (when not a video) and Stage
    VideoClipPtr video;
};

// Stores item in media at its index, replacing what stood there, and clears its pending mark.
void place(ChartMedia& media, MediaItem item);

}  // namespace carvel
