// libFuzzer target: the chart reader on arbitrary text, from memory, in both readings, the classic
// reading also from the bytes as a file is read, and the same bytes as bmson. Media lines name
// files in a folder that does not exist, so nothing is decoded; the media decoders have a target of
// their own.
#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "chart/bmson_reader.h"
#include "chart/chart_reader.h"
#include "chart/timed_event_text.h"
#include "platform/text_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = carvel::decodeText(bytes);
    const QString folder = QStringLiteral("/nonexistent/");
    // Every event has a text, and every bar end its ratio.
    std::string out;
    for (const carvel::Chart& chart :
         {carvel::readChartText(text, folder), carvel::readChartBytes(bytes, folder)}) {
        for (size_t i = 0; i < chart.table().events.size(); ++i) {
            carvel::appendEventText(out, chart.table().events[i], chart.table().barEndRatios);
            if (chart.table().events[i].channel == carvel::kBarEndChannel &&
                static_cast<size_t>(chart.table().events[i].value) >=
                    chart.table().barEndRatios.size()) {
                std::abort();
            }
        }
    }
    // The full reading: finite times from 0 on, in order, each with a text.
    const carvel::Chart full =
        carvel::readChartText(text, folder, nullptr, {carvel::ReadingMode::Full, 1});
    for (size_t i = 0; i < full.timeline().events.size(); ++i) {
        const carvel::TimedEvent& e = full.timeline().events[i];
        if (!std::isfinite(e.timeMs) || e.timeMs < 0 ||
            (i > 0 && e.timeMs < full.timeline().events[i - 1].timeMs)) {
            std::abort();
        }
        carvel::appendTimedEventText(out, e);
    }
    // The same bytes as bmson: the same promises.
    const carvel::Chart bmson = carvel::readBmson(bytes, folder);
    for (size_t i = 0; i < bmson.timeline().events.size(); ++i) {
        const carvel::TimedEvent& e = bmson.timeline().events[i];
        if (!std::isfinite(e.timeMs) || e.timeMs < 0 ||
            (i > 0 && e.timeMs < bmson.timeline().events[i - 1].timeMs)) {
            std::abort();
        }
    }
    return 0;
}
