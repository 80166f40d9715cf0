#include "chart/timed_event_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "chart/index_alphabet.h"

namespace carvel {

void appendTimedEventText(std::string& out, const TimedEvent& event) {
    char text[64];
    char* end = text;
    // A long double holds time x 1000 exactly; rounding that half to even is what printf does
    // with the exact decimal value of the time.
    const long double thousandths = static_cast<long double>(event.timeMs) * 1000;
    if (event.timeMs >= 0 && thousandths < 9e18L) {
        auto whole = static_cast<std::int64_t>(thousandths);
        const long double rest = thousandths - static_cast<long double>(whole);
        whole += rest > 0.5L || (rest == 0.5L && whole % 2 != 0) ? 1 : 0;
        end = std::to_chars(end, text + sizeof text, whole / 1000).ptr;
        const auto decimals = static_cast<int>(whole % 1000);
        *end++ = '.';
        *end++ = static_cast<char>('0' + decimals / 100);
        *end++ = static_cast<char>('0' + decimals / 10 % 10);
        *end++ = static_cast<char>('0' + decimals % 10);
        out.append(text, static_cast<size_t>(end - text));
    } else {
        std::string wide(400, '\0');
        const int written = std::snprintf(wide.data(), wide.size(), "%.3f", event.timeMs);
        out.append(wide.data(), static_cast<size_t>(std::max(written, 0)));
    }
    out += ',';
    out += channelText(event.channel);
    out += ',';
    end = std::to_chars(text, text + sizeof text, event.value).ptr;
    out.append(text, static_cast<size_t>(end - text));
}

}  // namespace carvel
