// What an OS design's .bib and .dat files put on a unit: the files of its image's \Windows, and
// the folders and copies the object store makes at cold boot.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_IMAGE_CONTENTS_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_IMAGE_CONTENTS_H

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace imagefiles {

// The line of an OS design's file that said something, for the findings that name it.
struct Origin {
    std::string file;  // as the user named it, or as an #include reached it
    int line = 0;
    // The #include lines that reached the file, innermost first, such as "platform.reg:12";
    // empty for a file the user named.
    std::string includedFrom;

    // "file:line", with "(included from ...)" after it for an included file.
    std::string Describe() const {
        std::string text = file + ":" + std::to_string(line);
        return includedFrom.empty() ? text : text + " (included from " + includedFrom + ")";
    }
};

// A file of the image's \Windows, from a MODULES or FILES section.
struct ImageFile {
    std::u16string name;  // as the .bib lists it, without a folder
    // The host file that holds its bytes, when its host path resolved (through --map); its
    // content is unknown otherwise.
    std::optional<std::filesystem::path> content;
    bool module = false;  // listed under MODULES, not FILES
    Origin where;
};

// A folder the object store makes at cold boot, from a .dat Directory line.
struct StoreFolder {
    std::u16string path;  // the device path, such as "\Program Files\Navigator"
    Origin where;
};

// A copy of one of the image's files that the object store makes at cold boot, from a .dat
// File line.
struct StoreCopy {
    std::u16string path;    // the copy's device path, such as "\Program Files\Navigator\nav.exe"
    std::u16string source;  // the image's file, such as "\Windows\nav.exe"
    Origin where;
};

struct ImageContents {
    std::vector<ImageFile> files;  // in the order the files list them; a later name wins
    std::vector<StoreFolder> folders;
    std::vector<StoreCopy> copies;
};

}  // namespace imagefiles

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_IMAGE_CONTENTS_H
