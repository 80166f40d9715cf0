#include "chart/event.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <utility>

#include "chart/text_helpers.h"

namespace carvel {

namespace {

constexpr int kChannels = 100;
constexpr int kValues = 256;

bool sixDigits(std::int64_t position) {
    return position >= 0 && position <= 999999;
}

// The rank of "channel,value" among all such texts, for channels 0..99 and values 0..255: at one
// position, comparing ranks compares the rest of the texts. byRank is the inverse table. Both are
// built once: a chart of a few events should not pay for 25,600 entries.
struct TailRanks {
    std::array<std::uint16_t, kChannels * kValues> rank{};
    std::array<std::uint16_t, kChannels * kValues> byRank{};
};

// The places of the texts of 0 .. count - 1 in their text order.
template <size_t count>
std::array<std::uint16_t, count> textOrder() {
    std::array<std::pair<std::string, int>, count> texts;
    for (size_t i = 0; i < count; ++i) {
        texts[i] = {std::to_string(i), static_cast<int>(i)};
    }
    std::sort(texts.begin(), texts.end());
    std::array<std::uint16_t, count> place{};
    for (size_t i = 0; i < count; ++i) {
        place[static_cast<size_t>(texts[i].second)] = static_cast<std::uint16_t>(i);
    }
    return place;
}

// The texts of one channel sort together, as "channel," is never a prefix of another channel's
// "channel,", and a channel's texts then sort as its values' texts: the rank is the channel's
// place x 256 + the value's place.
[[gnu::noinline]] TailRanks buildTailRanks() {
    const auto channelPlace = textOrder<kChannels>();
    const auto valuePlace = textOrder<kValues>();
    TailRanks table;
    for (size_t c = 0; c < kChannels; ++c) {
        for (size_t v = 0; v < kValues; ++v) {
            const auto rank = static_cast<size_t>(channelPlace[c] * kValues + valuePlace[v]);
            table.rank[c * kValues + v] = static_cast<std::uint16_t>(rank);
            table.byRank[rank] = static_cast<std::uint16_t>(c * kValues + v);
        }
    }
    return table;
}

// Small enough to inline into the comparisons; the table is built on first use.
inline const TailRanks& tailRanks() {
    static const TailRanks ranks = buildTailRanks();
    return ranks;
}

bool hasTailRank(const Event& e) {
    return e.channel != kBarEndChannel && e.channel < kChannels && e.value >= 0 &&
           e.value < kValues;
}

std::uint16_t tailRank(const Event& e) {
    return tailRanks().rank[static_cast<size_t>(e.channel * kValues + e.value)];
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
constexpr std::int64_t kTicks = 192;  // of a measure of nominal length

// Sorts keys tick << 16 | rank (tick < 192) from `from` into `to` by three passes of a byte each.
void radixSort(const std::uint32_t* from, std::uint32_t* scratch, std::uint32_t* to, size_t n) {
    std::array<std::array<std::uint32_t, 256>, 3> next{};
    for (size_t i = 0; i < n; ++i) {
        ++next[0][from[i] & 0xff];
        ++next[1][from[i] >> 8 & 0xff];
        ++next[2][from[i] >> 16];
    }
    for (auto& counts : next) {
        std::uint32_t sum = 0;
        for (std::uint32_t& count : counts) {
            sum += std::exchange(count, sum);
        }
    }
    for (size_t i = 0; i < n; ++i) {
        to[next[0][from[i] & 0xff]++] = from[i];
    }
    for (size_t i = 0; i < n; ++i) {
        scratch[next[1][to[i] >> 8 & 0xff]++] = to[i];
    }
    for (size_t i = 0; i < n; ++i) {
        to[next[2][scratch[i] >> 16]++] = scratch[i];
    }
}

// The same in two passes, when the measure holds few channels for its size: a counting sort by
// the value's place (the rank's low byte), then a stable one by tick and channel (bucket tick x
// channels + the channel's place among them). groupOf maps a rank's high byte (the channel's place
// in the order of the texts: each channel's 256 texts sort together) to its place among the
// measure's channels.
void bucketSort(const std::uint32_t* from, std::uint32_t* scratch, std::uint32_t* to, size_t n,
                const std::array<std::uint8_t, 256>& groupOf, size_t groups,
                std::vector<std::uint32_t>& next) {
    const auto bucket = [&](std::uint32_t key) {
        return (key >> 16) * groups + groupOf[key >> 8 & 0xff];
    };
    next.assign(kTicks * groups, 0);
    std::array<std::uint32_t, 256> byValue{};
    for (size_t i = 0; i < n; ++i) {
        ++next[bucket(from[i])];
        ++byValue[from[i] & 0xff];
    }
    std::uint32_t sum = 0;
    for (std::uint32_t& count : next) {
        sum += std::exchange(count, sum);
    }
    sum = 0;
    for (std::uint32_t& count : byValue) {
        sum += std::exchange(count, sum);
    }
    for (size_t i = 0; i < n; ++i) {
        scratch[byValue[from[i] & 0xff]++] = from[i];
    }
    for (size_t i = 0; i < n; ++i) {
        to[next[bucket(scratch[i])]++] = scratch[i];
    }
}

// At most this many events of a measure are sorted by keys; a larger measure takes a plain sort.
constexpr size_t kMaxKeyed = size_t{1} << 16;

// Sorts the n events of one measure that starts at tick `base` (all ranked) whose keys,
// tick << 16 | rank, are the first n of `keys`; groupOf marks the high bytes of their ranks. The
// rank gives the channel and the value back. keys grows to 3n entries.
void sortMeasure(std::vector<Event>::iterator first, size_t n, std::int64_t base,
                 const TailRanks& ranks, std::vector<std::uint32_t>& keys,
                 std::array<std::uint8_t, 256>& groupOf, std::vector<std::uint32_t>& buckets) {
    keys.resize(3 * n);
    std::uint32_t* const from = keys.data();
    std::uint32_t* const to = from + n;
    size_t groups = 0;
    for (std::uint8_t& group : groupOf) {
        group = group != 0 ? static_cast<std::uint8_t>(groups++) : 0;
    }
    // The buckets are counted and summed once each: worth it while they are not many more than
    // the events.
    if (kTicks * groups <= 2 * n) {
        bucketSort(from, to + n, to, n, groupOf, groups, buckets);
    } else {
        radixSort(from, to + n, to, n);
    }
    for (size_t i = 0; i < n; ++i) {
        const int tail = ranks.byRank[to[i] & 0xffff];
        // Assigned whole, the packed fields take one store.
        first[static_cast<std::ptrdiff_t>(i)] =
            Event{base + (to[i] >> 16), tail % kValues, static_cast<std::uint8_t>(tail / kValues)};
    }
}

// The table's order by one integer each, for ranked events in any order: the position, then the
// rank of the rest of the text. The key lives in the position field while sorting.
void sortByPositionAndRank(std::vector<Event>::iterator first, std::vector<Event>::iterator last,
                           const TailRanks& ranks) {
    for (auto e = first; e != last; ++e) {
        e->position =
            e->position * kTails + ranks.rank[static_cast<size_t>(e->channel * kValues + e->value)];
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
    // usually with the measures (192 ticks) in order, as the lines come: then each measure is
    // sorted on its own, keyed as it is read. Anything else is found on the way and sorts the
    // whole table another way; the measures sorted by then are just events in some order.
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
                const std::uint16_t rank =
                    ranks.rank[static_cast<size_t>(last->channel * kValues + last->value)];
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
            sortMeasure(first, n, start, ranks, keys, groupOf, buckets);
        }
        first = last;
    }
}

}  // namespace carvel
