#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>

namespace carvel {

// How the full reading reads two-character indexes: base 36 (0-9, A-Z in either case), or, after
// `#BASE 62`, base 62 (0-9, A-Z, a-z, case-sensitive).
enum class IndexBase { Base36, Base62 };

// The value of a two-character index, 0 .. 1295 (3843 in base 62); -1 when a character is outside
// the alphabet or the text is not two characters long.
int indexValue(QStringView text, IndexBase base);
int indexValue(QChar high, QChar low, IndexBase base);

// The digit of each character code below 128 in an alphabet, -1 outside it.
using DigitTable = std::array<std::int8_t, 128>;
const DigitTable& indexDigits(IndexBase base);
const DigitTable& hexDigits();

// Two characters read as digits of table in radix: -1 when one is outside the alphabet (a code of
// 128 or above among them).
inline int digitPair(const DigitTable& table, int radix, char16_t high, char16_t low) {
    if (high >= 128 || low >= 128 || table[high] < 0 || table[low] < 0) {
        return -1;
    }
    return table[high] * radix + table[low];
}

// A pair of hexadecimal digits (either case), 0 .. 255; -1 when a character is no such digit.
int hexPairValue(QChar high, QChar low);

// A channel's two characters read in base 36, case-insensitive; -1 outside the alphabet.
int channelValue(QChar high, QChar low);

// The two upper-case characters of a channel value 0 .. 1295 ("11" for 37, "D1" for 469).
std::string channelText(int channel);

}  // namespace carvel
