#include "playlist/playlist.h"

namespace carvel {

bool holdsLineBreak(const QString& path) {
    return path.contains(u'\r') || path.contains(u'\n');
}

void Playlist::append(Entry entry) {
    entries_.push_back(std::move(entry));
    changed(true);
}

void Playlist::appendAll(std::vector<Entry> entries) {
    if (entries.empty()) {
        return;
    }
    entries_.insert(entries_.end(), std::make_move_iterator(entries.begin()),
                    std::make_move_iterator(entries.end()));
    changed(true);
}

void Playlist::insert(qsizetype index, Entry entry) {
    if (index < 0 || index > count()) {
        return;
    }
    entries_.insert(entries_.begin() + index, std::move(entry));
    if (current_ >= index) {
        ++current_;
    }
    changed(true);
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
    changed(true);
}

void Playlist::clear() {
    entries_.clear();
    current_ = -1;
    changed(true);
}

void Playlist::setCurrent(qsizetype index) {
    if (index < -1 || index >= count()) {
        return;
    }
    current_ = index;
    changed(false);
}

std::optional<QString> Playlist::stepForward() {
    if (entries_.empty()) {
        return std::nullopt;
    }
    setCurrent(current_ == count() - 1 ? 0 : current_ + 1);
    return at(current_).path;
}

std::optional<QString> Playlist::stepBack() {
    if (entries_.empty()) {
        return std::nullopt;
    }
    setCurrent(current_ <= 0 ? count() - 1 : current_ - 1);
    return at(current_).path;
}

void Playlist::changed(bool entriesChanged) {
    if (listener_) {
        listener_(entriesChanged);
    }
}

}  // namespace carvel
