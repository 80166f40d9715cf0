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

bool flagged(const std::vector<bool>& flags, long long index) {
    return index >= 0 && static_cast<unsigned long long>(index) < flags.size() &&
           flags[static_cast<size_t>(index)];
}

template <typename T>
void put(std::vector<T>& items, int index, T item) {
    if (static_cast<size_t>(index) >= items.size()) {
        items.resize(static_cast<size_t>(index) + 1);
    }
    items[static_cast<size_t>(index)] = std::move(item);
}

void clear(std::vector<bool>& flags, int index) {
    if (static_cast<size_t>(index) < flags.size()) {
        flags[static_cast<size_t>(index)] = false;
    }
}

}  // namespace

bool ChartMedia::soundPending(long long index) const {
    return flagged(pendingSounds, index);
}

bool ChartMedia::picturePending(long long index) const {
    return flagged(pendingPictures, index);
}

void place(ChartMedia& media, MediaItem item) {
    if (item.index < 0) {
        return;
    }
    switch (item.kind) {
        case MediaItem::Kind::Sound:
            put(media.sounds, item.index, std::move(item.sound));
            clear(media.pendingSounds, item.index);
            break;
        case MediaItem::Kind::Picture:
            put(media.pictures, item.index, std::move(item.picture));
            put(media.videos, item.index, std::move(item.video));
            clear(media.pendingPictures, item.index);
            break;
        case MediaItem::Kind::Stage:
            media.stage = std::move(item.picture);
            media.stagePending = false;
            break;
    }
}

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
