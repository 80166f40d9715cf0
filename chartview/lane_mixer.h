#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QWidget>
#include <array>

#include "playback/player_controller.h"

namespace carvel {

// The gain slider's steps are whole dB from kLowestGainStep to PlayerController::kMaxGainDb; its
// lowest step is silence (-infinity dB).
inline constexpr int kLowestGainStep = -40;
double gainDbOfStep(int step);
int stepOfGainDb(double gainDb);
// "-∞ dB", "-12 dB", "+0 dB", "+6 dB".
QString gainText(double gainDb);

// The lane mixer: for the background sounds and each side's keys a mute switch and a gain slider,
// bound to the controller and applied at once.
class LaneMixer : public QWidget {
  public:
    explicit LaneMixer(PlayerController& controller, QWidget* parent = nullptr);

    // Shows the controller's settings again.
    void refresh();

    struct Strip {
        media::Lane lane;
        QCheckBox* mute = nullptr;
        QSlider* gain = nullptr;
        QLabel* value = nullptr;
    };
    static constexpr std::size_t kStrips = 3;
    const std::array<Strip, kStrips>& strips() const { return strips_; }

  private:
    PlayerController& controller_;
    std::array<Strip, kStrips> strips_;
};

}  // namespace carvel
