// Fuzzes the loader of a unit's own coredll.dll, which reads whatever file a user hands
// kelbrun-sim --coredll: it ends, stays within memory, and either refuses the file in one line
// or gives an image that lies in the DLL area whole, with whole pages, its sections in order
// inside it, and a MainThreadBaseFunc in its code where a process can start.
#include <string_view>

#include "platform/sim/emulator/kernel/coredll_image.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

void CheckImage(const sim::DllImage& dll) {
    const size_t memory = dll.memory.size();
    FUZZ_CHECK(memory % sim::kPageSize == 0 && memory > 0);
    FUZZ_CHECK(dll.base >= sim::kDllAreaBegin && dll.base + uint64_t{memory} <= sim::kDllAreaEnd);
    FUZZ_CHECK(dll.base == dll.fileBase || dll.base == sim::kCoredllUsualBase);
    FUZZ_CHECK(dll.headersSize <= memory);
    size_t end = dll.headersSize;
    for (const sim::PeSection& section : dll.sections) {
        FUZZ_CHECK(section.rva >= end && section.rva % sim::kPageSize == 0);
        FUZZ_CHECK(section.size % sim::kPageSize == 0 && section.rva + section.size <= memory);
        end = section.rva + section.size;
    }
    const uint32_t start = dll.ExportAddress(sim::kMainThreadOrdinal) & ~1u;
    FUZZ_CHECK(start >= dll.base && start - dll.base < memory);
    // Every address in the image is named by the nearest export, in one line.
    const std::string where = dll.NearestExport(start);
    FUZZ_CHECK(!where.empty() && where.find('\n') == std::string::npos);
    FUZZ_CHECK(!dll.NearestExport(dll.base).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(bytes), size);
    const auto read = sim::ReadCoredllImage(file);
    if (const auto* refusal = std::get_if<std::string>(&read)) {
        FUZZ_CHECK(!refusal->empty() && refusal->find('\n') == std::string::npos);
        return 0;
    }
    CheckImage(std::get<sim::DllImage>(read));
    return 0;
}
