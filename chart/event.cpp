#include "chart/event.h"

#include <algorithm>
#include <array>
#include <charconv>

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

[[gnu::noinline]] TailRanks buildTailRanks() {
    std::vector<std::pair<std::string, int>> tails;
    tails.reserve(kChannels * kValues);
    for (int c = 0; c < kChannels; ++c) {
        for (int v = 0; v < kValues; ++v) {
            tails.emplace_back(std::to_string(c) + ',' + std::to_string(v), c * kValues + v);
        }
    }
    std::sort(tails.begin(), tails.end());
    TailRanks table;
    for (size_t i = 0; i < tails.size(); ++i) {
        table.rank[static_cast<size_t>(tails[i].second)] = static_cast<std::uint16_t>(i);
        table.byRank[i] = static_cast<std::uint16_t>(tails[i].second);
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

// Sorts the events of one measure that starts at tick `base` (all ranked): a counting sort by
// tick into scratch, then by rank among the few events of each tick. Small and very large measures
// take a plain sort.
void sortMeasure(std::vector<Event>::iterator first, std::vector<Event>::iterator last,
                 std::int64_t base, const TailRanks& ranks, std::vector<Event>& scratch) {
    const auto rank = [&](const Event& e) {
        return ranks.rank[static_cast<size_t>(e.channel * kValues + e.value)];
    };
    const auto less = [&](const Event& a, const Event& b) {
        return a.position != b.position ? a.position < b.position : rank(a) < rank(b);
    };
    const auto n = static_cast<size_t>(last - first);
    if (n <= 32 || n > (size_t{1} << 16)) {
        if (!std::is_sorted(first, last, less)) {
            std::sort(first, last, less);
        }
        return;
    }
    const auto tick = [&](const Event& e) { return static_cast<size_t>(e.position - base); };
    std::array<std::uint32_t, kTicks + 1> start{};
    for (auto e = first; e != last; ++e) {
        ++start[tick(*e) + 1];
    }
    for (size_t t = 0; t < kTicks; ++t) {
        start[t + 1] += start[t];
    }
    scratch.resize(n);
    std::array<std::uint32_t, kTicks> next{};
    std::copy(start.begin(), start.end() - 1, next.begin());
    for (auto e = first; e != last; ++e) {
        scratch[next[tick(*e)]++] = *e;
    }
    for (size_t t = 0; t < kTicks; ++t) {
        const auto from = scratch.begin() + start[t];
        const auto to = scratch.begin() + start[t + 1];
        if (to - from > 1 && !std::is_sorted(from, to, less)) {
            std::sort(from, to, less);
        }
    }
    std::copy(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(n), first);
}

}  // namespace

void sortEvents(std::vector<Event>& events, const std::vector<double>& barEndRatios) {
    // Whether every event is ranked (as the reader leaves them: six-digit positions, values up to
    // 255, no bar ends), and whether the measures (192 ticks) come in order, as the lines usually
    // do, so that each measure can be sorted on its own.
    bool ranked = true;
    bool grouped = true;
    std::int64_t measure = 0;
    for (const Event& e : events) {
        if (!sixDigits(e.position) || !hasTailRank(e)) {
            ranked = false;
            break;
        }
        grouped = grouped && e.position / kTicks >= measure;
        measure = e.position / kTicks;
    }
    if (!ranked) {
        std::sort(events.begin(), events.end(), EventOrder(barEndRatios));
        return;
    }
    const TailRanks& ranks = tailRanks();
    if (grouped) {
        std::vector<Event> scratch;
        for (auto first = events.begin(); first != events.end();) {
            const std::int64_t m = first->position / kTicks;
            auto last = first + 1;
            while (last != events.end() && last->position / kTicks == m) {
                ++last;
            }
            sortMeasure(first, last, m * kTicks, ranks, scratch);
            first = last;
        }
        return;
    }
    // In any other order they sort fastest by one integer: the position, then the rank of the
    // rest of the text. The key lives in the position field while sorting; the rank gives the
    // channel and the value back.
    for (Event& e : events) {
        e.position =
            e.position * kTails + ranks.rank[static_cast<size_t>(e.channel * kValues + e.value)];
    }
    std::sort(events.begin(), events.end(),
              [](const Event& a, const Event& b) { return a.position < b.position; });
    for (Event& e : events) {
        const int tail = ranks.byRank[static_cast<size_t>(e.position % kTails)];
        e.position /= kTails;
        e.channel = static_cast<std::uint8_t>(tail / kValues);
        e.value = tail % kValues;
    }
}

}  // namespace carvel
