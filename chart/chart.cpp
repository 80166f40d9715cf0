#include "chart/chart.h"

#include <QLocale>

namespace carvel {

QString informationText(const Chart& chart) {
    if (chart.mode == ReadingMode::Classic) {
        return QStringLiteral("TITLE : ") + chart.title + QStringLiteral("\r\nGENRE : ") +
               chart.genre + QStringLiteral("\r\nARTIST : ") + chart.artist +
               QStringLiteral("\r\nBPM : ") + QString::number(chart.bpm);
    }
    QString text = QStringLiteral("TITLE : ") + chart.title;
    if (!chart.subtitle.isEmpty()) {
        text += QStringLiteral("\r\nSUBTITLE : ") + chart.subtitle;
    }
    return text + QStringLiteral("\r\nGENRE : ") + chart.genre + QStringLiteral("\r\nARTIST : ") +
           chart.artist + QStringLiteral("\r\nBPM : ") + bpmText(chart) +
           QStringLiteral("\r\nMODE : 拡張");
}

QString bpmText(const Chart& chart) {
    if (chart.mode == ReadingMode::Classic) {
        return QString::number(chart.bpm);
    }
    return QString::number(chart.startBpm, 'g', QLocale::FloatingPointShortest);
}

}  // namespace carvel
