#include "chart/chart.h"

#include <QLocale>
#include <utility>

namespace carvel {

std::vector<std::pair<QString, QString>> headerFields(const Chart& chart) {
    std::vector<std::pair<QString, QString>> fields = {{QStringLiteral("TITLE"), chart.title}};
    if (!chart.subtitle.isEmpty()) {  // only the full reading reads #SUBTITLE
        fields.emplace_back(QStringLiteral("SUBTITLE"), chart.subtitle);
    }
    fields.emplace_back(QStringLiteral("GENRE"), chart.genre);
    fields.emplace_back(QStringLiteral("ARTIST"), chart.artist);
    fields.emplace_back(QStringLiteral("BPM"), bpmText(chart));
    for (auto& extra : headerExtras(chart)) {
        fields.push_back(std::move(extra));
    }
    return fields;
}

std::vector<std::pair<QString, QString>> headerExtras(const Chart& chart) {
    std::vector<std::pair<QString, QString>> extras;
    if (!chart.playLevel.isEmpty()) {
        extras.emplace_back(QStringLiteral("PLAYLEVEL"), chart.playLevel);
    }
    if (!chart.difficulty.isEmpty()) {
        extras.emplace_back(QStringLiteral("DIFFICULTY"), chart.difficulty);
    }
    return extras;
}

void Chart::setMode(ReadingMode mode) {
    if (mode == ReadingMode::Full) {
        body = Timeline();
    } else {
        body = EventTable();
    }
}

const EventTable& Chart::table() const {
    static const EventTable none;
    const EventTable* table = std::get_if<EventTable>(&body);
    return table != nullptr ? *table : none;
}

const Timeline& Chart::timeline() const {
    static const Timeline none;
    const Timeline* timeline = std::get_if<Timeline>(&body);
    return timeline != nullptr ? *timeline : none;
}

QString bpmText(const Chart& chart) {
    if (chart.mode() == ReadingMode::Classic) {
        return QString::number(chart.bpm);
    }
    return QString::number(chart.startBpm, 'g', QLocale::FloatingPointShortest);
}

}  // namespace carvel
