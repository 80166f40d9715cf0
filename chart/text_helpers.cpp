#include "chart/text_helpers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace carvel {

bool splitHeaderLine(QStringView line, QStringView& key, QStringView& value) {
    if (line.isEmpty() || line.front() != u'#') {
        return false;
    }
    const qsizetype p = line.indexOf(u' ');
    if (p < 0 || p == 1) {
        return false;
    }
    key = line.sliced(1, p - 1);
    value = trimSpaces(line.sliced(p + 1));
    return true;
}

std::string formatSix(std::int64_t n) {
    const bool negative = n < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    std::string digits = std::to_string(magnitude);
    if (digits.size() < 6) {
        digits.insert(0, 6 - digits.size(), '0');
    }
    return negative ? "-" + digits : digits;
}

int hexDigitValue(QStringView text) {
    if (text.isEmpty()) {
        return 0;
    }
    const char16_t c = text.at(0).unicode();
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    return 0;
}

int hexToInt(QStringView text) {
    if (text.size() == 2) {  // what every caller passes but the sound preview
        return 16 * hexDigitValue(text.first(1)) + hexDigitValue(text.sliced(1));
    }
    double result = 0;
    double weight = 1;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        result += hexDigitValue(text.sliced(i, 1)) * weight;
        weight *= 16;
        if (result > 32767) {
            return 32767;
        }
    }
    return static_cast<int>(result);
}

QStringView trimSpaces(QStringView text) {
    while (!text.isEmpty() && text.front() == u' ') {
        text = text.sliced(1);
    }
    while (!text.isEmpty() && text.back() == u' ') {
        text.chop(1);
    }
    return text;
}

QString trimSpaces(const QString& text) {
    return trimSpaces(QStringView(text)).toString();
}

namespace {

template <typename CharAt>
double parseLeadingNumber(qsizetype size, CharAt at) {
    qsizetype i = 0;
    while (i < size && (at(i) == ' ' || at(i) == '\t')) {
        ++i;
    }
    std::string number;
    if (i < size && (at(i) == '+' || at(i) == '-')) {
        number += at(i) == '-' ? "-" : "";
        ++i;
    }
    bool digits = false;
    while (i < size && at(i) >= '0' && at(i) <= '9') {
        number += static_cast<char>(at(i));
        digits = true;
        ++i;
    }
    if (i < size && at(i) == '.') {
        number += '.';
        ++i;
        while (i < size && at(i) >= '0' && at(i) <= '9') {
            number += static_cast<char>(at(i));
            digits = true;
            ++i;
        }
    }
    if (!digits) {
        return 0;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || !std::isfinite(value)) {
        return 0;
    }
    return value;
}

}  // namespace

double leadingNumber(QStringView text) {
    return parseLeadingNumber(text.size(), [&](qsizetype i) { return text.at(i).unicode(); });
}

double leadingNumber(std::string_view text) {
    // Fast path for the common case, a run of digits not followed by a point.
    size_t n = 0;
    double whole = 0;
    while (n < text.size() && n < 15 && text[n] >= '0' && text[n] <= '9') {
        whole = whole * 10 + (text[n] - '0');
        ++n;
    }
    if (n > 0 && (n == text.size() || (text[n] != '.' && (text[n] < '0' || text[n] > '9')))) {
        return whole;
    }
    return parseLeadingNumber(static_cast<qsizetype>(text.size()),
                              [&](qsizetype i) { return static_cast<char16_t>(text[i]); });
}

long double leadingDecimal(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) {
        ++i;
    }
    std::string number;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        number += text[i] == u'-' ? "-" : "";
        ++i;
    }
    const auto isDigit = [&](qsizetype k) {
        return k < text.size() && text[k] >= u'0' && text[k] <= u'9';
    };
    bool digits = false;
    while (isDigit(i) && text[i] == u'0') {
        digits = true;
        ++i;
    }
    for (; isDigit(i); ++i) {
        if (number.size() > 320) {
            return 0;  // beyond any finite double
        }
        number += static_cast<char>(text[i].unicode());
        digits = true;
    }
    if (i < text.size() && text[i] == u'.') {
        number += '.';
        for (++i; isDigit(i); ++i) {
            if (number.size() < 720) {
                number += static_cast<char>(text[i].unicode());
            }
            digits = true;
        }
    }
    if (!digits) {
        return 0;
    }
    long double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || !(std::fabs(value) <= std::numeric_limits<double>::max())) {
        return 0;
    }
    return value;
}

std::string formatRatio(double value) {
    if (!std::isfinite(value) || value == 0) {
        return "0";
    }
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    const int decimals = std::max(0, 14 - exponent);
    std::string text(400, '\0');
    const int written =
        std::snprintf(text.data(), text.size(), "%.*f", std::min(decimals, 340), value);
    text.resize(static_cast<size_t>(std::max(written, 0)));
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0') {
            text.pop_back();
        }
        if (!text.empty() && text.back() == '.') {
            text.pop_back();
        }
    }
    if (text == "-0") {
        text = "0";
    }
    return text;
}

}  // namespace carvel
