// The files that set what an OS design's files are read with: the build window's variables and
// the .str files' strings.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_SETTINGS_FILES_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_SETTINGS_FILES_H

#include <map>
#include <string>
#include <string_view>

#include "tools/kelbrun-sim/image_files/build_variables.h"
#include "tools/kelbrun-sim/image_files/image_contents.h"
#include "tools/kelbrun-sim/image_files/source_text.h"

namespace imagefiles {

// The build window's variables as "set > FILE" writes them: NAME=VALUE lines. Throws Failure.
void ReadEnvironment(std::string_view bytes, int codepage, const Origin& file,
                     Variables& variables);

// A .str file's #define LOC_NAME "text" and #define LOC_NAME ~"text" lines, with // comments.
// Throws Failure.
void ReadStrings(std::string_view bytes, int codepage, const Origin& file,
                 std::map<std::u16string, std::u16string>& strings);

}  // namespace imagefiles

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_SETTINGS_FILES_H
