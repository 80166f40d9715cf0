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
    if (chart.mode == ReadingMode::Full) {
        text += QStringLiteral("\r\nMODE : 拡張");
    }
    return text;
}

QString bpmText(const Chart& chart) {
    if (chart.mode == ReadingMode::Classic) {
        return QString::number(chart.bpm);
    }
    return QString::number(chart.startBpm, 'g', QLocale::FloatingPointShortest);
}

}  // namespace carvel
