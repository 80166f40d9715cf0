#pragma once

#include <QByteArray>

#include "media/sound.h"

namespace carvel::media {

// Decodes whatever libsndfile reads (PCM WAV of any width, ADPCM, float, OGG, FLAC, ...), detected
// by content, into stereo float at outputRate, converting the rate with libsamplerate. Mono is
// copied to both sides; of more channels the first two are kept. Returns null when the file cannot
// be opened or decoded. nativePath is the file's name on disk. Safe to call from several threads
// at once.
SoundPtr decodeSound(const QByteArray& nativePath, int outputRate);

}  // namespace carvel::media
