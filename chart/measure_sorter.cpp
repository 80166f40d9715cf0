#include "chart/measure_sorter.h"

#include <algorithm>
#include <array>

namespace carvel {

MeasureSorter::MeasureSorter(std::vector<Event>& events)
    : events_(events), ranks_(event_keys::tailRanks()), keys_(kChunk) {}

void MeasureSorter::startLine(std::int64_t start, int channel) {
    const std::uint8_t place = ranks_.channelPlace[static_cast<size_t>(channel)];
    channelBits_ = std::uint32_t{place} << 8;
    lineStart_ = start;
    if (!inOrder_) {
        return;
    }
    returning_ = start < start_ && (used_ > 0 || start <= lastPlaced_);
    if (returning_) {
        return;
    }
    if (start != start_) {
        placeHeld();
        start_ = start;
    }
    runs_.push_back({static_cast<std::uint32_t>(used_), 0, place});
}

void MeasureSorter::keep(size_t kept) {
    if (inOrder_ && returning_) {
        if (kept == 0) {
            return;
        }
        // The held keys are sorted in place, where the line's keys lie: they move out first.
        std::array<std::uint32_t, kChunk> line;
        std::copy_n(keys_.data() + used_, kept, line.begin());
        placeHeld();
        inOrder_ = false;
        append(line.data(), kept, lineStart_);
        return;
    }
    if (!inOrder_) {
        append(keys_.data(), kept, lineStart_);
        return;
    }
    used_ += kept;
    if (used_ > event_keys::kMaxKeyed) {
        // sortEvents sorts a measure this large on its own; the keys would only take memory.
        append(keys_.data(), used_, start_);
        used_ = 0;
        runs_.clear();
        inOrder_ = false;
        return;
    }
    runs_.back().size += static_cast<std::uint32_t>(kept);
    if (keys_.size() < used_ + kChunk) {
        keys_.resize(std::max(2 * keys_.size(), used_ + kChunk));
    }
}

void MeasureSorter::placeHeld() {
    if (used_ != 0) {
        const std::uint32_t* sorted = event_keys::sortLineKeys(keys_, used_, runs_, scratch_);
        append(sorted, used_, start_);
        lastPlaced_ = start_;
        used_ = 0;
    }
    runs_.clear();
}

void MeasureSorter::append(const std::uint32_t* keys, size_t n, std::int64_t start) {
    if (n == 0) {
        return;
    }
    if (events_.capacity() - events_.size() < n) {
        events_.reserve(std::max(2 * events_.capacity(), events_.size() + n));
    }
    // Through a chunk in the cache: the table takes whole chunks without filling its room first.
    std::array<Event, kChunk> chunk;
    for (size_t done = 0; done < n;) {
        const size_t size = std::min(kChunk, n - done);
        for (size_t i = 0; i < size; ++i) {
            chunk[i] = event_keys::eventOfKey(keys[done + i], start, ranks_);
        }
        events_.insert(events_.end(), chunk.begin(),
                       chunk.begin() + static_cast<std::ptrdiff_t>(size));
        done += size;
    }
    lastPlaced_ = std::max(lastPlaced_, start);
}

}  // namespace carvel
