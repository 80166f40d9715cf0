#include "chart/event.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <utility>

#include "chart/event_keys.h"
#include "chart/text_helpers.h"

namespace carvel {

namespace {

using event_keys::hasTailRank;
using event_keys::kChannels;
using event_keys::kValues;
using event_keys::tailRanks;

bool sixDigits(std::int64_t position) {
    return position >= 0 && position <= 999999;
}

std::uint16_t tailRank(const Event& e) {
    return tailRanks().rank(e.channel, e.value);
}

}  // namespace

std::string eventText(const Event& event, const std::vector<double>& barEndRatios) {
    std::string text;
    appendEventText(text, event, barEndRatios);
    return text;
}

void appendEventText(std::string& out, const Event& event,
                     const std::vector<double>& barEndRatios) {
    if (!sixDigits(event.position) || event.channel == kBarEndChannel) {
        out += formatSix(event.position);
        out += ',';
        out += std::to_string(event.channel);
        out += ',';
        if (event.channel == kBarEndChannel) {
            const auto i = static_cast<size_t>(event.value);
            out += i < barEndRatios.size() ? formatRatio(barEndRatios[i]) : std::string("0");
        } else {
            out += std::to_string(event.value);
        }
        return;
    }
    char text[32];
    auto p = static_cast<int>(event.position);
    for (int i = 5; i >= 0; --i) {
        text[i] = static_cast<char>('0' + p % 10);
        p /= 10;
    }
    char* end = text + 6;
    *end++ = ',';
    end = std::to_chars(end, text + sizeof text, event.channel).ptr;
    *end++ = ',';
    end = std::to_chars(end, text + sizeof text, event.value).ptr;
    out.append(text, static_cast<size_t>(end - text));
}

namespace {

// "00", "01", ... "99".
struct TwoDigits {
    std::array<char, 200> text{};
    constexpr TwoDigits() {
        for (int i = 0; i < 100; ++i) {
            text[static_cast<size_t>(2 * i)] = static_cast<char>('0' + i / 10);
            text[static_cast<size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
        }
    }
};
constexpr TwoDigits kTwoDigits;

// What a line of EventLineBuffer's loop takes at most, counting its 8-byte stores past the line's
// end: six digits and ",99,255\n". addOther leaves that much room.
constexpr size_t kLineRoom = 6 + 8;

}  // namespace

EventLineBuffer::EventLineBuffer(const std::vector<double>& barEndRatios)
    : ratios_(barEndRatios),
      data_(1 << 16),
      tails_(kChannels * kValues, 0),
      tailSizes_(kChannels * kValues, 0) {}

void EventLineBuffer::makeTail(size_t tail) {
    char text[8] = {','};
    char* end = std::to_chars(text + 1, text + 3, tail / kValues).ptr;
    *end++ = ',';
    end = std::to_chars(end, text + 7, tail % kValues).ptr;
    *end++ = '\n';
    std::memcpy(&tails_[tail], text, 8);
    tailSizes_[tail] = static_cast<std::uint8_t>(end - text);
}

const Event* EventLineBuffer::add(const Event* first, const Event* last, size_t until) {
    // The loop keeps its state in locals: stores through a char pointer could change any member.
    while (first != last && size_ < until) {
        char* const begin = data_.data();
        char* out = begin + size_;
        const char* const roomEnd = begin + data_.size() - kLineRoom;
        const char* const stop = until < data_.size() ? begin + until : roomEnd + 1;
        const std::uint64_t* const tails = tails_.data();
        const std::uint8_t* const sizes = tailSizes_.data();
        std::int64_t lastPosition = lastPosition_;
        std::uint64_t digits = lastDigits_;
        for (; first != last && out <= roomEnd && out < stop; ++first) {
            const std::int64_t position = first->position;
            const unsigned channel = first->channel;
            const auto value = static_cast<unsigned>(first->value);
            const size_t tail = channel * kValues + value;
            if (static_cast<std::uint64_t>(position) > 999999 || channel >= kChannels ||
                channel == kBarEndChannel || value >= kValues || sizes[tail] == 0) {
                break;
            }
            if (position != lastPosition) {
                const auto p = static_cast<unsigned>(position);
                char text[8] = {};
                std::memcpy(text, &kTwoDigits.text[2 * (p / 10000)], 2);
                std::memcpy(text + 2, &kTwoDigits.text[2 * (p / 100 % 100)], 2);
                std::memcpy(text + 4, &kTwoDigits.text[2 * (p % 100)], 2);
                std::memcpy(&digits, text, 8);
                lastPosition = position;
            }
            std::memcpy(out, &digits, 8);
            std::memcpy(out + 6, &tails[tail], 8);
            out += 6 + sizes[tail];
        }
        size_ = static_cast<size_t>(out - begin);
        lastPosition_ = lastPosition;
        lastDigits_ = digits;
        if (first != last && size_ < until) {
            addOther(*first++);
        }
    }
    return first;
}

void EventLineBuffer::addOther(const Event& event) {
    if (sixDigits(event.position) && hasTailRank(event)) {
        makeTail(static_cast<size_t>(event.channel * kValues + event.value));
    }
    std::string line;
    appendEventText(line, event, ratios_);
    line += '\n';
    if (data_.size() - size_ < line.size() + kLineRoom) {
        data_.resize(std::max(2 * data_.size(), size_ + line.size() + kLineRoom));
    }
    std::memcpy(data_.data() + size_, line.data(), line.size());
    size_ += line.size();
}

bool EventOrder::samePositionOrWide(const Event& a, const Event& b) const {
    if (sixDigits(a.position) && sixDigits(b.position)) {
        if (a.position != b.position) {
            return a.position < b.position;
        }
        if (hasTailRank(a) && hasTailRank(b)) {
            return tailRank(a) < tailRank(b);
        }
    }
    return eventText(a, ratios_) < eventText(b, ratios_);
}

double widePositionField(std::int64_t position) {
    return leadingNumber(std::string_view(formatSix(position)).substr(0, 6));
}

double ratioField(double ratio) {
    return leadingNumber(std::string_view(formatRatio(ratio)));
}

namespace {

constexpr std::int64_t kTails = kChannels * kValues;
using event_keys::kMaxKeyed;
using event_keys::kTicks;
using event_keys::TailRanks;

// The table's order by one integer each, for ranked events in any order: the position, then the
// rank of the rest of the text. The key lives in the position field while sorting.
void sortByPositionAndRank(std::vector<Event>::iterator first, std::vector<Event>::iterator last,
                           const TailRanks& ranks) {
    for (auto e = first; e != last; ++e) {
        e->position = e->position * kTails + ranks.rank(e->channel, e->value);
    }
    std::sort(first, last, [](const Event& a, const Event& b) { return a.position < b.position; });
    for (auto e = first; e != last; ++e) {
        const int tail = ranks.byRank[static_cast<size_t>(e->position % kTails)];
        e->position /= kTails;
        e->channel = static_cast<std::uint8_t>(tail / kValues);
        e->value = tail % kValues;
    }
}

}  // namespace

void sortEvents(std::vector<Event>& events, const std::vector<double>& barEndRatios) {
    // The reader leaves every event ranked (six-digit positions, values up to 255, no bar ends),
    // often with the measures (192 ticks) in order but some of them coming back later: then each
    // run of one measure is sorted on its own, keyed as it is read, until a measure comes back.
    // Anything else is found on the way and sorts the whole table another way; the measures
    // sorted by then are just events in some order.
    const TailRanks& ranks = tailRanks();
    const auto ranked = [](const Event& e) { return sixDigits(e.position) && hasTailRank(e); };
    const auto sortByTexts = [&] {
        std::sort(events.begin(), events.end(), EventOrder(barEndRatios));
    };
    std::vector<std::uint32_t> keys;
    std::vector<std::uint32_t> buckets;
    std::int64_t start = -kTicks;  // of the measure before
    for (auto first = events.begin(); first != events.end();) {
        if (first->position < start + kTicks) {
            if (std::all_of(first, events.end(), ranked)) {
                sortByPositionAndRank(events.begin(), events.end(), ranks);
            } else {
                sortByTexts();
            }
            return;
        }
        start = first->position - first->position % kTicks;
        keys.clear();
        std::array<std::uint8_t, 256> groupOf{};
        auto last = first;
        for (; last != events.end(); ++last) {
            if (!sixDigits(last->position)) {
                sortByTexts();
                return;
            }
            const std::int64_t tick = last->position - start;
            if (tick < 0 || tick >= kTicks) {
                break;
            }
            if (!hasTailRank(*last)) {
                sortByTexts();
                return;
            }
            if (keys.size() < kMaxKeyed) {
                const std::uint16_t rank = ranks.rank(last->channel, last->value);
                keys.push_back(static_cast<std::uint32_t>(tick) << 16 | rank);
                groupOf[rank >> 8] = 1;
            }
        }
        const auto n = static_cast<size_t>(last - first);
        if (n <= 32 || n > kMaxKeyed) {
            const auto less = [&](const Event& a, const Event& b) {
                return a.position != b.position ? a.position < b.position
                                                : tailRank(a) < tailRank(b);
            };
            if (!std::is_sorted(first, last, less)) {
                std::sort(first, last, less);
            }
        } else {
            const std::uint32_t* sorted = event_keys::sortKeys(keys, n, groupOf, buckets);
            for (size_t i = 0; i < n; ++i) {
                // Assigned whole, the packed fields take one store.
                first[static_cast<std::ptrdiff_t>(i)] =
                    event_keys::eventOfKey(sorted[i], start, ranks);
            }
        }
        first = last;
    }
}

}  // namespace carvel
