#include "tools/kelbrun-sim/load_only.h"

#include <cstdio>

#include "platform/sim/emulator/coredll.h"
#include "platform/sim/emulator/coredll_exports.h"
#include "platform/sim/host_file.h"
#include "platform/sim/program_start.h"

namespace simloadonly {
namespace {

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

// The page protection the unit's loader gives a section, named as Windows CE names it: from the
// write and execute flags alone, since every section can be read.
const char* Protection(const sim::PeSection& section) {
    if (section.write) {
        return section.execute ? "PAGE_EXECUTE_READWRITE" : "PAGE_READWRITE";
    }
    return section.execute ? "PAGE_EXECUTE_READ" : "PAGE_READONLY";
}

std::string Binding(const sim::PeImport& import) {
    if (import.offered) {
        return "bound to the simulated device";
    }
    const sim::CoredllExport* known =
        import.name.empty() ? nullptr : sim::FindCoredllExport(import.name);
    std::string text = "not offered by the simulated device";
    if (known != nullptr) {
        text += std::string(known->component) == "always"
                    ? " (every unit offers it)"
                    : std::string(" (a unit offers it only with ") + known->component + ")";
    }
    return text;
}

}  // namespace

std::string Describe(const sim::PeImage& image) {
    std::string text = "placed at " + Hex(image.base) +
                       (image.relocationsStripped ? " (its own base: it has no relocations)\n"
                                                  : " (it can be relocated)\n");
    for (const sim::PeSection& section : image.sections) {
        text += "section " + section.name + " at " + Hex(image.base + section.rva) + ", " +
                std::to_string(section.size) + " bytes, " + Protection(section) +
                (section.discardable ? ", discardable" : "") + "\n";
    }
    text += "stack reserve " + std::to_string(image.stackReserve) + " bytes (Windows CE " +
            std::to_string(image.subsystemMajor) + "." + (image.subsystemMinor < 10 ? "0" : "") +
            std::to_string(image.subsystemMinor) + " program)\n";
    text += "entry at " + Hex(image.base + image.entryRva) + "\n";
    for (const sim::PeImport& import : image.imports) {
        // An import by name, with the ordinal COREDLL exports it under where the table knows it,
        // and the number a unit that lacks it prints: not an ordinal, but where its hint/name
        // entry lies, which is how the integrator finds it here.
        std::string ordinal;
        if (import.hintNameRva != 0) {
            const sim::CoredllExport* known =
                import.offered ? sim::FindCoredllExport(import.name) : nullptr;
            ordinal = " (" +
                      (known != nullptr ? "ordinal " + std::to_string(known->ordinal) + "; " : "") +
                      "a unit lacking it prints \"Ordinal " + std::to_string(import.hintNameRva) +
                      "\")";
        }
        text += "import " + sim::DescribeImport(import) + ordinal + ", slot at " +
                Hex(image.base + import.slotRva) + ": " + Binding(import) + "\n";
    }
    return text;
}

std::string DescribeStart(std::string_view file) {
    sim::LoaderRules rules;
    rules.offers = sim::UnitCoredllExports;
    // No device's files are known here: only COREDLL is taken as present.
    rules.holdsModule = [](std::string_view) { return false; };
    const auto loaded = sim::LoadPeImage(file, rules);
    const auto* refusal = std::get_if<sim::PeRefusal>(&loaded);
    if (refusal == nullptr || refusal->error == 0) {
        return "a unit's CreateProcessW: starts it\n";
    }
    const std::string_view name = sim::ErrorName(refusal->error);
    std::string text = "a unit's CreateProcessW: error " + std::to_string(refusal->error) +
                       (name.empty() ? "" : " (" + std::string(name) + ")");
    if (!refusal->loaderLines.empty()) {
        text += ", after the loader's line \"" + refusal->loaderLines.front() + "\"";
    }
    return text + ": " + refusal->reason + "\n";
}

int DescribeLoad(const std::string& file, std::ostream& out, std::ostream& err) {
    const auto bytes = sim::ReadHostFile(file);
    if (!bytes) {
        err << "kelbrun-sim: " << file << ": cannot be read\n";
        return 2;
    }
    out << "processor: " << sim::DescribeProcessor(*bytes).value_or("none (not a PE image)")
        << "\n";
    const auto image = sim::ReadPeImage(*bytes, sim::CoredllOffers, sim::MissingImports::kKeep);
    if (const auto* refusal = std::get_if<std::string>(&image)) {
        out << DescribeStart(*bytes);
        err << "kelbrun-sim: " << file << ": " << *refusal << "\n";
        return 2;
    }
    out << Describe(std::get<sim::PeImage>(image)) << DescribeStart(*bytes);
    return 0;
}

}  // namespace simloadonly
