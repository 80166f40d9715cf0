#include "chart/chart.h"

#include <QLocale>

namespace carvel {

QString informationText(const Chart& chart) {
    QString text = QStringLiteral("TITLE : ") + chart.title;
    if (!chart.subtitle.isEmpty()) {  // only the full reading reads #SUBTITLE
        text += QStringLiteral("\r\nSUBTITLE : ") + chart.subtitle;
    }
    text += QStringLiteral("\r\nGENRE : ") + chart.genre + QStringLiteral("\r\nARTIST : ") +
            chart.artist + QStringLiteral("\r\nBPM : ") + bpmText(chart);
    for (const auto& [label, field] : headerExtras(chart)) {
        text += QStringLiteral("\r\n") + label + QStringLiteral(" : ") + field;
    }
    if (chart.mode == ReadingMode::Full) {
        text += QStringLiteral("\r\nMODE : 拡張");
    }
    return text;
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

QString bpmText(const Chart& chart) {
    if (chart.mode == ReadingMode::Classic) {
        return QString::number(chart.bpm);
    }
    return QString::number(chart.startBpm, 'g', QLocale::FloatingPointShortest);
}

}  // namespace carvel
