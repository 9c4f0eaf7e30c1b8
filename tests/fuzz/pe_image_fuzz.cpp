// Fuzzes the simulated device's program loader, which reads whatever file a user hands
// kelbrun-sim --exe: it ends, stays within memory, and either refuses the file with a reason or
// gives an image whose every part the emulator may map and bind without looking again.
#include <string_view>

#include "platform/sim/emulator/coredll.h"
#include "platform/sim/emulator/pe_image.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(bytes), size);
    const auto result = sim::ReadPeImage(file, sim::CoredllOffers);
    if (const auto* refusal = std::get_if<std::string>(&result)) {
        FUZZ_CHECK(!refusal->empty());
        return 0;
    }
    const sim::PeImage& image = std::get<sim::PeImage>(result);
    const size_t memory = image.memory.size();
    FUZZ_CHECK(image.base == sim::kProgramBase);
    FUZZ_CHECK(memory % sim::kPageSize == 0 && memory <= sim::kProgramLimit - sim::kProgramBase);
    FUZZ_CHECK(image.headersSize <= memory && image.stackReserve % sim::kPageSize == 0);
    bool entryInCode = false;
    size_t end = image.headersSize;
    for (const sim::PeSection& section : image.sections) {
        FUZZ_CHECK(section.rva >= end && section.rva % sim::kPageSize == 0);
        FUZZ_CHECK(section.size % sim::kPageSize == 0 && section.rva + section.size <= memory);
        end = section.rva + section.size;
        entryInCode |= section.execute && image.entryRva >= section.rva &&
                       image.entryRva < section.rva + section.size;
    }
    FUZZ_CHECK(entryInCode);
    for (const sim::PeImport& import : image.imports) {
        FUZZ_CHECK(import.offered && sim::CoredllOffers(import.name));
        FUZZ_CHECK(import.slotRva <= memory - 4);
    }
    return 0;
}
