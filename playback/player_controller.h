#pragma once

#include <functional>

#include "chart/chart_loader.h"
#include "chart/chart_state.h"
#include "media/sound_output.h"
#include "platform/clock.h"
#include "playback/playback_engine.h"
#include "playback/player_view.h"
#include "playback/playlist.h"
#include "playback/sound_preview.h"

namespace carvel {

// The player's commands: open a chart, the transport, stepping through the playlist. The player
// window binds its controls to these and shows what the view is told; nothing here knows widgets.
class PlayerController final : private PlaybackEngine::Host {
  public:
    PlayerController(ChartState& chart, Playlist& playlist, media::SoundOutput& sound, Clock& clock,
                     PlayerView& view);

    // The window is built after the controller it binds to; it takes over the reports then.
    void setView(PlayerView& view) { view_ = &view; }

    // Resets the chart state, loads path, lists the messages, shows the header fields, then plays.
    void FileLoad(const QString& path);

    // Step forward / back through the playlist (both wrap around) and open the chart there.
    void toNext();
    void Backto();
    // Silences and releases every key sound of the chart (the player is closing).
    void Reset();

    void cmdPlay_Click() { engine_.cmdPlay_Click(); }
    void cmdStop_Click() { engine_.cmdStop_Click(); }
    void cmdFF_Click() { engine_.cmdFF_Click(); }
    void cmdRev_Click() { engine_.cmdRev_Click(); }
    void cmdNext_Click() { toNext(); }
    void cmdBack_Click() { Backto(); }

    PlaybackEngine& engine() { return engine_; }
    SoundPreview& preview() { return preview_; }
    ChartState& chart() { return chart_; }
    Playlist& playlist() { return playlist_; }

    // The driver's hook: called whenever a pass should run soon.
    void setWakeHandler(std::function<void()> handler) { wake_ = std::move(handler); }
    // Runs instead of toNext when a run has completed (it is called during a pass).
    void setCompletionHandler(std::function<void()> handler) { completion_ = std::move(handler); }

  private:
    bool playerVisible() override { return view_->playerVisible(); }
    void closePlayer() override { view_->closePlayer(); }
    void statusChanged(const QString& text) override { view_->statusChanged(text); }
    void pictureChanged(const QImage& primary) override { view_->pictureChanged(primary); }
    void runCompleted() override;
    void wake() override;

    ChartState& chart_;
    Playlist& playlist_;
    media::SoundOutput& sound_;
    PlayerView* view_;
    PlaybackEngine engine_;
    SoundPreview preview_;
    std::function<void()> wake_;
    std::function<void()> completion_;
};

}  // namespace carvel
