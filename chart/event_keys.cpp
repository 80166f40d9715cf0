#include "chart/event_keys.h"

#include <algorithm>
#include <string>
#include <utility>

namespace carvel::event_keys {

namespace {

// The places of the texts of 0 .. count - 1 in their text order.
template <size_t count>
std::array<std::uint8_t, count> textOrder() {
    std::array<std::pair<std::string, int>, count> texts;
    for (size_t i = 0; i < count; ++i) {
        texts[i] = {std::to_string(i), static_cast<int>(i)};
    }
    std::sort(texts.begin(), texts.end());
    std::array<std::uint8_t, count> place{};
    for (size_t i = 0; i < count; ++i) {
        place[static_cast<size_t>(texts[i].second)] = static_cast<std::uint8_t>(i);
    }
    return place;
}

// Sorts keys from `from` into `to` by three passes of a byte each.
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
// channels + the channel's place among them). groupOf maps a channel place to its place among the
// measure's channels.
void bucketSort(const std::uint32_t* from, std::uint32_t* scratch, std::uint32_t* to, size_t n,
                const std::array<std::uint8_t, 256>& groupOf, size_t groups,
                std::vector<std::uint32_t>& next) {
    const auto bucket = [&](std::uint32_t key) {
        return (key >> 16) * groups + groupOf[key >> 8 & 0xff];
    };
    next.assign(static_cast<size_t>(kTicks) * groups, 0);
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

}  // namespace

TailRanks buildTailRanks() {
    TailRanks table;
    table.channelPlace = textOrder<kChannels>();
    table.valuePlace = textOrder<kValues>();
    for (int c = 0; c < kChannels; ++c) {
        for (int v = 0; v < kValues; ++v) {
            table.byRank[table.rank(c, v)] = static_cast<std::uint16_t>(c * kValues + v);
        }
    }
    return table;
}

const std::uint32_t* sortKeys(std::vector<std::uint32_t>& keys, size_t n,
                              std::array<std::uint8_t, 256> channelPlaces,
                              std::vector<std::uint32_t>& buckets) {
    if (n <= 32) {
        std::sort(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(n));
        return keys.data();
    }
    keys.resize(std::max(keys.size(), 3 * n));
    std::uint32_t* const from = keys.data();
    std::uint32_t* const to = from + n;
    size_t groups = 0;
    for (std::uint8_t& group : channelPlaces) {
        group = group != 0 ? static_cast<std::uint8_t>(groups++) : 0;
    }
    // The buckets are counted and summed once each: worth it while they are not many more than
    // the keys.
    if (static_cast<size_t>(kTicks) * groups <= 2 * n) {
        bucketSort(from, to + n, to, n, channelPlaces, groups, buckets);
    } else {
        radixSort(from, to + n, to, n);
    }
    return to;
}

const std::uint32_t* sortLineKeys(std::vector<std::uint32_t>& keys, size_t n,
                                  const std::vector<KeyRun>& runs, LineSortScratch& scratch) {
    if (n <= 32) {
        return sortKeys(keys, n, {}, scratch.buckets);
    }
    keys.resize(std::max(keys.size(), 3 * n));
    const std::uint32_t* const from = keys.data();
    std::uint32_t* const to = keys.data() + n;
    // The runs by channel place, in line order within one place.
    std::vector<std::uint64_t>& order = scratch.runOrder;
    order.clear();
    for (size_t r = 0; r < runs.size(); ++r) {
        if (runs[r].size != 0) {  // lines without events can be many more than the keys
            order.push_back(std::uint64_t{runs[r].channelPlace} << 32 | r);
        }
    }
    std::sort(order.begin(), order.end());
    std::array<std::uint32_t, kTicks> next{};
    for (size_t i = 0; i < n; ++i) {
        ++next[from[i] >> 16];
    }
    std::uint32_t sum = 0;
    for (std::uint32_t& count : next) {
        sum += std::exchange(count, sum);
    }
    for (const std::uint64_t placed : order) {
        const KeyRun& run = runs[static_cast<std::uint32_t>(placed)];
        const std::uint32_t* const end = from + run.begin + run.size;
        for (const std::uint32_t* key = from + run.begin; key != end; ++key) {
            to[next[*key >> 16]++] = *key;
        }
    }
    size_t moves = 0;
    for (size_t i = 1; i < n; ++i) {
        const std::uint32_t key = to[i];
        if (key >= to[i - 1]) {
            continue;
        }
        size_t j = i;
        for (; j > 0 && to[j - 1] > key; --j) {
            to[j] = to[j - 1];
        }
        to[j] = key;
        moves += i - j;
        if (moves > n) {
            std::array<std::uint8_t, 256> channelPlaces{};
            for (const KeyRun& run : runs) {
                channelPlaces[run.channelPlace] = 1;
            }
            return sortKeys(keys, n, channelPlaces, scratch.buckets);
        }
    }
    return to;
}

}  // namespace carvel::event_keys
