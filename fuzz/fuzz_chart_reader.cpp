// libFuzzer target: the chart reader on arbitrary text, from memory. Media lines name files in a
// folder that does not exist, so nothing is decoded; the media decoders have a target of their own.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "chart/chart_reader.h"
#include "platform/text_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const carvel::Chart chart =
        carvel::readChartText(carvel::decodeText(bytes), QStringLiteral("/nonexistent/"));
    // Every event has a text, and every bar end its ratio.
    std::string text;
    for (size_t i = 0; i < chart.events.size(); ++i) {
        carvel::appendEventText(text, chart.events[i], chart.barEndRatios);
        if (chart.events[i].channel == carvel::kBarEndChannel &&
            static_cast<size_t>(chart.events[i].value) >= chart.barEndRatios.size()) {
            std::abort();
        }
    }
    return 0;
}
