#include "chart/bar_length_pass.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "chart/text_helpers.h"

namespace carvel {

namespace {

struct BarEntry {
    double start = 0;  // B: first tick of the measure
    double ratio = 0;  // R
    bool used = false;
};

// Rounds half up and keeps the result within a range that formats and converts safely.
std::int64_t roundTick(double x) {
    x = std::clamp(x, -1e15, 1e15);
    return static_cast<std::int64_t>(std::floor(x + 0.5));
}

std::string restAfterPosition(const std::string& text) {
    const size_t comma = text.find(',');
    return comma == std::string::npos ? std::string() : text.substr(comma);
}

// The list as ids into a stable pool of texts, so that inserting a marker moves 4-byte ids only.
// The examined prefix [0, examinedEnd] keeps a running maximum (prefixMax), the unexamined rest is
// sorted; together they find "the first entry that sorts after s" in logarithmic time.
class MarkerList {
  public:
    explicit MarkerList(std::vector<std::string>&& events) : texts_(std::move(events)) {
        order_.resize(texts_.size());
        for (size_t i = 0; i < order_.size(); ++i) {
            order_[i] = static_cast<std::uint32_t>(i);
        }
        prefixMax_.reserve(texts_.size());
        eventCount_ = texts_.size();
    }

    size_t eventCount() const { return eventCount_; }
    const std::string& text(std::uint32_t id) const {
        return id < eventCount_ ? texts_[id] : markers_[id - eventCount_];
    }

    // Makes event `id` (the next original event in list order) the end of the examined prefix.
    void examine(std::uint32_t id) {
        while (order_[cursor_] != id) {
            extendPrefix(cursor_++);
        }
        extendPrefix(cursor_);
        current_ = cursor_++;
    }

    void rewriteCurrent(std::string text) {
        texts_[order_[current_]] = std::move(text);
        prefixMax_[current_] = order_[current_];
        if (current_ > 0 && !(this->text(prefixMax_[current_ - 1]) < texts_[order_[current_]])) {
            prefixMax_[current_] = prefixMax_[current_ - 1];
        }
    }

    void insertMarker(std::string text) {
        const auto id = static_cast<std::uint32_t>(eventCount_ + markers_.size());
        markers_.push_back(std::move(text));
        const std::string& s = markers_.back();
        auto after = [&](const std::string& value, std::uint32_t other) {
            return value < this->text(other);
        };
        auto pmEnd = prefixMax_.begin() + static_cast<std::ptrdiff_t>(current_ + 1);
        auto pm = std::upper_bound(prefixMax_.begin(), pmEnd, s, after);
        if (pm != pmEnd) {
            const auto at = pm - prefixMax_.begin();
            order_.insert(order_.begin() + at, id);
            prefixMax_.insert(pm, id);
            ++current_;
            ++cursor_;
            return;
        }
        auto rest = std::upper_bound(order_.begin() + static_cast<std::ptrdiff_t>(cursor_),
                                     order_.end(), s, after);
        order_.insert(rest, id);
    }

    // The final list. Events keep their relative order and only move towards the end, so filling
    // the array from the back never overwrites an event before it has moved.
    std::vector<std::string> release() {
        texts_.resize(order_.size());
        for (size_t k = order_.size(); k-- > 0;) {
            const std::uint32_t id = order_[k];
            if (id < eventCount_) {
                if (id != k) {
                    texts_[k] = std::move(texts_[id]);
                }
            } else {
                texts_[k] = std::move(markers_[id - eventCount_]);
            }
        }
        return std::move(texts_);
    }

  private:
    void extendPrefix(size_t index) {
        const std::uint32_t id = order_[index];
        if (prefixMax_.size() <= index) {
            prefixMax_.resize(index + 1);
        }
        prefixMax_[index] = id;
        if (index > 0 && !(text(prefixMax_[index - 1]) < text(id))) {
            prefixMax_[index] = prefixMax_[index - 1];
        }
    }

    std::vector<std::string> texts_;    // the events, ids 0 .. eventCount_ - 1
    std::vector<std::string> markers_;  // ids eventCount_ ...
    std::vector<std::uint32_t> order_;
    std::vector<std::uint32_t> prefixMax_;
    size_t eventCount_ = 0;
    size_t cursor_ = 0;   // index in order_ after the examined prefix
    size_t current_ = 0;  // index in order_ of the event being examined
};

}  // namespace

void applyBarLengths(ChartState& state) {
    const qsizetype entryCount = state.strBarLen.size() - 1;  // the last element is the spare
    std::vector<BarEntry> entries;
    std::vector<qsizetype> entryIndex;
    for (qsizetype i = 0; i < entryCount; ++i) {
        const QString& entry = state.strBarLen.at(i);
        const qsizetype comma = entry.indexOf(u',');
        BarEntry e;
        e.start = leadingNumber(QStringView(entry).left(comma < 0 ? entry.size() : comma));
        e.ratio = comma < 0 ? 0 : leadingNumber(QStringView(entry).sliced(comma + 1));
        e.used = e.start == -1;
        entries.push_back(e);
        entryIndex.push_back(i);
    }
    if (entries.empty()) {
        return;
    }
    // Entries by measure start. Positions in a sorted list only grow, so the entries whose measure
    // holds the event (start in (A - 192, A]) form a window that slides forward, and an entry
    // expires (gets its marker) at the first event more than 192 ticks past its start.
    std::vector<size_t> byStart;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].used) {
            byStart.push_back(i);
        }
    }
    std::stable_sort(byStart.begin(), byStart.end(),
                     [&](size_t x, size_t y) { return entries[x].start < entries[y].start; });
    size_t windowBegin = 0;
    size_t windowEnd = 0;
    size_t sweepNext = 0;

    MarkerList list(std::move(state.List2));
    std::vector<size_t> relevant;
    for (size_t k = 0; k < list.eventCount(); ++k) {
        const auto id = static_cast<std::uint32_t>(k);
        list.examine(id);
        const double a = leadingNumber(std::string_view(list.text(id)).substr(0, 6));
        relevant.clear();
        while (windowEnd < byStart.size() && entries[byStart[windowEnd]].start <= a) {
            ++windowEnd;
        }
        while (windowBegin < windowEnd && entries[byStart[windowBegin]].start <= a - 192) {
            ++windowBegin;
        }
        for (size_t w = windowBegin; w < windowEnd; ++w) {
            relevant.push_back(byStart[w]);
        }
        while (sweepNext < byStart.size() && entries[byStart[sweepNext]].start + 192 < a) {
            relevant.push_back(byStart[sweepNext++]);
        }
        if (relevant.empty()) {
            continue;
        }
        std::sort(relevant.begin(), relevant.end());
        relevant.erase(std::unique(relevant.begin(), relevant.end()), relevant.end());
        const std::string rest = restAfterPosition(list.text(id));
        for (size_t i : relevant) {
            BarEntry& e = entries[i];
            if (e.used) {
                continue;
            }
            if (a >= e.start && a < e.start + 192) {
                list.rewriteCurrent(FormatSix(roundTick(e.start + (a - e.start) * e.ratio)) + rest);
            } else if (a > e.start + 192) {
                list.insertMarker(FormatSix(roundTick(e.start + e.ratio * 192)) + ",2," +
                                  formatRatio(e.ratio));
                e.used = true;
                state.strBarLen[entryIndex[i]] = QStringLiteral("-1");
            }
        }
    }
    state.List2 = list.release();
}

}  // namespace carvel
