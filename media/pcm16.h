#pragma once

#include <algorithm>
#include <cstdint>

namespace carvel::media {

// Turns rendered float samples into the 16-bit samples that every render file holds: each is
// clamped to [-1, 1], scaled by 32767 and rounded half away from zero. Every sink that writes
// 16-bit sound goes through here, so that they all hold the very same samples.
void toPcm16(const float* in, std::int64_t count, std::int16_t* out);

// The 16-bit sample a sound holds for a decoded float: scaled by 32,768, rounded half away from
// zero and clamped, exactly as std::lround rounds it, which sounds have always been decoded with;
// as with lround's overflow, NaN and products of 2^63 and more give -32768.
inline std::int16_t heldPcm16(float sample) {
    const float x = sample * 32768.0f;
    const bool wild = !(x < 0x1p63f);
    const float clamped = wild ? 0.0f : std::min(std::max(x, -32768.0f), 32767.0f);
    const int whole = static_cast<int>(clamped);  // toward zero; the fraction left is exact
    const float fraction = clamped - static_cast<float>(whole);
    const int rounded = whole + (fraction >= 0.5f ? 1 : 0) - (fraction <= -0.5f ? 1 : 0);
    return static_cast<std::int16_t>(wild ? -32768 : rounded);
}

// heldPcm16 of `count` samples, four at a time without a branch (a decoded sound's samples are
// noise to a branch predictor). With zeroNonFinite, a sample that is not finite counts as 0, as a
// file's samples do.
void toHeldPcm16(const float* in, std::int64_t count, std::int16_t* out, bool zeroNonFinite);

}  // namespace carvel::media
