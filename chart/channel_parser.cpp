#include "chart/channel_parser.h"

#include <cmath>

#include "chart/channels.h"
#include "chart/text_helpers.h"

namespace carvel {

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
int digit(QChar c) {
    return c.unicode() - u'0';
}

}  // namespace

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

ChannelParser::ChannelParser(std::vector<Event>& events, std::vector<BarLength>& barLengths)
    : events_(events), barLengths_(barLengths) {}

ChannelParser::Result ChannelParser::parse(QStringView line) {
    const QStringView s = trimSpaces(line);
    if (s.isEmpty() || s.front() != u'#') {
        return Result::Handled;
    }
    if (s.size() < 8 || s.indexOf(u':') != 6) {
        return Result::Malformed;
    }
    for (int i = 1; i <= 5; ++i) {
        if (!isDigit(s.at(i))) {
            return Result::Malformed;
        }
    }
    const int measure = 100 * digit(s.at(1)) + 10 * digit(s.at(2)) + digit(s.at(3));
    const int channel = 10 * digit(s.at(4)) + digit(s.at(5));
    const QStringView data = s.sliced(7);
    const std::int64_t measureStart = std::int64_t{measure} * 192;

    if (channel == kBarEndChannel) {
        QString key = QString::number(measureStart) + u',' + data.toString();
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
    if (data.size() % 2 != 0) {
        return Result::Malformed;
    }
    fullOnlyLines_ += hasBase36Letter(data) ? 1 : 0;
    const qsizetype pairs = data.size() / 2;
    // Slot h lies at floor((192 / n) x h), the quotient and the product each rounded to double.
    const double q = 192.0 / static_cast<double>(pairs);
    for (qsizetype h = 0; h < pairs; ++h) {
        const int value = hexToInt(data.sliced(2 * h, 2));
        if (value >= 1) {
            const double offset = std::floor(q * static_cast<double>(h));
            events_.push_back({measureStart + static_cast<std::int64_t>(offset), value,
                               static_cast<std::uint8_t>(channel)});
        }
    }
    return Result::Handled;
}

}  // namespace carvel
