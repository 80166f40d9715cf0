#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "media/picture.h"
#include "media/sound.h"

namespace carvel {

// Everything known about the open chart. One instance lives for the whole run; each open resets
// the chart part (Reset) and the loader fills it again.
//
// Tables indexed by a chart's hexadecimal index (dsbWav/blnWav, ddsBmp/blnBmp) always have the same
// size within a pair, at least one element, and grow only at their upper end. blnX[i] true implies
// that X[i] holds a decoded sound or picture.
struct ChartState {
    QString strTitle;
    QString strGenre;
    QString strArtist;
    int intBpm = 0;
    QString strChartDir;  // folder of the chart, ending in '/'

    std::vector<media::SoundPtr> dsbWav;
    std::vector<bool> blnWav;
    std::vector<media::PicturePtr> ddsBmp;
    std::vector<bool> blnBmp;
    media::PicturePtr ddsStage;
    bool blnStage = false;

    // Bar-length entries "tick,ratio text" in file order; the last element is always an empty
    // spare. An entry that the loader has used up reads "-1".
    QStringList strBarLen;

    // The event list: "position,channel,value" texts in ascending text order once a load ends
    // (ties kept). Texts are ASCII: digits, ',', '.', '-'.
    std::vector<std::string> List2;
    // During a load, the parser's working entries; after it, a copy of List2 that playback walks.
    std::vector<std::string> colEvents;

    // Picture display toggles and the current Miss picture; a reset leaves them alone.
    bool blnTitleBGA = false;
    bool blnMissBGA = false;
    int intMissBmp = 0;

    // Empties the chart part: default header fields, one empty element in each table, no stage
    // picture, no bar lengths, no events. Releases every sound and picture held.
    void Reset();

    // Grows a table pair to cover index; never shrinks.
    void growWav(int index);
    void growBmp(int index);

    bool soundLoaded(long long index) const;
    bool pictureLoaded(long long index) const;
};

// The information text shown for the chart: four lines joined by CR LF, none after the last.
QString chartInformationText(const ChartState& state);

}  // namespace carvel
