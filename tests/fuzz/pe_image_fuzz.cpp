// Fuzzes the simulated device's program loader, which reads whatever file a user hands
// kelbrun-sim --exe: it ends, stays within memory, and either refuses the file with a reason or
// gives an image whose every part the emulator may map and bind without looking again. The
// reading for --load-only, which keeps imports the device lacks, agrees with the run's reading,
// and its description has a line for each section and import.
#include <algorithm>
#include <string_view>

#include "platform/sim/emulator/coredll.h"
#include "platform/sim/emulator/pe_image.h"
#include "tests/fuzz/fuzz_check.h"
#include "tools/kelbrun-sim/load_only.h"

namespace {

size_t Lines(const std::string& text, std::string_view start) {
    size_t count = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        FUZZ_CHECK(end != std::string::npos);  // every line ends
        count += text.compare(at, start.size(), start) == 0 ? 1 : 0;
        at = end + 1;
    }
    return count;
}

void CheckImage(const sim::PeImage& image) {
    const size_t memory = image.memory.size();
    FUZZ_CHECK(image.base >= 0x10000 && image.base <= 0x400000);
    FUZZ_CHECK(image.base == image.fileBase || !image.relocationsStripped);
    FUZZ_CHECK(memory % sim::kPageSize == 0 && memory <= sim::kProgramLimit - image.base);
    FUZZ_CHECK(image.headersSize <= memory);
    FUZZ_CHECK(image.stackReserve % sim::kPageSize == 0 && image.stackReserve >= 0x4000 &&
               image.stackReserve <= 0x100000);
    size_t end = image.headersSize;
    for (const sim::PeSection& section : image.sections) {
        FUZZ_CHECK(section.rva >= end && section.rva % sim::kPageSize == 0);
        FUZZ_CHECK(section.size % sim::kPageSize == 0 && section.rva + section.size <= memory);
        end = section.rva + section.size;
    }
    for (const sim::PeImport& import : image.imports) {
        FUZZ_CHECK(import.slotRva <= memory - 4);
        FUZZ_CHECK(!import.offered || sim::CoredllOffers(import.name));
        // By name or by ordinal, never both.
        FUZZ_CHECK(import.hintNameRva == 0 || import.ordinal == 0);
        const bool inSection =
            std::any_of(image.sections.begin(), image.sections.end(), [&](const sim::PeSection& s) {
                return import.slotRva >= s.rva && import.slotRva + 4 <= s.rva + s.size;
            });
        FUZZ_CHECK(inSection);
        FUZZ_CHECK(!sim::DescribeImport(import).empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(bytes), size);
    const auto run = sim::ReadPeImage(file, sim::CoredllOffers);
    const auto described = sim::ReadPeImage(file, sim::CoredllOffers, sim::MissingImports::kKeep);
    if (const auto* refusal = std::get_if<std::string>(&described)) {
        // What --load-only refuses, a run refuses too: for the same reason, or for an import
        // the device lacks, which the loader meets first (a managed program's mscoree.dll and a
        // base the simulator cannot move to are looked at only once the imports are bound).
        FUZZ_CHECK(!refusal->empty() && refusal->find('\n') == std::string::npos);
        FUZZ_CHECK(std::holds_alternative<std::string>(run));
        const std::string& ran = std::get<std::string>(run);
        FUZZ_CHECK(ran == *refusal || ran.find("does not offer") != std::string::npos);
        // And the unit's own rules refuse it with an error, or leave it to the simulator.
        const auto unit = sim::LoadPeImage(
            file, sim::LoaderRules{sim::CoredllOffers, sim::MissingImports::kRefuse, {}});
        FUZZ_CHECK(std::holds_alternative<sim::PeRefusal>(unit));
        return 0;
    }
    const sim::PeImage& image = std::get<sim::PeImage>(described);
    CheckImage(image);
    const bool lacking = std::any_of(image.imports.begin(), image.imports.end(),
                                     [](const sim::PeImport& i) { return !i.offered; });
    // A run is refused exactly when something is lacking, and then in one line.
    FUZZ_CHECK(std::holds_alternative<std::string>(run) == lacking);
    if (lacking) {
        const std::string& refusal = std::get<std::string>(run);
        FUZZ_CHECK(refusal.find("does not offer") != std::string::npos &&
                   refusal.find('\n') == std::string::npos);
    } else {
        FUZZ_CHECK(std::get<sim::PeImage>(run).imports.size() == image.imports.size());
    }
    const std::string text = simloadonly::Describe(image);
    FUZZ_CHECK(Lines(text, "section ") == image.sections.size());
    FUZZ_CHECK(Lines(text, "import ") == image.imports.size());
    FUZZ_CHECK(Lines(text, "entry at ") == 1 && Lines(text, "stack reserve ") == 1);
    return 0;
}
