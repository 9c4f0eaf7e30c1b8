#include "tests/sim_test_support.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

#include "tests/pe/test_pe.h"

namespace testing_support {

ScratchRoot::ScratchRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelbrun-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a scratch folder");
    }
    path_ = pattern;
}

ScratchRoot::~ScratchRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void ScratchRoot::AddFile(const std::string& relative) const {
    const std::filesystem::path file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    // A program the unit starts, so that what a test lays out as a program is one.
    const std::string program = testpe::Write(testpe::MicrosoftProgram());
    std::ofstream(file, std::ios::binary)
        .write(program.data(), static_cast<std::streamsize>(program.size()));
}

void ScratchRoot::AddFolder(const std::string& relative) const {
    std::filesystem::create_directories(path_ / relative);
}

void SetRawValue(sim::Device& device, std::u16string_view name, std::vector<uint8_t> bytes,
                 uint32_t type) {
    sim::RegistryValue value;
    value.type = type;
    value.bytes = std::move(bytes);
    device.registry.SetValue(kPathsKey, name, std::move(value));
}

}  // namespace testing_support
