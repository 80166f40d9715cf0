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

const TailRanks& tailRanks() {
    static const auto ranks = [] {
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
    }();
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

bool EventOrder::operator()(const Event& a, const Event& b) const {
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

double positionField(std::int64_t position) {
    if (sixDigits(position)) {
        return static_cast<double>(position);
    }
    return leadingNumber(std::string_view(formatSix(position)).substr(0, 6));
}

double ratioField(double ratio) {
    return leadingNumber(std::string_view(formatRatio(ratio)));
}

void sortEvents(std::vector<Event>& events, const std::vector<double>& barEndRatios) {
    const bool ranked = std::all_of(events.begin(), events.end(), [](const Event& e) {
        return sixDigits(e.position) && hasTailRank(e);
    });
    if (!ranked) {
        std::sort(events.begin(), events.end(), EventOrder(barEndRatios));
        return;
    }
    // What the reader leaves (six-digit positions, values up to 255, no bar ends) sorts fastest by
    // one integer: the position, then the rank of the rest of the text. The key lives in the
    // position field while sorting; the rank gives the channel and the value back.
    const auto& byRank = tailRanks().byRank;
    constexpr std::int64_t kTails = kChannels * kValues;
    for (Event& e : events) {
        e.position = e.position * kTails + tailRank(e);
    }
    std::sort(events.begin(), events.end(),
              [](const Event& a, const Event& b) { return a.position < b.position; });
    for (Event& e : events) {
        const int tail = byRank[static_cast<size_t>(e.position % kTails)];
        e.position /= kTails;
        e.channel = static_cast<std::uint8_t>(tail / kValues);
        e.value = tail % kValues;
    }
}

}  // namespace carvel
