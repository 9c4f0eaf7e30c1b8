// Helpers shared by the tests: a scratch root folder for the simulated device, and value bytes.
#ifndef KELBRUN_TESTS_SIM_TEST_SUPPORT_H
#define KELBRUN_TESTS_SIM_TEST_SUPPORT_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/device.h"

namespace testing_support {

inline constexpr char16_t kPathsKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths";

// A fresh, empty host folder, removed again when the test ends.
class ScratchRoot {
  public:
    ScratchRoot();
    ~ScratchRoot();
    ScratchRoot(const ScratchRoot&) = delete;
    ScratchRoot& operator=(const ScratchRoot&) = delete;

    const std::filesystem::path& Path() const {
        return path_;
    }
    // Creates a file (with its folders) at a path relative to the root, "/"-separated: a small
    // Windows CE program a unit starts, whatever its name.
    void AddFile(const std::string& relative) const;
    void AddFolder(const std::string& relative) const;

  private:
    std::filesystem::path path_;
};

// Sets a value of raw bytes in the launcher's key.
void SetRawValue(sim::Device& device, std::u16string_view name, std::vector<uint8_t> bytes,
                 uint32_t type = sim::kRegSz);

}  // namespace testing_support

#endif  // KELBRUN_TESTS_SIM_TEST_SUPPORT_H
