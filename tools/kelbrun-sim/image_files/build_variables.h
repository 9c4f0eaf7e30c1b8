// The variables of an image build, as its build window holds them: what decides the IF blocks,
// the $(NAME) substitutions and the components of an OS design's files.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_BUILD_VARIABLES_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_BUILD_VARIABLES_H

#include <map>
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

}  // namespace imagefiles

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_BUILD_VARIABLES_H
