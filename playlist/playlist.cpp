#include "playlist/playlist.h"

namespace carvel {

bool holdsLineBreak(const QString& path) {
    return path.contains(u'\r') || path.contains(u'\n');
}

void Playlist::append(const Entry& entry) {
    insert(count(), entry);
}

void Playlist::appendAll(EntryStore entries) {
    if (entries.empty()) {
        return;
    }
    const qsizetype first = count();
    if (observer_) {
        observer_->aboutToInsert(first, first + static_cast<qsizetype>(entries.size()) - 1);
    }
    entries_.append(std::move(entries));
    if (observer_) {
        observer_->inserted();
    }
}

void Playlist::insert(qsizetype index, const Entry& entry) {
    if (index < 0 || index > count()) {
        return;
    }
    if (observer_) {
        observer_->aboutToInsert(index, index);
    }
    entries_.insert(static_cast<size_t>(index), entry);
    if (current_ >= index) {
        ++current_;
    }
    if (observer_) {
        observer_->inserted();
    }
}

void Playlist::removeAt(qsizetype index) {
    if (index < 0 || index >= count()) {
        return;
    }
    if (observer_) {
        observer_->aboutToRemove(index);
    }
    entries_.erase(static_cast<size_t>(index));
    if (current_ == index) {
        current_ = -1;
    } else if (current_ > index) {
        --current_;
    }
    if (observer_) {
        observer_->removed();
    }
}

void Playlist::move(qsizetype from, qsizetype to) {
    if (from < 0 || from >= count() || to < 0 || to >= count() || from == to) {
        return;
    }
    if (observer_) {
        observer_->aboutToMove(from, to);
    }
    entries_.move(static_cast<size_t>(from), static_cast<size_t>(to));
    if (current_ == from) {
        current_ = to;
    } else if (from < current_ && current_ <= to) {
        --current_;
    } else if (to <= current_ && current_ < from) {
        ++current_;
    }
    if (observer_) {
        observer_->moved();
    }
}

void Playlist::clear() {
    if (observer_) {
        observer_->aboutToClear();
    }
    entries_.clear();
    current_ = -1;
    if (observer_) {
        observer_->cleared();
    }
}

void Playlist::setCurrent(qsizetype index) {
    if (index < -1 || index >= count()) {
        return;
    }
    current_ = index;
}

std::optional<QString> Playlist::stepForward() {
    if (entries_.empty()) {
        return std::nullopt;
    }
    setCurrent(current_ == count() - 1 ? 0 : current_ + 1);
    return at(current_).path;
}

std::optional<QString> Playlist::peekForward() const {
    if (entries_.empty()) {
        return std::nullopt;
    }
    return at(current_ == count() - 1 ? 0 : current_ + 1).path;
}

std::optional<QString> Playlist::stepBack() {
    if (entries_.empty()) {
        return std::nullopt;
    }
    setCurrent(current_ <= 0 ? count() - 1 : current_ - 1);
    return at(current_).path;
}

}  // namespace carvel
