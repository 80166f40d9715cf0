#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace carvel::media {

// A decoded key sound at the output rate, interleaved, with its own channel count (1 or 2). It
// holds 16-bit samples when the file's samples are exactly 16-bit ones (8- or 16-bit PCM, ADPCM,
// 16-bit FLAC, at the output rate), which is most key sounds, or come from a lossy codec; otherwise
// floats in [-1, 1] (24-bit and float files, lossless files at other rates), so that mixing gives
// exactly what the file holds. The player holds every sound as 16-bit (SamplePrecision::Compact).
struct Sound {
    int sampleRate = 0;
    int channels = 2;
    std::vector<std::int16_t> pcm16;  // used when not empty
    std::vector<float> pcm;

    std::int64_t frames() const {
        return static_cast<std::int64_t>(pcm16.empty() ? pcm.size() : pcm16.size()) / channels;
    }
};

// The value a 16-bit sample stands for, as the decoder's floats give it.
inline constexpr float kPcm16Scale = 1.0f / 32768.0f;

using SoundPtr = std::shared_ptr<const Sound>;

}  // namespace carvel::media
