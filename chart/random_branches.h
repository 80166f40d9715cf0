#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace carvel {

// The #RANDOM and #SWITCH blocks of the full reading: follows the control lines and says whether
// the lines between them are read.
//
// #RANDOM n draws 1..n (nothing below 1), #SETRANDOM n sets n; either one right after another at
// the same level replaces the value. #IF k, #ELSEIF k and #ELSE choose against the innermost value;
// an #IF with no value in force is never chosen. #ENDIF closes the innermost #IF and any #RANDOM
// opened inside it; #ENDRANDOM closes the innermost #RANDOM and any #IF left open inside it.
//
// #SWITCH n draws like #RANDOM, #SETSWITCH n sets n, and each opens a switch. Reading starts at the
// #CASE of its value and falls through the next cases until a #SKIP; #DEF is read when no #CASE of
// the switch has its value, wherever the #DEF stands (the caller says which values the switch's
// cases have, see setSwitchCases). Lines before the first #CASE are not read. Only #ENDSW closes a
// switch, together with whatever was opened inside it; #ENDIF and #ENDRANDOM do not reach through
// a switch, and #CASE, #SKIP and #DEF first close what was opened inside the innermost switch.
//
// A closing line with nothing to close is ignored. A #RANDOM or #SWITCH inside a branch that is
// not read draws nothing, so the draws depend only on the branches read.
class RandomBranches {
  public:
    // seed: the same seed draws the same values; nullopt draws from the system's entropy.
    explicit RandomBranches(std::optional<std::uint32_t> seed);

    // The #CASE values of each switch, in the order of the #SWITCH / #SETSWITCH lines from the
    // next one on.
    void setSwitchCases(std::vector<std::vector<std::int64_t>> cases);
    // Whether key (without '#', any case) opens a switch.
    static bool opensSwitch(QStringView key);
    // Handles a control line (key without '#', any case); false when key is no control word.
    bool control(QStringView key, QStringView value);

    // Whether the lines at this point are read.
    bool reading() const { return frames_.empty() || frames_.back().reading; }

    // The integer part of a control line's leading number, clamped to 32 bits.
    static std::int64_t integerOf(QStringView value);

  private:
    enum class Kind { Random, If, Switch };
    struct Frame {
        Kind kind = Kind::Random;
        bool reading = true;        // lines inside are read
        bool enclosingRead = true;  // lines around it are read
        bool matched = false;       // #IF: a branch was chosen; #SWITCH: a #CASE has the value
        bool started = false;       // #SWITCH: reading has begun at a #CASE or the #DEF
        bool skipped = false;       // #SWITCH: a #SKIP ended the reading
        // #RANDOM: its value; other frames: the value of the nearest #RANDOM below, if any. Kept
        // in each frame so that unclosed blocks, however deep, cost nothing per line.
        std::optional<std::int64_t> value;
        std::int64_t switchValue = 0;
        // One past the index of the nearest frame at or below this one that is no #IF, no
        // #RANDOM, or a #SWITCH; 0 when there is none.
        size_t notIf = 0;
        size_t notRandom = 0;
        size_t switchAt = 0;
    };
    void push(Frame frame);
    void setValue(std::int64_t value);
    void openSwitch(std::int64_t value);
    std::optional<std::int64_t> valueBelow(size_t frame) const;
    bool popToIf();
    Frame* popToSwitch();
    size_t top(size_t Frame::*field) const { return frames_.empty() ? 0 : frames_.back().*field; }
    std::uint64_t next();
    std::int64_t draw(std::int64_t n);

    std::vector<Frame> frames_;
    std::vector<std::vector<std::int64_t>> switchCases_;
    size_t switchesSeen_ = 0;
    std::uint64_t state_;
};

}  // namespace carvel
