// The image builder's IF blocks: the variables of the image build that decide them, and the
// blocks open at a line of a file.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_CONDITIONS_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_CONDITIONS_H

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace regfile {

// The build's variables (environment variables, in the build window). Names compare without
// regard to case, as the build's environment does; values compare exactly. A variable not set
// here is not set.
class Variables {
  public:
    // Sets the variable; a later value replaces an earlier one.
    void Set(std::u16string_view name, std::u16string_view value);
    // The variable's value, or nothing when it is not set.
    const std::u16string* Find(std::u16string_view name) const;

  private:
    std::map<std::u16string, std::u16string> values_;  // by folded name
};

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
