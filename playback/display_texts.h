#pragma once

#include <QString>

#include "chart/load_message.h"
#include "playback/player_state.h"

namespace carvel {

// The one place where states and load messages become the Japanese texts the user reads; the
// windows and the command-line tools all show these.
QString loadStateText(LoadState state);
QString statusText(PlayerStatus status);
QString messageText(const LoadMessage& message);

}  // namespace carvel
