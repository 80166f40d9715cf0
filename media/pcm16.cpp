#include "media/pcm16.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

namespace {

// GCC and Clang vectors: SSE2 or NEON registers, or plain code where there are none.
using Float4 = float __attribute__((vector_size(16)));
using Int4 = std::int32_t __attribute__((vector_size(16)));

// a where the mask is set (-1), b where it is clear (0).
Float4 select(Int4 mask, Float4 a, Float4 b) {
    return reinterpret_cast<Float4>((reinterpret_cast<Int4>(a) & mask) |
                                    (reinterpret_cast<Int4>(b) & ~mask));
}

Float4 splat(float v) {
    return Float4{v, v, v, v};
}

}  // namespace

void toHeldPcm16(const float* in, std::int64_t count, std::int16_t* out, bool zeroNonFinite) {
    const Float4 zero = splat(0.0f);
    std::int64_t i = 0;
    for (; i + 4 <= count; i += 4) {
        Float4 v;
        std::memcpy(&v, in + i, sizeof v);
        if (zeroNonFinite) {
            v = select(v - v == zero, v, zero);  // inf - inf and NaN - NaN are NaN
        }
        const Float4 x = v * 32768.0f;
        const Int4 tame = x < splat(0x1p63f);
        Float4 clamped = select(tame, x, zero);
        clamped = select(clamped < splat(-32768.0f), splat(-32768.0f), clamped);
        clamped = select(clamped > splat(32767.0f), splat(32767.0f), clamped);
        const Int4 whole = __builtin_convertvector(clamped, Int4);  // toward zero
        const Float4 fraction = clamped - __builtin_convertvector(whole, Float4);
        // A true comparison is -1.
        const Int4 rounded = whole - (fraction >= splat(0.5f)) + (fraction <= splat(-0.5f));
        const Int4 held = (rounded & tame) | (Int4{-32768, -32768, -32768, -32768} & ~tame);
        for (int k = 0; k < 4; ++k) {
            out[i + k] = static_cast<std::int16_t>(held[k]);
        }
    }
    for (; i < count; ++i) {
        out[i] = heldPcm16(zeroNonFinite && !std::isfinite(in[i]) ? 0.0f : in[i]);
    }
}

}  // namespace carvel::media
