#include "tools/kelbrun-sim/image_files/device_image.h"

#include "platform/sim/text.h"

namespace imagefiles {
namespace {

constexpr std::u16string_view kWindows = u"\\WINDOWS\\";

std::string Where(const Origin& where, std::u16string_view path) {
    return where.Describe() + ": " + sim::ToUtf8(path) + ": ";
}

}  // namespace

const ImageFile* SourceOf(const ImageContents& contents, const StoreCopy& copy) {
    const std::u16string source = sim::FoldCase(copy.source);
    if (!source.starts_with(kWindows)) {
        return nullptr;
    }
    const std::u16string name = source.substr(kWindows.size());
    const ImageFile* found = nullptr;
    for (const ImageFile& file : contents.files) {
        if (sim::FoldCase(file.name) == name) {
            found = &file;
        }
    }
    return found;
}

std::optional<std::string> ApplyImage(const ImageContents& contents, sim::FileSystem& files) {
    sim::FileSystem applied = files;
    // An image has its \Windows even when its files list none.
    applied.AddImageFolder(u"\\Windows");
    for (const ImageFile& file : contents.files) {
        const std::u16string path = u"\\Windows\\" + file.name;
        if (file.name.find_first_of(u"\\/") != std::u16string::npos) {
            return Where(file.where, file.name) + "an image's file is named without a folder";
        }
        if (auto error = applied.AddImageFile(path, file.content)) {
            return Where(file.where, path) + *error;
        }
    }
    for (const StoreFolder& folder : contents.folders) {
        if (auto error = applied.AddImageFolder(folder.path)) {
            return Where(folder.where, folder.path) + *error;
        }
    }
    for (const StoreCopy& copy : contents.copies) {
        const ImageFile* source = SourceOf(contents, copy);
        if (source == nullptr) {
            continue;
        }
        if (auto error = applied.AddImageFile(copy.path, source->content)) {
            return Where(copy.where, copy.path) + *error;
        }
    }
    files = std::move(applied);
    return std::nullopt;
}

}  // namespace imagefiles
