// What an OS design's .bib and .dat files put on the simulated device: the image's files in
// \Windows, and the folders and copies the object store makes from them at cold boot.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_DEVICE_IMAGE_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_DEVICE_IMAGE_H

#include <optional>
#include <string>

#include "platform/sim/file_system.h"
#include "tools/kelbrun-sim/image_files/image_contents.h"

namespace imagefiles {

// The image's file a copy is made from: the last one listed of that name, when the copy's
// source is a file of \Windows; nothing when the image has no such file.
const ImageFile* SourceOf(const ImageContents& contents, const StoreCopy& copy);

// Adds the image's files, then its folders, then the copies whose source the image has (with
// that file's content, when known), behind the files of the root folder. A copy of a file the
// image lacks is not made: the object store has nothing to copy. Gives "FILE:LINE: why" for the
// first path the device cannot hold, and then leaves the file system as it was.
std::optional<std::string> ApplyImage(const ImageContents& contents, sim::FileSystem& files);

}  // namespace imagefiles

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_FILES_DEVICE_IMAGE_H
