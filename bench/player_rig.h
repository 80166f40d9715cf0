// The set-up that the benchmarks of the live player share: the player wired as the application
// wires it, on the real SDL output, and the files a generated chart needs.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "media/sdl_output.h"
#include "playback/chart_queue.h"
#include "playback/playback_driver.h"
#include "playback/player_controller.h"
#include "playback/player_view.h"

namespace carvel::bench {

// The queue of a benchmark that plays one chart: nothing to step to.
class OneChart final : public ChartQueue {
  public:
    std::optional<QString> stepForward() override { return std::nullopt; }
    std::optional<QString> stepBack() override { return std::nullopt; }
};

// The controller on the SDL output (set SDL_AUDIODRIVER where there is no sound card), run by the
// driver that it wakes. It reports to the caller's view, which must outlive the rig, or else to a
// view that shows nothing.
class PlayerRig {
  public:
    explicit PlayerRig(PlayerView* view = nullptr);
    PlayerRig(const PlayerRig&) = delete;
    PlayerRig& operator=(const PlayerRig&) = delete;

    media::SdlOutput& output() { return output_; }
    PlayerController& controller() { return controller_; }

  private:
    media::SdlOutput output_;
    OneChart queue_;
    PlayerView quiet_;
    PlayerController controller_;
    PlaybackDriver driver_;
};

// The time from an action to the next sound that the output mixes: start() notes the output's
// count of starts mixed and the time, runs the action, then polls on a 0 ms precise timer until the
// count changes and hands the delay in milliseconds to `mixed`. One measurement at a time.
class NextMixTimer {
  public:
    NextMixTimer(const media::SdlOutput& output, std::function<void(double)> mixed);
    void start(const std::function<void()>& action);

  private:
    const media::SdlOutput& output_;
    std::function<void(double)> mixed_;
    QTimer poll_;
    std::int64_t before_ = 0;
    std::chrono::steady_clock::time_point started_;
};

// Writes samples, `channels` interleaved, as a 16-bit WAV at 44,100 Hz. Set-up only: a failure is
// not reported.
void writeWav(const QString& path, const std::vector<short>& samples, int channels = 1);

// Writes text to the file name in dir and returns its path.
QString writeChart(const QTemporaryDir& dir, const QString& name, const QByteArray& text);

// A sound index as a chart names it: two base-36 digits, upper case (1 to 1295).
QByteArray chartIndex(int index);

}  // namespace carvel::bench
