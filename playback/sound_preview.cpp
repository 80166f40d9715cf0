#include "playback/sound_preview.h"

#include "chart/text_helpers.h"

namespace carvel {

SoundPreview::SoundPreview(ChartState& chart, media::SoundOutput& sound, Clock& clock)
    : chart_(chart), sound_(sound), clock_(clock) {}

void SoundPreview::lblWave_MouseDown() {
    if (lblWave.isEmpty()) {
        lblWave = QStringLiteral("0");
        lblPlay = QStringLiteral("■");
    }
}

void SoundPreview::lblWave_MouseMove(int buttons) {
    if ((buttons & (kLeftButton | kRightButton)) == 0) {
        return;
    }
    int n = HexToInt(lblWave);
    if ((buttons & kLeftButton) != 0) {
        n = n + 1 == 256 ? 0 : n + 1;
    } else {
        n = n - 1 == -1 ? 255 : n - 1;
    }
    lblWave = QString::number(n, 16).toUpper();
}

void SoundPreview::lblPlay_Click() {
    if (lblPlay.isEmpty()) {
        return;
    }
    const int index = HexToInt(lblWave);
    if (!chart_.soundLoaded(index) || !chart_.dsbWav[static_cast<size_t>(index)]) {
        return;
    }
    sound_.play(index, chart_.dsbWav[static_cast<size_t>(index)], clock_.nowMs());
}

}  // namespace carvel
