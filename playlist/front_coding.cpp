#include "playlist/front_coding.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace carvel {

namespace {

// Writes n at `at` and returns the end: at most 10 bytes.
char* putNumber(char* at, size_t n) {
    while (n >= 0x80) {
        *at++ = static_cast<char>((n & 0x7F) | 0x80);
        n >>= 7;
    }
    *at++ = static_cast<char>(n);
    return at;
}

uint64_t load64(const char* at) {
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

size_t readNumber(const char*& in) {
    size_t n = 0;
    for (unsigned shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*in++);
        n |= static_cast<size_t>(byte & 0x7F) << shift;
        if (byte < 0x80) {
            return n;
        }
    }
}

}  // namespace

char* writeCoded(char* at, QByteArrayView value, QByteArrayView previous) {
    const auto shortest = static_cast<size_t>(std::min(value.size(), previous.size()));
    const char* const v = value.data();
    const char* const p = previous.data();
    // Eight bytes at a time while they match, then byte by byte.
    size_t prefix = 0;
    while (prefix + 8 <= shortest && load64(v + prefix) == load64(p + prefix)) {
        prefix += 8;
    }
    while (prefix < shortest && v[prefix] == p[prefix]) {
        ++prefix;
    }
    const size_t room = shortest - prefix;  // what the suffix may take without overlapping
    const char* const vEnd = v + value.size();
    const char* const pEnd = p + previous.size();
    size_t suffix = 0;
    while (suffix + 8 <= room && load64(vEnd - suffix - 8) == load64(pEnd - suffix - 8)) {
        suffix += 8;
    }
    while (suffix < room && vEnd[-1 - static_cast<std::ptrdiff_t>(suffix)] ==
                                pEnd[-1 - static_cast<std::ptrdiff_t>(suffix)]) {
        ++suffix;
    }
    const size_t middle = static_cast<size_t>(value.size()) - prefix - suffix;
    at = putNumber(at, prefix);
    at = putNumber(at, suffix);
    at = putNumber(at, middle);
    // Neighbours mostly differ in a few bytes, fewer than a call to memcpy is worth.
    if (middle <= 16) {
        for (size_t i = 0; i < middle; ++i) {
            at[i] = v[prefix + i];
        }
    } else {
        std::memcpy(at, v + prefix, middle);
    }
    return at + middle;
}

void readCoded(const char*& in, std::vector<char>& value, std::vector<char>& scratch) {
    const size_t prefix = readNumber(in);
    const size_t suffix = readNumber(in);
    const size_t middle = readNumber(in);
    scratch.resize(prefix + middle + suffix);
    // memcpy may not be given the null pointer of an empty buffer, even for no bytes.
    const auto copy = [](char* to, const char* from, size_t n) {
        if (n > 0) {
            std::memcpy(to, from, n);
        }
    };
    char* const out = scratch.data();
    copy(out, value.data(), prefix);
    copy(out + prefix, in, middle);
    copy(out + prefix + middle, value.data() + value.size() - suffix, suffix);
    in += middle;
    value.swap(scratch);
}

}  // namespace carvel
