// make_exe_variant VARIANT OUT IN...: writes to OUT a copy of a device executable that a unit
// treats as the same program, patched as VARIANT names (see exe_patch.h). It starts from the
// first IN that exists and that the variant changes: a variant of the import names needs a build
// bound by name, and the builds at hand may bind by ordinal.
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "tests/pe/exe_patch.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: make_exe_variant no-dll-suffix|lower-case|wrong-hints|"
                     "optional-header-240|stack-16mib|by-ordinal OUT IN...\n";
        return 2;
    }
    const std::string variant = argv[1];
    std::string reasons;
    for (int i = 3; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            reasons += std::string(reasons.empty() ? "" : "; ") + argv[i] + ": cannot be read";
            continue;
        }
        const std::string original((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
        std::string exe = original;
        try {
            exepatch::ApplyVariant(variant, exe);
            if (exe == original) {
                throw std::runtime_error("the variant changes nothing");
            }
        } catch (const std::invalid_argument& error) {
            std::cerr << "make_exe_variant: " << error.what() << "\n";
            return 2;
        } catch (const std::exception& error) {
            reasons += std::string(reasons.empty() ? "" : "; ") + argv[i] + ": " + error.what();
            continue;
        }
        std::ofstream out(argv[2], std::ios::binary);
        out.write(exe.data(), static_cast<std::streamsize>(exe.size()));
        if (!out) {
            std::cerr << "make_exe_variant: " << argv[2] << ": cannot be written\n";
            return 2;
        }
        return 0;
    }
    std::cerr << "make_exe_variant: no build to make " << variant << " from (" << reasons << ")\n";
    return 2;
}
