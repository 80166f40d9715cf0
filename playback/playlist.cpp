#include "playback/playlist.h"

namespace carvel {

void Playlist::append(Entry entry) {
    entries_.push_back(std::move(entry));
    changed();
}

void Playlist::insert(qsizetype index, Entry entry) {
    if (index < 0 || index > count()) {
        return;
    }
    entries_.insert(entries_.begin() + index, std::move(entry));
    if (current_ >= index) {
        ++current_;
    }
    changed();
}

void Playlist::removeAt(qsizetype index) {
    if (index < 0 || index >= count()) {
        return;
    }
    entries_.erase(entries_.begin() + index);
    if (current_ == index) {
        current_ = -1;
    } else if (current_ > index) {
        --current_;
    }
    changed();
}

void Playlist::clear() {
    entries_.clear();
    current_ = -1;
    changed();
}

void Playlist::setCurrent(qsizetype index) {
    if (index < -1 || index >= count()) {
        return;
    }
    current_ = index;
    changed();
}

void Playlist::changed() {
    if (listener_) {
        listener_();
    }
}

}  // namespace carvel
