// The variables of an image build, as its build window holds them: what decides the IF blocks,
// the $(NAME) substitutions and the components of an OS design's files.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_BUILD_VARIABLES_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_BUILD_VARIABLES_H

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace imagefiles {

// Names compare without regard to case, as Windows environment variables do; values compare
// exactly. A variable not set here is not set.
class Variables {
  public:
    // Sets the variable; a later value replaces an earlier one.
    void Set(std::u16string_view name, std::u16string_view value);
    // The variable's value, or nothing when it is not set.
    const std::u16string* Find(std::u16string_view name) const;
    bool Empty() const {
        return values_.empty();
    }
    // Whether a variable a component gate can rest on is set: a <TREE>_MODULES or a
    // <MODULE>_COMPONENTS (see GateReadings).
    bool HasGateVariable() const;

  private:
    std::map<std::u16string, std::u16string> values_;  // by folded name
};

// Looks a variable up by name; nothing when it is not set.
using VariableLookup = std::function<const std::u16string*(std::u16string_view)>;

// A component gate (a @CESYSGEN condition's name, or the component of a COREDLL export) read
// by Cefilter's rule: <TREE>_MODULES_<M> looks for the word M in the variable <TREE>_MODULES
// (such as CE_MODULES_FILESYS in CE_MODULES), <MODULE>_<C> for C in <MODULE>_COMPONENTS
// (COREDLL_SHEXEC in COREDLL_COMPONENTS). A module's name may hold an underscore itself, so the
// gate is split at every one: each split is one reading. Both in upper case.
struct GateReading {
    std::u16string variable;
    std::u16string word;

    friend bool operator==(const GateReading&, const GateReading&) = default;
};

// The gate's readings in the order they are tried: <TREE>_MODULES_<M> first, then each split
// from the first underscore on. None for a gate of neither form.
std::vector<GateReading> GateReadings(std::u16string_view gate);

// Whether the gate holds, and the reading that decided: the first that holds, or else the first
// whose variable is set. Words are separated by blanks and compare without regard to case.
struct GateDecision {
    bool holds = false;
    GateReading by;
};
// Nothing when no variable the gate could rest on is set.
std::optional<GateDecision> DecideGate(std::u16string_view gate, const VariableLookup& find);

// DecideGate's verdict alone.
std::optional<bool> GateHolds(std::u16string_view gate, const VariableLookup& find);

}  // namespace imagefiles

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_BUILD_VARIABLES_H
