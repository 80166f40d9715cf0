#include "chart/chart_state.h"

namespace carvel {

void ChartState::Reset() {
    strArtist = QStringLiteral("undifined");
    strGenre = QStringLiteral("undifined");
    strTitle = QStringLiteral("undifined");
    intBpm = 130;
    strChartDir.clear();
    dsbWav.assign(1, nullptr);
    blnWav.assign(1, false);
    ddsBmp.assign(1, nullptr);
    blnBmp.assign(1, false);
    ddsStage.reset();
    blnStage = false;
    strBarLen = QStringList{QString()};
    List2.clear();
    colEvents.clear();
}

void ChartState::growWav(int index) {
    if (index >= 0 && static_cast<size_t>(index) >= dsbWav.size()) {
        dsbWav.resize(static_cast<size_t>(index) + 1);
        blnWav.resize(static_cast<size_t>(index) + 1, false);
    }
}

void ChartState::growBmp(int index) {
    if (index >= 0 && static_cast<size_t>(index) >= ddsBmp.size()) {
        ddsBmp.resize(static_cast<size_t>(index) + 1);
        blnBmp.resize(static_cast<size_t>(index) + 1, false);
    }
}

bool ChartState::soundLoaded(long long index) const {
    return index >= 0 && static_cast<unsigned long long>(index) < blnWav.size() &&
           blnWav[static_cast<size_t>(index)];
}

bool ChartState::pictureLoaded(long long index) const {
    return index >= 0 && static_cast<unsigned long long>(index) < blnBmp.size() &&
           blnBmp[static_cast<size_t>(index)];
}

QString chartInformationText(const ChartState& state) {
    return QStringLiteral("TITLE : ") + state.strTitle + QStringLiteral("\r\nGENRE : ") +
           state.strGenre + QStringLiteral("\r\nARTIST : ") + state.strArtist +
           QStringLiteral("\r\nBPM : ") + QString::number(state.intBpm);
}

}  // namespace carvel
