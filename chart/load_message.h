#pragma once

#include <QString>

namespace carvel {

// A problem found while a chart loads, as data; playback/display_texts turns it into the text the
// user reads.
struct LoadMessage {
    enum class Kind {
        ChartNotFound,     // name: the chart's path as given
        ChartUnreadable,   // name: the path
        ChartTooLarge,     // name: the path
        ChartOutOfMemory,  // name: the path
        NoEvents,
        SoundNotFound,  // name: the file as written; index: the index as written
        SoundUnreadable,
        SoundRateUnsupported,  // number: the file's sample rate
        SoundTooLong,
        SoundCutOff,      // the file breaks off; its sound holds what comes before
        SoundOverBudget,  // the chart's sounds together would take too much memory
        PictureNotFound,
        PictureNotBitmap,
        PictureUnreadable,
        PictureOverBudget,  // the chart's pictures together would take too much memory
        StageNotFound,
        StageUnreadable,
        BmsonInvalid,     // name: what the JSON parser says; number: the byte offset
        BmsonField,       // name: the field, as "sound_channels[].notes[].y"
        StageOverBudget,  // the same for the stage picture
        VideoNotFound,    // a picture named as a video (full reading)
        VideoUnplayable,  // a video that cannot be opened or decoded
    };
    Kind kind = Kind::NoEvents;
    QString name;
    QString index;
    qint64 number = 0;

    bool operator==(const LoadMessage&) const = default;
};

}  // namespace carvel
