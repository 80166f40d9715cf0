#pragma once

#include <QString>

#include "chart/chart.h"
#include "chart/load_message.h"
#include "playback/player_state.h"

namespace carvel {

// The one place where states and load messages become the Japanese texts the user reads; the
// windows and the command-line tools all show these.
QString loadStateText(LoadState state);
QString statusText(PlayerStatus status);
QString messageText(const LoadMessage& message);
// The information box's text: the header fields as "LABEL : value" lines joined by CR LF, none
// after the last, and "MODE : 拡張" last in the full reading.
QString informationText(const Chart& chart);
// What the player and carvel-play say once when no sound device opens (reason: SDL's words).
QString noSoundDeviceText(const QString& reason);
// The title of a chart that gives none, in the lists.
QString untitledText();

}  // namespace carvel
