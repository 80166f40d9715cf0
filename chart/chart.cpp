#include "chart/chart.h"

namespace carvel {

QString informationText(const Chart& chart) {
    return QStringLiteral("TITLE : ") + chart.title + QStringLiteral("\r\nGENRE : ") + chart.genre +
           QStringLiteral("\r\nARTIST : ") + chart.artist + QStringLiteral("\r\nBPM : ") +
           QString::number(chart.bpm);
}

}  // namespace carvel
