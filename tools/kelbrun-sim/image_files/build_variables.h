// The variables of an image build, as its build window holds them: what decides the IF blocks,
// the $(NAME) substitutions and the components of an OS design's files.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_BUILD_VARIABLES_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_BUILD_VARIABLES_H

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace imagefiles {

// Names compare without regard to case, as Windows environment variables do; values compare
// exactly. A variable not set here is not set.
class Variables {
  public:
    // Sets the variable; a later value replaces an earlier one.
    void Set(std::u16string_view name, std::u16string_view value);
    // The variable's value, or nothing when it is not set.
    const std::u16string* Find(std::u16string_view name) const;

  private:
    std::map<std::u16string, std::u16string> values_;  // by folded name
};

// Looks a variable up by name; nothing when it is not set.
using VariableLookup = std::function<const std::u16string*(std::u16string_view)>;

// Whether a component gate (a @CESYSGEN condition's name, or the component of a COREDLL export)
// holds by Cefilter's rule: <TREE>_MODULES_<M> when M is a word of <TREE>_MODULES (such as
// CE_MODULES_FILESYS and CE_MODULES), <MODULE>_<C> when C is a word of <MODULE>_COMPONENTS
// (COREDLL_SHEXEC and COREDLL_COMPONENTS); words are separated by blanks and compare without
// regard to case. Nothing when no variable the gate could rest on is set.
std::optional<bool> GateHolds(std::u16string_view gate, const VariableLookup& find);

}  // namespace imagefiles

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_BUILD_VARIABLES_H
