#include "media/pcm16.h"

#include <algorithm>
#include <cmath>

namespace carvel::media {

void toPcm16(const float* in, std::int64_t count, std::int16_t* out) {
    for (std::int64_t i = 0; i < count; ++i) {
        // NaN, which a damaged float sound can bring, becomes silence rather than an undefined
        // conversion. Rounds half away from zero. Written without a branch so that the loop
        // vectorizes.
        const float sample = in[i] == in[i] ? in[i] : 0.0f;
        const float v = std::clamp(sample, -1.0f, 1.0f) * 32767.0f;
        out[i] = static_cast<std::int16_t>(v + std::copysign(0.5f, v));
    }
}

}  // namespace carvel::media
