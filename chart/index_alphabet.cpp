#include "chart/index_alphabet.h"

#include <array>

namespace carvel {

namespace {

// Digit values by character code below 128, -1 for the rest: base 36 folds the cases, base 62
// gives lower case its own digits 36 .. 61.
struct Digits {
    DigitTable base36{};
    DigitTable base62{};
    DigitTable hex{};
};

const Digits& digits() {
    static const Digits table = [] {
        Digits d;
        d.base36.fill(-1);
        d.base62.fill(-1);
        d.hex.fill(-1);
        for (int i = 0; i < 10; ++i) {
            d.base36['0' + i] = d.base62['0' + i] = d.hex['0' + i] = static_cast<std::int8_t>(i);
        }
        for (int i = 0; i < 26; ++i) {
            d.base36['A' + i] = d.base36['a' + i] = d.base62['A' + i] =
                static_cast<std::int8_t>(10 + i);
            d.base62['a' + i] = static_cast<std::int8_t>(36 + i);
        }
        for (int i = 0; i < 6; ++i) {
            d.hex['A' + i] = d.hex['a' + i] = static_cast<std::int8_t>(10 + i);
        }
        return d;
    }();
    return table;
}

int pair(const DigitTable& table, int radix, QChar high, QChar low) {
    return digitPair(table, radix, high.unicode(), low.unicode());
}

}  // namespace

const DigitTable& indexDigits(IndexBase base) {
    return base == IndexBase::Base62 ? digits().base62 : digits().base36;
}

const DigitTable& hexDigits() {
    return digits().hex;
}

int indexValue(QChar high, QChar low, IndexBase base) {
    return base == IndexBase::Base62 ? pair(digits().base62, 62, high, low)
                                     : pair(digits().base36, 36, high, low);
}

int indexValue(QStringView text, IndexBase base) {
    return text.size() == 2 ? indexValue(text[0], text[1], base) : -1;
}

int hexPairValue(QChar high, QChar low) {
    return pair(digits().hex, 16, high, low);
}

int channelValue(QChar high, QChar low) {
    return pair(digits().base36, 36, high, low);
}

std::string channelText(int channel) {
    constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    return {kDigits[(channel / 36) % 36], kDigits[channel % 36]};
}

}  // namespace carvel
