#pragma once

namespace carvel {

// What the load-state line of the player shows.
enum class LoadState { Waiting, Loading, Loaded };

// What the status line of the player shows.
enum class PlayerStatus {
    NoFile,
    NotFound,
    Opened,
    CannotPlay,
    // A chart that could not be read, by reason; each ends its load as CannotPlay would.
    TooLarge,
    Unreadable,
    OutOfMemory,
    Playing,
    LoadingMedia,  // the run waits for a sound or picture still being decoded
    Stopped,
    Completed,
    NothingForLong,  // the run ended: its next event lay too far ahead to wait for
};

}  // namespace carvel
