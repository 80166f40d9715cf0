#pragma once

#include "playback/compositor.h"
#include "playback/video_layers.h"

namespace carvel {

// What the player shows and how it treats late events, whichever reading's engine plays: the
// player's switches set it once, and both engines read it and compose into its one compositor.
struct DisplayState {
    // What the picture area shows instead of the pictures of the chart.
    enum class Overlay { None, Title, Miss };

    bool skipLateEvents = false;  // Wait Off: events found late are dropped instead of handled
    bool picturesShown = false;   // picture events change the picture area only while shown
    Overlay overlay = Overlay::None;
    Compositor compositor;
    VideoLayers videos;  // the videos on the compositor's surfaces
};

}  // namespace carvel
