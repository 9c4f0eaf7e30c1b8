// Fuzzes the simulated device's path mapping: no device path, whatever its dots, separators,
// wildcards or length, resolves to anything outside the root folder or through a link, nor to
// anything in a folder that has not mounted yet; the image's files behind the root's are found
// with the content they were given, and a folder's listing holds what a search finds. An input
// of odd length gives, in its last byte, the device time of the search; the folder \A mounts at
// 128 ms.
#include <filesystem>
#include <string>

#include "platform/sim/file_system.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/sim_test_support.h"

namespace fs = std::filesystem;

namespace {

struct Tree {
    testing_support::ScratchRoot base;  // removed again when the fuzzer ends
    fs::path root;
    fs::path outside;

    Tree() : root(base.Path() / "root"), outside(base.Path() / "outside") {
        for (const char* file :
             {"root/SDMMC/UPDATE/Kelbrun.EXE", "root/A/b/c.txt", "outside/secret.txt"}) {
            base.AddFile(file);
        }
        base.AddFolder("root/Folder.EXE");
        fs::create_directory_symlink(outside, root / "escape");
        fs::create_directory_symlink("../../outside", root / "A/up");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const Tree tree;
    static const fs::path root = fs::canonical(tree.root);
    std::u16string path;
    for (size_t i = 0; i + 1 < size; i += 2) {
        path += static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    }
    sim::FileSystem files;
    files.SetRoot(tree.root);
    constexpr uint32_t kMountMs = 128;
    FUZZ_CHECK(!files.AddMount(u"\\A", kMountMs).has_value());
    const uint32_t nowMs = size % 2 == 1 ? bytes[size - 1] : sim::FileSystem::kEverythingMounted;
    // The image: a file the root shadows, one of its own, one in a folder of its own, and one in
    // the folder that mounts.
    const fs::path content = tree.outside / "secret.txt";
    FUZZ_CHECK(!files.AddImageFile(u"\\SDMMC\\UPDATE\\Kelbrun.EXE", content));
    FUZZ_CHECK(!files.AddImageFile(u"\\Windows\\gwes.exe", std::nullopt));
    FUZZ_CHECK(!files.AddImageFile(u"\\Program Files\\nav.exe", content));
    FUZZ_CHECK(!files.AddImageFile(u"\\A\\rom.txt", content));
    const auto found = files.Find(path, nowMs);
    for (const sim::FoundEntry& entry : files.List(path, nowMs)) {
        FUZZ_CHECK(entry.fromImage || fs::exists(fs::symlink_status(entry.hostPath)));
    }
    if (found && found->fromImage) {
        FUZZ_CHECK(found->hostPath.empty() || found->hostPath == content);
        FUZZ_CHECK(found->name != u"Kelbrun.EXE" || found->isFolder);
        return 0;
    }
    if (found && nowMs < kMountMs) {
        const fs::path relative = found->hostPath.lexically_relative(tree.root);
        FUZZ_CHECK(relative.empty() || *relative.begin() != "A");
    }
    if (found) {
        // Every folder walked through is a real folder below the root, not a link.
        const fs::path relative = found->hostPath.lexically_relative(tree.root);
        FUZZ_CHECK(!relative.empty() && *relative.begin() != "..");
        fs::path walked = tree.root;
        for (const fs::path& part : relative.parent_path()) {
            walked /= part;
            FUZZ_CHECK(!fs::is_symlink(walked) && fs::is_directory(walked));
        }
        FUZZ_CHECK(fs::canonical(found->hostPath.parent_path()).string().rfind(root.string(), 0) ==
                   0);
    }
    return 0;
}
