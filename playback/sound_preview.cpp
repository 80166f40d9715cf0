#include "playback/sound_preview.h"

#include "chart/text_helpers.h"

namespace carvel {

SoundPreview::SoundPreview(const ChartMedia& media, media::SoundOutput& sound, Clock& clock)
    : media_(media), sound_(sound), clock_(clock) {}

void SoundPreview::press() {
    if (indexText_.isEmpty()) {
        indexText_ = QStringLiteral("0");
        armed_ = true;
    }
}

void SoundPreview::drag(int buttons) {
    if ((buttons & (kLeftButton | kRightButton)) == 0) {
        return;
    }
    int n = hexToInt(indexText_);
    if ((buttons & kLeftButton) != 0) {
        n = n + 1 == 256 ? 0 : n + 1;
    } else {
        n = n - 1 == -1 ? 255 : n - 1;
    }
    indexText_ = QString::number(n, 16).toUpper();
}

void SoundPreview::play() {
    if (!armed_) {
        return;
    }
    const int index = hexToInt(indexText_);
    if (media::SoundPtr sound = media_.sound(index)) {
        sound_.play(index, std::move(sound), clock_.nowMs());
    }
}

}  // namespace carvel
