#pragma once

#include <QString>

#include "platform/path_lookup.h"

namespace carvel {

// A sound or picture that a chart line names, with the file found for it (if any). Decoding is
// someone else's job; the request keeps what its messages quote.
struct MediaRequest {
    enum class Kind { Sound, Picture, Stage };
    Kind kind = Kind::Sound;
    int index = 0;      // sound or picture index; 0 for the stage picture
    QString name;       // the file name as the chart wrote it
    QString indexText;  // the two characters after "#WAV" / "#BMP", as written
    FoundFile file;     // not found() when missing
    // A #BMP line that does not end in ".BMP": such pictures are not shown.
    bool notBitmap = false;
    // A picture named with a video extension (full reading): the file is played as a video.
    bool video = false;
};

}  // namespace carvel
