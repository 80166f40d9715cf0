#pragma once

#include <QString>
#include <vector>

#include "chart/event.h"
#include "chart/media_request.h"

namespace carvel {

// A chart as read from its file: header fields, the event table and the media it names. It holds
// no sounds or pictures; those are decoded from `media` by a separate step.
struct Chart {
    QString title = QStringLiteral("undifined");
    QString genre = QStringLiteral("undifined");
    QString artist = QStringLiteral("undifined");
    int bpm = 130;   // the one tempo, beats per minute, 1..32767
    QString folder;  // the chart's folder, ending in '/'; empty when the file was not read

    // In the event table's order (EventOrder).
    std::vector<Event> events;
    // The ratio of each bar end (channel 2) event, indexed by its value.
    std::vector<double> barEndRatios;

    // The #WAV, #BMP and #STAGEFILE lines, in line order.
    std::vector<MediaRequest> media;
};

// The information text shown for the chart: four lines joined by CR LF, none after the last.
QString informationText(const Chart& chart);

}  // namespace carvel
