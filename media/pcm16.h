#pragma once

#include <cstdint>

namespace carvel::media {

// Turns rendered float samples into the 16-bit samples that every render file holds: each is
// clamped to [-1, 1], scaled by 32767 and rounded half away from zero. Every sink that writes
// 16-bit sound goes through here, so that they all hold the very same samples.
void toPcm16(const float* in, std::int64_t count, std::int16_t* out);

}  // namespace carvel::media
