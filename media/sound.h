#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace carvel::media {

// A decoded key sound: interleaved stereo float samples in [-1, 1] at the output rate.
struct Sound {
    int sampleRate = 0;
    std::vector<float> samples;  // L R L R ...

    std::int64_t frames() const { return static_cast<std::int64_t>(samples.size() / 2); }
};

using SoundPtr = std::shared_ptr<const Sound>;

}  // namespace carvel::media
