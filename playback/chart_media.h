#pragma once

#include <vector>

#include "media/picture.h"
#include "media/sound.h"

namespace carvel {

// The sounds and pictures decoded for the open chart, by index. An index whose sound or picture was
// never defined, could not be loaded or has been released is simply absent.
struct ChartMedia {
    std::vector<media::SoundPtr> sounds;
    std::vector<media::PicturePtr> pictures;
    media::PicturePtr stage;  // the title picture (#STAGEFILE)

    media::SoundPtr sound(long long index) const;
    media::PicturePtr picture(long long index) const;
};

}  // namespace carvel
