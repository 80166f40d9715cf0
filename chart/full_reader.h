#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "chart/chart.h"
#include "chart/chart_reader.h"
#include "platform/text_file.h"

namespace carvel {

// The full reading of chart text (see docs/CHART-FORMAT.md, "The full reading"): header fields,
// the media requests in line order, and every sound and picture at its time in its timeline.
// Progress is told after each measure that added events. seed fixes the #RANDOM draws.
Chart readFullChartText(QStringView text, const QString& folder, ReadProgress* progress,
                        std::optional<std::uint32_t> seed);
// Told that the bytes before a point of the text are not read again.
using BytesDone = std::function<void(const char*)>;

// The same reading of bytes that decoder can decode line by line (byLines()), decoding only the
// lines that are not plain ASCII channel lines. The bytes must stay until it returns; bytesDone,
// when given, is told as the events are placed which of them it no longer reads.
Chart readFullChartBytes(const LineDecoder& decoder, const QString& folder, ReadProgress* progress,
                         std::optional<std::uint32_t> seed, const BytesDone& bytesDone = nullptr);

}  // namespace carvel
