// Fuzzes kelbrun-sim --check over whatever registry the .reg reader accepts: it ends, stays
// within memory, and writes the same report every time for the same registry, each finding a
// line of its own and the counts last, agreeing with the findings.
#include <string>
#include <string_view>

#include "platform/sim/device.h"
#include "tests/fuzz/fuzz_check.h"
#include "tools/kelbrun-sim/image_files/design_reader.h"
#include "tools/kelbrun-sim/setup_check.h"

namespace {

std::string Check(const sim::Registry& registry, std::u16string ownPath) {
    sim::Device device;
    device.registry = registry;
    device.ownPath = std::move(ownPath);
    const setupcheck::Report report = setupcheck::CheckSetup(device, false);
    std::string text = setupcheck::FormatReport(report);

    size_t errors = 0;
    size_t warnings = 0;
    size_t lines = 0;
    std::string last;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        FUZZ_CHECK(end != std::string::npos);  // every line ends
        const std::string_view line(text.data() + start, end - start);
        errors += line.starts_with("check: error: ") ? 1 : 0;
        warnings += line.starts_with("check: warning: ") ? 1 : 0;
        last = line;
        ++lines;
        start = end + 1;
    }
    FUZZ_CHECK(errors == setupcheck::CountErrors(report.findings));
    FUZZ_CHECK(errors + warnings == report.findings.size());
    FUZZ_CHECK(last.starts_with("check: ") && (last.find(" errors, ") != std::string::npos ||
                                               last.find(" error, ") != std::string::npos));
    FUZZ_CHECK(lines >= 3 + report.findings.size());
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    sim::Registry registry;
    regfile::Variables variables;
    variables.Set(u"A", u"1");
    if (regfile::Apply(text, registry, variables)) {
        return 0;
    }
    const std::string first = Check(registry, u"\\Windows\\Kelbrun.EXE");
    FUZZ_CHECK(Check(registry, u"\\Windows\\Kelbrun.EXE") == first);
    // The other way the launcher is named, and its card copy's own path.
    Check(registry, u"\\SDMMC\\UPDATE\\start.exe");
    return 0;
}
