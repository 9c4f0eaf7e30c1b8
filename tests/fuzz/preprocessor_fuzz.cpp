// Fuzzes the image-builder files' preprocessor with the stages around it: the input is up to
// three files of a design (split at lines "----"), the first of which is read as --registry
// reads it and may #include the others, in any code page, with @CESYSGEN blocks decided or
// not. Whatever the bytes, reading ends and either gives a registry whose every value names
// the line that set it, and whose export reads back the same, or refuses with one line that
// names a file of the design and a line within it, leaving the registry as it was.
#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/registry.h"
#include "tests/fuzz/fuzz_check.h"
#include "tools/kelbrun-sim/image_files/design_reader.h"
#include "tools/kelbrun-sim/reg_export.h"

namespace {

// Where the design's files are, in memory: no file is written.
const std::filesystem::path kFolder = "/design";

size_t LineCount(std::string_view text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the settings; the rest are the files.
    const uint8_t choice = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::string> files;
    while (files.size() < 2) {
        const size_t cut = rest.find("\n----\n");
        if (cut == std::string_view::npos) {
            break;
        }
        files.emplace_back(rest.substr(0, cut + 1));
        rest.remove_prefix(cut + 6);
    }
    files.emplace_back(rest);
    const char* const kNames[] = {"a.reg", "b.reg", "c.reg"};
    imagefiles::MemoryFiles design;
    for (size_t i = 0; i < 3; ++i) {
        design.Add(kFolder / kNames[i], i < files.size() ? files[i] : std::string());
    }

    imagefiles::ReadSettings settings;
    settings.codepage = (choice & 1) != 0 ? 936 : 1252;
    settings.cesysgen = (choice & 2) != 0;
    settings.stringsGiven = (choice & 4) != 0;
    settings.strings[u"LOC_NAME"] = u"\"Nav\"";
    settings.strings[u"LOC_LCID"] = u"409";
    settings.variables.Set(u"A", u"1");
    settings.variables.Set(u"b", u"x");
    settings.variables.Set(u"CE_MODULES", u"coredll nk");
    settings.variables.Set(u"COREDLL_COMPONENTS", u"shexec");
    settings.maps.push_back(imagefiles::PathMap{u"C:\\D", kFolder});
    imagefiles::DesignReader reader(settings, design);

    sim::Registry registry;
    registry.SetString(u"HKEY_LOCAL_MACHINE\\Kept", u"v", u"x");
    const std::string top = (kFolder / kNames[0]).string();
    const auto error = reader.LoadRegistry(top, registry);
    for (const imagefiles::Error& warning : reader.Warnings()) {
        FUZZ_CHECK(warning.Describe().find('\n') == std::string::npos);
    }
    if (error) {
        FUZZ_CHECK(!error->message.empty());
        FUZZ_CHECK(error->Describe().find('\n') == std::string::npos);
        size_t which = 3;
        for (size_t i = 0; i < 3; ++i) {
            if (std::filesystem::path(error->file).filename() == kNames[i]) {
                which = i;
            }
        }
        FUZZ_CHECK(which < 3);
        const std::string& text = which < files.size() ? files[which] : std::string();
        FUZZ_CHECK(error->line >= 0 && static_cast<size_t>(error->line) <= LineCount(text));
        FUZZ_CHECK(which == 0 || !error->includedFrom.empty());
        FUZZ_CHECK(registry.FindValue(u"HKEY_LOCAL_MACHINE\\Kept", u"v") != nullptr);
        return 0;
    }
    for (const sim::RegistryKey& key : registry.Keys()) {
        for (const sim::NamedValue& value : key.values) {
            if (key.path == u"HKEY_LOCAL_MACHINE\\Kept") {
                continue;
            }
            const std::string* origin = registry.OriginOf(key.path, value.name);
            FUZZ_CHECK(origin != nullptr && origin->find(".reg:") != std::string::npos);
        }
    }
    sim::Registry reread;
    FUZZ_CHECK(!regfile::Apply(regfile::ExportText(registry), reread).has_value());
    FUZZ_CHECK(reread == registry);
    return 0;
}
