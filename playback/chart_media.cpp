#include "playback/chart_media.h"

namespace carvel {

namespace {

template <typename T>
T at(const std::vector<T>& items, long long index) {
    if (index < 0 || static_cast<unsigned long long>(index) >= items.size()) {
        return nullptr;
    }
    return items[static_cast<size_t>(index)];
}

}  // namespace

media::SoundPtr ChartMedia::sound(long long index) const {
    return at(sounds, index);
}

media::PicturePtr ChartMedia::picture(long long index) const {
    return at(pictures, index);
}

VideoClipPtr ChartMedia::video(long long index) const {
    return at(videos, index);
}

}  // namespace carvel
