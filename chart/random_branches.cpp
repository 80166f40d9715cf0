#include "chart/random_branches.h"

#include <algorithm>
#include <random>

#include "chart/text_helpers.h"

namespace carvel {

namespace {

// The integer part of the leading number, clamped to 32 bits.
std::int64_t integerOf(QStringView value) {
    const double number = leadingNumber(value);
    return static_cast<std::int64_t>(std::clamp(number, -2147483648.0, 2147483647.0));
}

}  // namespace

RandomBranches::RandomBranches(std::optional<std::uint32_t> seed)
    : state_(seed ? *seed
                  : (std::uint64_t{std::random_device{}()} << 32) ^ std::random_device{}()) {}

// SplitMix64: small, and the same sequence on every platform for a given seed.
std::uint64_t RandomBranches::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    return z ^ (z >> 31);
}

void RandomBranches::setValue(std::int64_t value) {
    if (!frames_.empty() && !frames_.back().isIf) {
        frames_.back().value = value;
        return;
    }
    Frame frame;
    frame.reading = frame.enclosingRead = reading();
    frame.value = value;
    frames_.push_back(frame);
}

std::optional<std::int64_t> RandomBranches::valueBelow(size_t frame) const {
    return frame == 0 ? std::nullopt : frames_[frame - 1].value;
}

void RandomBranches::truncate(size_t size) {
    while (frames_.size() > size) {
        ifs_ -= frames_.back().isIf ? 1 : 0;
        frames_.pop_back();
    }
}

// Each frame walked over here is removed, so the walks cost no more than the pushes.
bool RandomBranches::popToIf() {
    if (ifs_ == 0) {
        return false;
    }
    size_t top = frames_.size();
    while (!frames_[top - 1].isIf) {
        --top;
    }
    truncate(top);
    return true;
}

bool RandomBranches::control(QStringView key, QStringView value) {
    if (sameKey(key, u"RANDOM")) {
        const std::int64_t n = integerOf(value);
        // 64 random bits modulo n: the bias is below 2^-32 for any n here.
        setValue(n >= 1 && reading()
                     ? 1 + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(n))
                     : 0);
    } else if (sameKey(key, u"SETRANDOM")) {
        setValue(reading() ? integerOf(value) : 0);
    } else if (sameKey(key, u"IF")) {
        Frame frame;
        frame.isIf = true;
        frame.enclosingRead = reading();
        frame.value = valueBelow(frames_.size());
        frame.matched = frame.value == integerOf(value);
        frame.reading = frame.enclosingRead && frame.matched;
        frames_.push_back(frame);
        ++ifs_;
    } else if (sameKey(key, u"ELSEIF")) {
        if (popToIf()) {
            Frame& frame = frames_.back();
            const bool chosen =
                !frame.matched && valueBelow(frames_.size() - 1) == integerOf(value);
            frame.matched = frame.matched || chosen;
            frame.reading = frame.enclosingRead && chosen;
        }
    } else if (sameKey(key, u"ELSE")) {
        if (popToIf()) {
            Frame& frame = frames_.back();
            frame.reading = frame.enclosingRead && !frame.matched;
            frame.matched = true;
        }
    } else if (sameKey(key, u"ENDIF")) {
        if (popToIf()) {
            truncate(frames_.size() - 1);
        }
    } else if (sameKey(key, u"ENDRANDOM")) {
        if (frames_.size() > ifs_) {
            size_t top = frames_.size();
            while (frames_[top - 1].isIf) {
                --top;
            }
            truncate(top - 1);
        }
    } else {
        return false;
    }
    return true;
}

}  // namespace carvel
