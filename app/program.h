#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/reading_setting.h"
#include "app/screen_keeper.h"
#include "chartview/chart_view_window.h"
#include "media/sound_output.h"
#include "platform/clock.h"
#include "playback/playback_driver.h"
#include "playback/player_controller.h"
#include "player/player_window.h"
#include "playlist/playlist.h"
#include "playlist/playlist_window.h"

namespace carvel {

// The whole program on a given sound output and clock: the playlist, the player's controller and
// its driver, and the windows (the player, the playlist, and the chart view once asked for), which
// know nothing of each other and meet here.
class Program {
  public:
    // listFile is read and written; previousListFile ("" for none) is read instead while listFile
    // does not exist. settingsFile remembers the reading mode and the chart view's window between
    // runs (empty: classic at every start, nothing remembered).
    Program(media::SoundOutput& output, Clock& clock, const QString& listFile,
            const QString& previousListFile = {}, const QString& settingsFile = {});

    // Reads the list file and acts on the command-line text, then shows the first window.
    void start(const QString& commandLine);

    // A later start handed over its working folder and its arguments: they are acted on as a
    // command-line start, and the program's window comes to the front. A later start with --full
    // reads in full from then on, as the first start's --full would.
    void handOver(const QStringList& message);

    // Reads (and searches for) the charts of this run in mode; the remembered mode is unchanged.
    void useReadingMode(ReadingMode mode);

    // No sound device could be opened: the charts play in silence. The player's information box
    // says so until a chart is loaded, and the playlist window's title for the whole run.
    void reportNoSoundDevice(const QString& text);

    // This run never writes its list file (it could not be locked); the box tells why.
    void neverWriteListFile(const QString& why);

    // Ends the program the way closing the playlist window does (the playlist is saved).
    void exit();

    // What a media key asks. Each shows the player first when it is to play: a hidden player
    // stops what it plays.
    void play();  // the loaded chart again, or Start when none is loaded
    void stop();
    void next();
    void previous();
    // Brings the window the user sees (the player, else the playlist window) to the front.
    void raise();

    // Called once the program has ended (the application's quit).
    std::function<void()> onQuit;
    // Called when what plays may have changed (a status change of the player).
    std::function<void()> onPlayerChanged;

    Playlist& playlist() { return playlist_; }
    PlayerController& controller() { return controller_; }
    PlayerWindow& player() { return player_; }
    PlaylistWindow& playlistWindow() { return playlistWindow_; }
    // The chart view; nullptr until it is first asked for.
    ChartViewWindow* chartView() const { return chartView_.get(); }
    // Builds the chart view on the player's controller the first time, and brings it to the front.
    void showChartView();

  private:
    void chartDropped(const QString& path);
    // The pictures of a playing chart are in sight: the player's picture area or the BGA window.
    bool picturesInSight() const;
    void showPlayer();

    ReadingSetting readingSetting_;
    Playlist playlist_;
    PlayerView noView_;
    PlayerController controller_;
    PlaybackDriver driver_;
    PlayerWindow player_;
    PlaylistWindow playlistWindow_;
    QString settingsFile_;
    std::unique_ptr<ChartViewWindow> chartView_;  // before the controller goes
    // The screen stays on while a chart plays with its pictures in sight; checked each second.
    ScreenKeeper screenKeeper_;
    QTimer screenCheck_;
};

}  // namespace carvel
