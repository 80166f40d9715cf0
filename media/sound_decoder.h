#pragma once

#include <sndfile.h>

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/sound.h"

namespace carvel::media {

// A sound is refused from its header alone when its rate lies outside these bounds or when it would
// last longer than kMaxSoundSeconds: nothing is allocated for it.
inline constexpr int kMinSoundRate = 1000;
inline constexpr int kMaxSoundRate = 384000;
inline constexpr int kMaxSoundSeconds = 600;

// How decoded samples are held. Compact: always 16-bit, the least memory, for playing through the
// sound card. Exact: 16-bit only where the file's samples are 16-bit ones at the output rate,
// floats otherwise, so that an offline render gives the same bytes however a sound is held.
enum class SamplePrecision { Compact, Exact };

// One sound file, opened and measured from its header but not yet decoded, so that its decoded
// size is known before anything is allocated. Reads whatever libsndfile reads (PCM WAV of any
// width, ADPCM, float, OGG, FLAC, ...), detected by content. nativePath is the file's name on disk.
// Instances are independent: several threads may each use their own.
class SoundFile {
  public:
    enum class Status { Ok, Unreadable, UnsupportedRate, TooLong };

    SoundFile(const QByteArray& nativePath, int outputRate,
              SamplePrecision precision = SamplePrecision::Compact);

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

    std::int64_t readFloats(float* out, int channels, std::int64_t frames);
    std::int64_t copyShorts(std::int16_t* out);
    std::int64_t copyFloats();
    std::int64_t convertRate();
    void keep(const float* frames, int channels, std::int64_t count);

    std::unique_ptr<SNDFILE, Closer> file_;
    Status status_ = Status::Unreadable;
    int channels_ = 0;         // the file's
    int kept_ = 0;             // the sound's: 1 or 2
    bool exactPcm16_ = false;  // the file holds 16-bit samples at the output rate
    bool pcm16_ = false;       // the sound keeps 16-bit samples
    int fileRate_ = 0;
    int outputRate_ = 0;
    std::int64_t fileFrames_ = 0;
    std::int64_t capacity_ = 0;  // output frames decode() allocates
    std::int64_t chunkFrames_ = 0;
    std::vector<float> chunk_;  // one read of the file's frames
    Sound* sound_ = nullptr;    // being decoded
    std::int64_t stored_ = 0;   // frames kept so far
};

// Opens and decodes in one step; null unless the file's status is Ok and it decodes.
SoundPtr decodeSound(const QByteArray& nativePath, int outputRate,
                     SamplePrecision precision = SamplePrecision::Compact);

}  // namespace carvel::media
