#pragma once

#include <QString>

#include "media/sound_output.h"
#include "platform/clock.h"
#include "playback/chart_media.h"

namespace carvel {

// Plays any key sound of the loaded chart by hand. The chosen index is kept as the text the player
// shows (upper-case hexadecimal, "" before the first use); the preview is armed by the first
// press and plays nothing before.
class SoundPreview {
  public:
    static constexpr int kLeftButton = 1;
    static constexpr int kRightButton = 2;

    SoundPreview(const ChartMedia& media, media::SoundOutput& sound, Clock& clock);

    // A press on the index: arms the preview at index 0 the first time; never changes the index.
    void press();
    // A drag over the index with buttons held (bit 1 left, bit 2 right): left steps up, right steps
    // down, wrapping within 0..FF; the left button wins.
    void drag(int buttons);
    // Plays the chosen sound from its beginning, when armed and the sound is loaded.
    void play();

    const QString& indexText() const { return indexText_; }
    bool armed() const { return armed_; }

  private:
    const ChartMedia& media_;
    media::SoundOutput& sound_;
    Clock& clock_;
    QString indexText_;
    bool armed_ = false;
};

}  // namespace carvel
