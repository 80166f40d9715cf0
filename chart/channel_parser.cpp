#include "chart/channel_parser.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "chart/channels.h"
#include "chart/text_helpers.h"

namespace carvel {

bool isEventChannel(int channel) {
    return channels::isClassicEvent(channel);
}

bool hasBase36Letter(QStringView text) {
    for (const QChar c : text) {
        const char16_t folded = c.unicode() | 0x20;
        if (folded >= u'g' && folded <= u'z') {
            return true;
        }
    }
    return false;
}

namespace {

bool isFullOnlyChannel(int channel) {
    const int low = channel % 10;
    switch (channel / 10) {
        case 0:
            return channels::isTiming(channel);
        case 1:
        case 2:
            return low >= 7;
        case 5:
        case 6:
            return low >= 1;
        default:
            return false;
    }
}

}  // namespace

ChannelParser::ChannelParser(MeasureSorter& events, std::vector<BarLength>& barLengths)
    : events_(events), barLengths_(barLengths) {}

namespace {

char16_t unit(QStringView s, qsizetype i) {
    return s[i].unicode();
}
char16_t unit(std::string_view s, qsizetype i) {
    return static_cast<unsigned char>(s[static_cast<size_t>(i)]);
}
QStringView after(QStringView s, qsizetype i) {
    return s.sliced(i);
}
std::string_view after(std::string_view s, qsizetype i) {
    return s.substr(static_cast<size_t>(i));
}
qsizetype length(QStringView s) {
    return s.size();
}
qsizetype length(std::string_view s) {
    return static_cast<qsizetype>(s.size());
}
bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
int digit(char16_t c) {
    return c - u'0';
}
QString textOf(QStringView s) {
    return s.toString();
}
QString textOf(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
constexpr std::uint64_t kEveryByte = ~std::uint64_t{0} / 255;  // 0x0101...01

// Whether a byte of x lies strictly between m and n (both 128 or less); a byte of 128 or more
// never does. Eight bytes at once: the data of a line is most of a chart's bytes.
constexpr bool hasByteBetween(std::uint64_t x, std::uint64_t m, std::uint64_t n) {
    const std::uint64_t low = x & kEveryByte * 127;
    return ((kEveryByte * (127 + n) - low) & ~x & (low + kEveryByte * (127 - m)) &
            kEveryByte * 128) != 0;
}

bool hasLetterBeyondF(std::string_view text) {
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t x;
        std::memcpy(&x, text.data() + i, 8);
        if (hasByteBetween(x | kEveryByte * 0x20, 'g' - 1, 'z' + 1)) {
            return true;
        }
    }
    for (; i < text.size(); ++i) {
        const char folded = static_cast<char>(text[i] | 0x20);
        if (folded >= 'g' && folded <= 'z') {
            return true;
        }
    }
    return false;
}
bool hasLetterBeyondF(QStringView text) {
    return hasBase36Letter(text);
}

// Hexadecimal digit values by character, 0 for anything else (as hexDigitValue).
struct HexTable {
    std::array<std::uint8_t, 256> value{};
    constexpr HexTable() {
        for (int i = 0; i < 10; ++i) {
            value[static_cast<size_t>('0' + i)] = static_cast<std::uint8_t>(i);
        }
        for (int i = 0; i < 6; ++i) {
            value[static_cast<size_t>('A' + i)] = value[static_cast<size_t>('a' + i)] =
                static_cast<std::uint8_t>(10 + i);
        }
    }
};
constexpr HexTable kHex;

int hexValue(char16_t c) {
    return c < 256 ? kHex.value[c] : 0;
}

}  // namespace

// s is trimmed of spaces.
template <typename Text>
ChannelParser::Result ChannelParser::parseText(Text s) {
    const qsizetype size = length(s);
    if (size == 0 || unit(s, 0) != u'#') {
        return Result::Handled;
    }
    if (size < 8 || unit(s, 6) != u':') {
        return Result::Malformed;
    }
    for (qsizetype i = 1; i < 6; ++i) {
        if (unit(s, i) == u':') {
            return Result::Malformed;  // the first ':' must be the seventh character
        }
    }
    for (int i = 1; i <= 5; ++i) {
        if (!isDigit(unit(s, i))) {
            return Result::Malformed;
        }
    }
    const int measure = 100 * digit(unit(s, 1)) + 10 * digit(unit(s, 2)) + digit(unit(s, 3));
    const int channel = 10 * digit(unit(s, 4)) + digit(unit(s, 5));
    const Text data = after(s, 7);
    const std::int64_t measureStart = std::int64_t{measure} * 192;

    if (channel == kBarEndChannel) {
        QString key = QString::number(measureStart) + u',' + textOf(data);
        if (!barLengthKeys_.contains(key)) {
            barLengthKeys_.insert(std::move(key));
            barLengths_.push_back({measureStart, leadingNumber(data)});
        }
        return Result::Handled;
    }
    if (!isEventChannel(channel)) {
        fullOnlyLines_ += isFullOnlyChannel(channel) ? 1 : 0;
        return Result::NotPlayed;
    }
    const qsizetype dataSize = length(data);
    if (dataSize % 2 != 0) {
        return Result::Malformed;
    }
    fullOnlyLines_ += hasLetterBeyondF(data) ? 1 : 0;
    const qsizetype pairs = dataSize / 2;
    // Slot h lies at floor((192 / n) x h), the quotient and the product each rounded to double.
    const double q = 192.0 / static_cast<double>(pairs);
    // Each pair's key is written to the sorter's room, and kept by counting it when its value is 1
    // or more: no branch on the value.
    events_.startLine(measureStart, channel);
    const std::uint32_t channelBits = events_.channelBits();
    const auto& valuePlace = event_keys::tailRanks().valuePlace;
    constexpr auto kChunk = static_cast<qsizetype>(MeasureSorter::kChunk);
    for (qsizetype chunkStart = 0; chunkStart < pairs; chunkStart += kChunk) {
        const qsizetype chunkEnd = std::min(pairs, chunkStart + kChunk);
        std::uint32_t* const keys = events_.room();
        size_t kept = 0;
        for (qsizetype h = chunkStart; h < chunkEnd; ++h) {
            const int value = 16 * hexValue(unit(data, 2 * h)) + hexValue(unit(data, 2 * h + 1));
            // The product is below 192 and not negative: truncating is the floor.
            const auto tick = static_cast<std::uint32_t>(q * static_cast<double>(h));
            keys[kept] = tick << 16 | channelBits | valuePlace[static_cast<size_t>(value)];
            kept += value >= 1 ? 1 : 0;
        }
        events_.keep(kept);
    }
    return Result::Handled;
}

ChannelParser::Result ChannelParser::parse(QStringView line) {
    return parseText(trimSpaces(line));
}

ChannelParser::Result ChannelParser::parse(std::string_view line) {
    return parseText(line);
}

}  // namespace carvel
