#pragma once

#include <QString>

#include "chart/chart_state.h"
#include "media/sound_output.h"
#include "platform/clock.h"

namespace carvel {

// Plays any key sound of the loaded chart by hand. lblWave holds the chosen index in upper-case
// hexadecimal ("" before the first use); lblPlay reads "■" once the preview is armed.
class SoundPreview {
  public:
    static constexpr int kLeftButton = 1;
    static constexpr int kRightButton = 2;

    SoundPreview(ChartState& chart, media::SoundOutput& sound, Clock& clock);

    void lblWave_MouseDown();
    // buttons: bit 1 left, bit 2 right. Left steps up, right steps down, wrapping within 0..FF.
    void lblWave_MouseMove(int buttons);
    void lblPlay_Click();

    QString lblWave;
    QString lblPlay;

  private:
    ChartState& chart_;
    media::SoundOutput& sound_;
    Clock& clock_;
};

}  // namespace carvel
