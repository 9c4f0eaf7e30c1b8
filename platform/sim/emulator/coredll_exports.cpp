#include "platform/sim/emulator/coredll_exports.h"

namespace sim {

const CoredllExport* FindCoredllExport(std::string_view name) {
    for (size_t i = 0; i < kCoredllExportCount; ++i) {
        if (name == kCoredllExports[i].name) {
            return &kCoredllExports[i];
        }
    }
    return nullptr;
}

const CoredllExport* FindCoredllExport(uint32_t ordinal) {
    for (size_t i = 0; i < kCoredllExportCount; ++i) {
        if (ordinal == kCoredllExports[i].ordinal) {
            return &kCoredllExports[i];
        }
    }
    return nullptr;
}

std::string LoaderMissingLine(uint32_t shownNumber) {
    return "ERROR: function @ Ordinal " + std::to_string(shownNumber) +
           " missing in Module 'coredll.dll'";
}

}  // namespace sim
