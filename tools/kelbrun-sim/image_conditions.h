// The image builder's IF blocks: the variables of the image build that decide them, and the
// blocks open at a line of a file.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_CONDITIONS_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_CONDITIONS_H

#include <string>
#include <string_view>
#include <vector>

#include "tools/kelbrun-sim/image_files/build_variables.h"

namespace regfile {

using imagefiles::Variables;

// The IF blocks open while a file is read, one reader per file: a block never goes on into
// the next file.
class Conditions {
  public:
    explicit Conditions(const Variables& variables) : variables_(variables) {}

    // Whether the line, trimmed and without its comment, is an IF or an ENDIF line.
    static bool IsConditionLine(std::u16string_view text);
    // Opens or closes a block; throws Failure for a malformed line or an ENDIF without its IF.
    void Take(std::u16string_view text, int line);
    // Whether the lines read now count: every open block's condition holds.
    bool Live() const {
        return skipping_ == 0;
    }
    // At the end of the file; throws Failure, naming its line, for an IF never closed.
    void End() const;

  private:
    bool Holds(std::u16string_view condition, int line) const;

    struct Block {
        int line = 0;  // of its IF
        bool holds = false;
    };

    const Variables& variables_;
    std::vector<Block> open_;  // outermost first
    size_t skipping_ = 0;      // how many of the open blocks do not hold
};

}  // namespace regfile

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_CONDITIONS_H
