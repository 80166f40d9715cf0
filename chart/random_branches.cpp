#include "chart/random_branches.h"

#include <algorithm>
#include <random>

#include "chart/text_helpers.h"

namespace carvel {

RandomBranches::RandomBranches(std::optional<std::uint32_t> seed)
    : state_(seed ? *seed
                  : (std::uint64_t{std::random_device{}()} << 32) ^ std::random_device{}()) {}

std::int64_t RandomBranches::integerOf(QStringView value) {
    const double number = leadingNumber(value);
    return static_cast<std::int64_t>(std::clamp(number, -2147483648.0, 2147483647.0));
}

void RandomBranches::setSwitchCases(std::vector<std::vector<std::int64_t>> cases) {
    switchCases_ = std::move(cases);
    switchesSeen_ = 0;
}

bool RandomBranches::opensSwitch(QStringView key) {
    return sameKey(key, u"SWITCH") || sameKey(key, u"SETSWITCH");
}

// SplitMix64: small, and the same sequence on every platform for a given seed.
std::uint64_t RandomBranches::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    return z ^ (z >> 31);
}

// 1..n, or 0 when n is below 1 or the lines here are not read. 64 random bits modulo n: the bias
// is below 2^-32 for any n here.
std::int64_t RandomBranches::draw(std::int64_t n) {
    return n >= 1 && reading()
               ? 1 + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(n))
               : 0;
}

void RandomBranches::push(Frame frame) {
    const size_t self = frames_.size() + 1;
    frame.notIf = frame.kind != Kind::If ? self : top(&Frame::notIf);
    frame.notRandom = frame.kind != Kind::Random ? self : top(&Frame::notRandom);
    frame.switchAt = frame.kind == Kind::Switch ? self : top(&Frame::switchAt);
    frames_.push_back(frame);
}

void RandomBranches::setValue(std::int64_t value) {
    if (!frames_.empty() && frames_.back().kind == Kind::Random) {
        frames_.back().value = value;
        return;
    }
    Frame frame;
    frame.reading = frame.enclosingRead = reading();
    frame.value = value;
    push(frame);
}

void RandomBranches::openSwitch(std::int64_t value) {
    Frame frame;
    frame.kind = Kind::Switch;
    frame.enclosingRead = reading();
    frame.reading = false;
    frame.value = valueBelow(frames_.size());
    frame.switchValue = value;
    if (switchesSeen_ < switchCases_.size()) {
        const std::vector<std::int64_t>& cases = switchCases_[switchesSeen_];
        frame.matched = std::find(cases.begin(), cases.end(), value) != cases.end();
    }
    ++switchesSeen_;
    push(frame);
}

std::optional<std::int64_t> RandomBranches::valueBelow(size_t frame) const {
    return frame == 0 ? std::nullopt : frames_[frame - 1].value;
}

// Leaves the innermost #IF on top, closing the #RANDOM blocks opened in it; false when there is
// none that a closing line may reach.
bool RandomBranches::popToIf() {
    const size_t at = top(&Frame::notRandom);
    if (at == 0 || frames_[at - 1].kind != Kind::If) {
        return false;
    }
    frames_.resize(at);
    return true;
}

RandomBranches::Frame* RandomBranches::popToSwitch() {
    const size_t at = top(&Frame::switchAt);
    if (at == 0) {
        return nullptr;
    }
    frames_.resize(at);
    return &frames_.back();
}

bool RandomBranches::control(QStringView key, QStringView value) {
    if (sameKey(key, u"RANDOM")) {
        setValue(draw(integerOf(value)));
    } else if (sameKey(key, u"SETRANDOM")) {
        setValue(reading() ? integerOf(value) : 0);
    } else if (sameKey(key, u"IF")) {
        Frame frame;
        frame.kind = Kind::If;
        frame.enclosingRead = reading();
        frame.value = valueBelow(frames_.size());
        frame.matched = frame.value == integerOf(value);
        frame.reading = frame.enclosingRead && frame.matched;
        push(frame);
    } else if (sameKey(key, u"ELSEIF")) {
        if (popToIf()) {
            Frame& frame = frames_.back();
            const bool chosen = !frame.matched && frame.value == integerOf(value);
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
            frames_.pop_back();
        }
    } else if (sameKey(key, u"ENDRANDOM")) {
        const size_t at = top(&Frame::notIf);
        if (at != 0 && frames_[at - 1].kind == Kind::Random) {
            frames_.resize(at - 1);
        }
    } else if (sameKey(key, u"SWITCH")) {
        openSwitch(draw(integerOf(value)));
    } else if (sameKey(key, u"SETSWITCH")) {
        openSwitch(reading() ? integerOf(value) : 0);
    } else if (sameKey(key, u"CASE")) {
        if (Frame* frame = popToSwitch(); frame != nullptr && !frame->skipped) {
            frame->started = frame->started || frame->switchValue == integerOf(value);
            frame->reading = frame->enclosingRead && frame->started;
        }
    } else if (sameKey(key, u"DEF")) {
        if (Frame* frame = popToSwitch(); frame != nullptr && !frame->skipped) {
            frame->started = frame->started || !frame->matched;
            frame->reading = frame->enclosingRead && frame->started;
        }
    } else if (sameKey(key, u"SKIP")) {
        if (Frame* frame = popToSwitch(); frame != nullptr && frame->started) {
            frame->skipped = true;
            frame->reading = false;
        }
    } else if (sameKey(key, u"ENDSW")) {
        if (const size_t at = top(&Frame::switchAt); at != 0) {
            frames_.resize(at - 1);
        }
    } else {
        return false;
    }
    return true;
}

}  // namespace carvel
