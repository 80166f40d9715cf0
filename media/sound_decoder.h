#pragma once

#include <sndfile.h>

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "media/sound.h"

namespace carvel::media {

// A sound is refused from its header alone when its rate lies outside these bounds or when it would
// last longer than kMaxSoundSeconds: nothing is allocated for it.
inline constexpr int kMinSoundRate = 1000;
inline constexpr int kMaxSoundRate = 384000;
inline constexpr int kMaxSoundSeconds = 600;

// One sound file, opened and measured from its header but not yet decoded, so that its decoded
// size is known before anything is allocated. Reads whatever libsndfile reads (PCM WAV of any
// width, ADPCM, float, OGG, FLAC, ...), detected by content. nativePath is the file's name on disk.
// Instances are independent: several threads may each use their own.
class SoundFile {
  public:
    enum class Status { Ok, Unreadable, UnsupportedRate, TooLong };

    SoundFile(const QByteArray& nativePath, int outputRate);

    Status status() const { return status_; }
    int fileRate() const { return fileRate_; }  // as the header says; 0 when unreadable
    // What decode() allocates for the samples; 0 unless status() is Ok.
    std::size_t decodedBytes() const;

    // Decodes at the output rate into one buffer sized once from the header (see Sound for the
    // sample format): the file is read and its rate converted (libsamplerate) chunk by chunk. Mono
    // stays mono; of more channels the first two are kept. Null when the status is not Ok or
    // reading or converting fails. Call at most once.
    SoundPtr decode();

  private:
    struct Closer {
        void operator()(SNDFILE* file) const { sf_close(file); }
    };

    std::int64_t readInto(float* out, int channels, std::int64_t frames);
    std::int64_t copyAll(float* out);
    std::int64_t copyAll(std::int16_t* out);
    std::int64_t resampleAll(float* out);

    std::unique_ptr<SNDFILE, Closer> file_;
    Status status_ = Status::Unreadable;
    int channels_ = 0;      // the file's
    int kept_ = 0;          // the sound's: 1 or 2
    bool pcm16_ = false;    // the samples are kept as 16-bit ones
    int fileRate_ = 0;
    int outputRate_ = 0;
    std::int64_t fileFrames_ = 0;
    std::int64_t capacity_ = 0;  // output frames decode() allocates
    std::unique_ptr<float[]> chunk_;
    std::int64_t chunkFrames_ = 0;
};

// Opens and decodes in one step; null unless the file's status is Ok and it decodes.
SoundPtr decodeSound(const QByteArray& nativePath, int outputRate);

}  // namespace carvel::media
