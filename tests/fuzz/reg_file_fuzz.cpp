// Fuzzes the .reg reader, on registry editor exports and image-builder files alike: whatever
// the bytes, it ends (libFuzzer's -timeout), stays within memory (-rss_limit_mb), and either
// accepts the file or rejects it naming a line of it. What it accepts, written back out as an
// editor export, reads back as the same registry.
#include <algorithm>
#include <string_view>

#include "platform/sim/registry.h"
#include "tests/fuzz/fuzz_check.h"
#include "tools/kelbrun-sim/reg_export.h"
#include "tools/kelbrun-sim/image_files/design_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    sim::Registry registry;
    registry.SetString(u"HKEY_LOCAL_MACHINE\\Kept", u"v", u"x");
    // Variables for the seeds' IF blocks: one set without a value, one with.
    regfile::Variables variables;
    variables.Set(u"A", u"1");
    variables.Set(u"b", u"x");

    const auto error = regfile::Apply(text, registry, variables);
    if (error) {
        // A line of the file: UTF-16 lines are at least two bytes each.
        const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
        FUZZ_CHECK(error->line >= 1 && error->line <= lines);
        FUZZ_CHECK(!error->message.empty());
        // Nothing half-done.
        FUZZ_CHECK(registry.FindValue(u"HKEY_LOCAL_MACHINE\\Kept", u"v") != nullptr);
        FUZZ_CHECK(registry.HasKey(u"HKEY_LOCAL_MACHINE\\Kept"));
        return 0;
    }
    sim::Registry reread;
    FUZZ_CHECK(!regfile::Apply(regfile::ExportText(registry), reread).has_value());
    FUZZ_CHECK(reread == registry);
    return 0;
}
