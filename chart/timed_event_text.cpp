#include "chart/timed_event_text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "chart/index_alphabet.h"

namespace carvel {

namespace {

// timeMs x 1000 rounded half to even, from the exact product: timeMs is m x 2^e with m below 2^53,
// so m x 1000 fits 64 bits and the bits shifted out decide the rounding. For 0 <= timeMs < 9e15.
std::int64_t roundedThousandths(double timeMs) {
    const auto bits = std::bit_cast<std::uint64_t>(timeMs);
    const auto biased = static_cast<int>(bits >> 52);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    const std::uint64_t m = biased == 0 ? fraction : fraction | std::uint64_t{1} << 52;
    const int e = (biased == 0 ? 1 : biased) - 1075;
    const std::uint64_t product = m * 1000;
    if (e >= 0) {
        return static_cast<std::int64_t>(product << e);
    }
    const int shift = -e;
    if (shift >= 64) {
        return 0;  // below 0.5
    }
    const std::uint64_t whole = product >> shift;
    const std::uint64_t rest = product & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    return static_cast<std::int64_t>(whole + (rest > half || (rest == half && whole % 2 != 0)));
}

}  // namespace

namespace {

constexpr bool isNarrowTime(double timeMs) {
    return timeMs >= 0 && timeMs < 9e15;
}

// Writes a time for which isNarrowTime holds, as printf's "%.3f" would: at most 20 characters.
char* writeNarrowTime(char* out, double timeMs) {
    const std::int64_t whole = roundedThousandths(timeMs);
    out = std::to_chars(out, out + 17, whole / 1000).ptr;
    const auto decimals = static_cast<int>(whole % 1000);
    *out++ = '.';
    *out++ = static_cast<char>('0' + decimals / 100);
    *out++ = static_cast<char>('0' + decimals / 10 % 10);
    *out++ = static_cast<char>('0' + decimals % 10);
    return out;
}

// Writes ",CC,value": at most 16 characters.
char* writeTail(char* out, const TimedEvent& event) {
    constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    *out++ = ',';
    *out++ = kDigits[(event.channel / 36) % 36];
    *out++ = kDigits[event.channel % 36];
    *out++ = ',';
    return std::to_chars(out, out + 12, static_cast<int>(event.value)).ptr;
}

// ",CC," and the value's digits for channels and values below 36 x 36 (all that two characters
// of base 36 write), 4 bytes each, for stores of a word.
struct ShortTails {
    static constexpr int kCount = 36 * 36;
    std::array<std::array<char, 4>, kCount> channel{};
    std::array<std::array<char, 4>, kCount> value{};
    std::array<std::uint8_t, kCount> valueSize{};
    constexpr ShortTails() {
        constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        for (int i = 0; i < kCount; ++i) {
            const auto at = static_cast<size_t>(i);
            channel[at] = {',', kDigits[i / 36], kDigits[i % 36], ','};
            int size = i >= 1000 ? 4 : i >= 100 ? 3 : i >= 10 ? 2 : 1;
            valueSize[at] = static_cast<std::uint8_t>(size);
            for (int v = i; size > 0; v /= 10) {
                value[at][static_cast<size_t>(--size)] = static_cast<char>('0' + v % 10);
            }
        }
    }
};
constexpr ShortTails kShortTails;

// writeTail for a text with at least 8 bytes of room.
char* writeTailWithRoom(char* out, const TimedEvent& event) {
    const unsigned channel = event.channel;
    const int value = event.value;
    if (channel >= ShortTails::kCount || value < 0 || value >= ShortTails::kCount) {
        return writeTail(out, event);
    }
    std::memcpy(out, kShortTails.channel[channel].data(), 4);
    std::memcpy(out + 4, kShortTails.value[static_cast<size_t>(value)].data(), 4);
    return out + 4 + kShortTails.valueSize[static_cast<size_t>(value)];
}

}  // namespace

void appendTimedEventText(std::string& out, const TimedEvent& event) {
    char text[64];
    char* end = text;
    if (isNarrowTime(event.timeMs)) {
        end = writeNarrowTime(end, event.timeMs);
    } else {
        std::string wide(400, '\0');
        const int written =
            std::snprintf(wide.data(), wide.size(), "%.3f", static_cast<double>(event.timeMs));
        out.append(wide.data(), static_cast<size_t>(std::max(written, 0)));
    }
    end = writeTail(end, event);
    out.append(text, static_cast<size_t>(end - text));
}

char* TimedEventTexts::write(char* out, const TimedEvent& event) {
    if (!isNarrowTime(event.timeMs)) {
        const int written =
            std::snprintf(out, kMaxText - 20, "%.3f", static_cast<double>(event.timeMs));
        return writeTail(out + std::clamp(written, 0, static_cast<int>(kMaxText) - 21), event);
    }
    const auto bits = std::bit_cast<std::uint64_t>(event.timeMs);
    if (!hasTime_ || bits != timeBits_) {
        timeSize_ = static_cast<size_t>(writeNarrowTime(time_.data(), event.timeMs) - time_.data());
        timeBits_ = bits;
        hasTime_ = true;
    }
    std::memcpy(out, time_.data(), time_.size());
    return writeTailWithRoom(out + timeSize_, event);
}

}  // namespace carvel
