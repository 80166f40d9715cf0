#pragma once

#include <QString>
#include <functional>

#include "app/reading_setting.h"
#include "media/sound_output.h"
#include "platform/clock.h"
#include "playback/playback_driver.h"
#include "playback/player_controller.h"
#include "player/player_window.h"
#include "playlist/playlist.h"
#include "playlist/playlist_window.h"

namespace carvel {

// The whole program on a given sound output and clock: the playlist, the player's controller and
// its driver, and the two windows, which know nothing of each other and meet here.
class Program {
  public:
    // settingsFile remembers the reading mode between runs (empty: classic at every start).
    Program(media::SoundOutput& output, Clock& clock, const QString& listFile,
            const QString& settingsFile = {});

    // Reads the list file and acts on the command-line text, then shows the first window.
    void start(const QString& commandLine);

    // Reads (and searches for) the charts of this run in mode; the remembered mode is unchanged.
    void useReadingMode(ReadingMode mode);

    // Ends the program the way closing the playlist window does (the playlist is saved).
    void exit();

    // Called once the program has ended (the application's quit).
    std::function<void()> onQuit;

    Playlist& playlist() { return playlist_; }
    PlayerController& controller() { return controller_; }
    PlayerWindow& player() { return player_; }
    PlaylistWindow& playlistWindow() { return playlistWindow_; }

  private:
    void chartDropped(const QString& path);

    ReadingSetting readingSetting_;
    Playlist playlist_;
    PlayerView noView_;
    PlayerController controller_;
    PlaybackDriver driver_;
    PlayerWindow player_;
    PlaylistWindow playlistWindow_;
};

}  // namespace carvel
