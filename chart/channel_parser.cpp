#include "chart/channel_parser.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

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
    return channel == 1 || channel == 4 || channel == 6 || channel == 7 ||
           (channel >= 11 && channel <= 16) || (channel >= 21 && channel <= 26);
}

ChannelLineParser::ChannelLineParser(ChartState& state, StatusObserver* observer)
    : state_(state), observer_(observer) {
    for (const QString& entry : state_.strBarLen) {
        if (!entry.isEmpty()) {
            barLengthKeys_.insert(entry);
        }
    }
}

int ChannelLineParser::ParseChannelLine(const QString& line) {
    const QString s = trimSpaces(line);
    if (s.isEmpty() || s.at(0) != u'#') {
        return kHandled;
    }
    if (s.size() < 8 || s.indexOf(u':') != 6) {
        return kMalformed;
    }
    for (int i = 1; i <= 5; ++i) {
        if (!isDigit(s.at(i))) {
            return kMalformed;
        }
    }
    const int measure = 100 * digit(s.at(1)) + 10 * digit(s.at(2)) + digit(s.at(3));
    const int channel = 10 * digit(s.at(4)) + digit(s.at(5));
    const QString data = s.sliced(7);
    const std::int64_t measureStart = std::int64_t{measure} * 192;

    if (channel == 2) {
        const QString key = QString::number(measureStart) + u',' + data;
        if (!barLengthKeys_.contains(key)) {
            barLengthKeys_.insert(key);
            state_.strBarLen.last() = key;
            state_.strBarLen.append(QString());
        }
    } else if (isEventChannel(channel)) {
        if (data.size() % 2 != 0) {
            return kMalformed;
        }
        const qsizetype pairs = data.size() / 2;
        const double q = 192.0 / static_cast<double>(pairs);
        // "position,channel,value" is built in a stack buffer: a load makes millions of these.
        char tail[16];
        const int tailLength = std::snprintf(tail, sizeof tail, ",%d,", channel);
        for (qsizetype h = 0; h < pairs; ++h) {
            const int value = HexToInt(QStringView(data).sliced(2 * h, 2));
            const double product = q * static_cast<double>(h);
            const std::int64_t position =
                measureStart + static_cast<std::int64_t>(std::floor(product));
            char text[48];
            char* end = std::to_chars(text, text + 24, position).ptr;
            const auto digits = static_cast<size_t>(end - text);
            end = std::copy(tail, tail + tailLength, end);
            end = std::to_chars(end, text + sizeof text, value).ptr;
            const std::string_view working(text, static_cast<size_t>(end - text));
            if (value >= 1) {
                std::string event;
                event.reserve(working.size() + 6);
                if (digits < 6) {
                    event.append(6 - digits, '0');
                }
                event.append(working);
                state_.List2.push_back(std::move(event));
            }
            state_.colEvents.emplace_back(working);
        }
    } else {
        return kNotPlayed;
    }
    if (observer_ != nullptr) {
        observer_->eventCountChanged(static_cast<qsizetype>(state_.List2.size()));
    }
    return kHandled;
}

}  // namespace carvel
