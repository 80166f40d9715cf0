#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace carvel {

// The #RANDOM blocks of the full reading: follows the control lines and says whether the lines
// between them are read.
//
// #RANDOM n draws 1..n (nothing below 1), #SETRANDOM n sets n; either one right after another at
// the same level replaces the value. #IF k, #ELSEIF k and #ELSE choose against the innermost value;
// an #IF with no value in force is never chosen. #ENDIF closes the innermost #IF and any #RANDOM
// opened inside it; #ENDRANDOM closes the innermost #RANDOM and any #IF left open inside it. A
// closing line with nothing to close is ignored. A #RANDOM inside a branch that is not read draws
// nothing, so the draws depend only on the branches read.
class RandomBranches {
  public:
    // seed: the same seed draws the same values; nullopt draws from the system's entropy.
    explicit RandomBranches(std::optional<std::uint32_t> seed);

    // Handles a control line (key without '#', any case); false when key is no control word.
    bool control(QStringView key, QStringView value);

    // Whether the lines at this point are read.
    bool reading() const { return frames_.empty() || frames_.back().reading; }

  private:
    struct Frame {
        bool isIf = false;
        bool reading = true;        // lines inside are read
        bool enclosingRead = true;  // lines around it are read
        bool matched = false;       // #IF: a branch was chosen
        // #RANDOM: its value; #IF: the value of the nearest #RANDOM below it, if any. Kept in each
        // frame so that unclosed blocks, however deep, cost nothing per line.
        std::optional<std::int64_t> value;
    };
    void setValue(std::int64_t value);
    std::optional<std::int64_t> valueBelow(size_t frame) const;
    bool popToIf();
    void truncate(size_t size);
    std::uint64_t next();

    std::vector<Frame> frames_;
    size_t ifs_ = 0;  // #IF frames in frames_, so that a closing line finds none without a search
    std::uint64_t state_;
};

}  // namespace carvel
