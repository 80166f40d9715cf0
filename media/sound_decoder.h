#pragma once

#include <sndfile.h>

#include <QByteArray>
#include <array>
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

// The most samples (of one channel) that one byte of a compressed file (FLAC, Ogg Vorbis or Opus,
// MP3, ALAC, or a format not known here) is taken to give. Digital silence compresses furthest:
// FLAC's constant blocks of 4,096 frames give about 1,200 samples a byte, Vorbis's and Opus's
// silent packets up to about 2,000. A header that claims more than its file's bytes can give (at
// this ratio, or at the fixed widths of PCM and ADPCM formats) is believed only that far: nothing
// past it is decoded, and the budget is not asked for more.
inline constexpr double kCompressedSamplesPerByte = 2048;

// Files that the decoding library refused (or that are Ogg streams cut short within their
// headers, which are refused without reaching it) are remembered, by device, inode, size and
// modification time, while the program runs: opening one again is refused at once, so that a
// looping playlist does not pay again what the library leaks on each refusal. At most this many
// are remembered; past it the oldest is forgotten.
inline constexpr std::size_t kMaxRememberedUnreadable = 65536;

// How decoded samples are held. Compact: always 16-bit, the least memory, for playing through the
// sound card. Exact: 16-bit where the file's samples are 16-bit ones at the output rate and where a
// lossy codec (Vorbis, Opus, MP3) decoded them, whose floats are no more precise than that; floats
// otherwise (24-bit and float files, lossless files at another rate), so that an offline render of
// such files gives the same bytes however a sound is held.
enum class SamplePrecision { Compact, Exact };

// One sound file, opened and measured from its header but not yet decoded, so that its decoded
// size is known before anything is allocated. Reads whatever libsndfile reads (PCM WAV of any
// width, ADPCM, float, OGG, FLAC, ...), detected by content. nativePath is the file's name on disk.
// Instances are independent: several threads may each use their own.
class SoundFile {
  public:
    // CutOff: set by decode() when the file breaks off before the end its header claims (a
    // partial download): the sound holds the frames before the break. A file that gives no frame
    // is Unreadable.
    enum class Status { Ok, Unreadable, UnsupportedRate, TooLong, CutOff };

    SoundFile(const QByteArray& nativePath, int outputRate,
              SamplePrecision precision = SamplePrecision::Compact);

    Status status() const { return status_; }
    int fileRate() const { return fileRate_; }  // as the header says; 0 when unreadable
    // The most that decode() holds for the samples, from the header's length bounded by the
    // file's size (see kCompressedSamplesPerByte); for an Ogg Vorbis or Opus stream whose end the
    // library cannot find (one cut off), from its last whole page, without which it is Unreadable.
    // 0 unless status() is Ok (or CutOff).
    std::size_t decodedBytes() const;

    // Decodes at the output rate (see Sound for the sample format): the file is read and its rate
    // converted (libsamplerate) chunk by chunk into a buffer whose pages are filled only as
    // samples come; room that a short file leaves unused is given back, so the sound holds
    // heldBytes() of at most decodedBytes(). Mono stays mono; of more channels the first two are
    // kept. Null when the status is not Ok or reading or converting fails. A file that breaks off
    // after some frames gives them, and the status becomes CutOff. Call at most once.
    SoundPtr decode();

  private:
    struct Closer {
        void operator()(SNDFILE* file) const { sf_close(file); }
    };

    std::int64_t readFloats(float* out, int channels, std::int64_t frames);
    std::int64_t copyShorts();
    std::int64_t copyFloats();
    std::int64_t convertRate();
    void keep(const float* frames, int channels, std::int64_t count, bool fromFile);

    std::unique_ptr<SNDFILE, Closer> file_;
    std::array<std::uint64_t, 5> identity_{};  // device, inode, size, modification time
    Status status_ = Status::Unreadable;
    int channels_ = 0;         // the file's
    int kept_ = 0;             // the sound's: 1 or 2
    bool exactPcm16_ = false;  // the file holds 16-bit samples at the output rate
    bool pcm16_ = false;       // the sound keeps 16-bit samples
    int fileRate_ = 0;
    int outputRate_ = 0;
    std::int64_t claimedFrames_ = 0;     // the header's; SF_COUNT_MAX when it does not tell
    std::int64_t fileFrames_ = 0;        // to decode: the header's, bounded by the file's size
    std::int64_t framesRead_ = 0;        // of the file's frames, so far
    std::int64_t shortfallAllowed_ = 0;  // frames the header's length may be off without a cut
    bool claimsMore_ = false;     // a WAV whose data chunk claims more bytes than the file holds
    bool lengthUnknown_ = false;  // an Ogg stream whose last page the library did not find
    std::int64_t capacity_ = 0;   // output frames decode() allocates
    std::int64_t chunkFrames_ = 0;
    std::unique_ptr<float[]> chunk_;  // one read of the file's frames, not the 16-bit ones
    Sound* sound_ = nullptr;          // being decoded
    std::int64_t stored_ = 0;         // frames kept so far
};

// The bytes a decoded sound holds, unused reserve included.
std::size_t heldBytes(const Sound& sound);

// How many times files have been handed to the decoding library since the program started.
std::uint64_t soundLibraryOpens();
// Forgets the files remembered as unreadable (for a fuzzer, whose inputs reuse names).
void forgetUnreadableSounds();

// Opens and decodes in one step; null unless the file's status is Ok and it decodes.
SoundPtr decodeSound(const QByteArray& nativePath, int outputRate,
                     SamplePrecision precision = SamplePrecision::Compact);

}  // namespace carvel::media
