// make_exe_variant VARIANT IN OUT: writes a copy of the device executable IN that a unit treats
// as the same program, patched as VARIANT names (see exe_patch.h), to OUT.
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "tests/pe/exe_patch.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: make_exe_variant no-dll-suffix|lower-case|wrong-hints|"
                     "optional-header-240|stack-16mib|by-ordinal IN OUT\n";
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    std::string exe((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        std::cerr << "make_exe_variant: " << argv[2] << ": cannot be read\n";
        return 2;
    }
    const std::string original = exe;
    try {
        exepatch::ApplyVariant(argv[1], exe);
        if (exe == original) {
            throw std::runtime_error(std::string("the variant ") + argv[1] + " changes nothing");
        }
    } catch (const std::exception& error) {
        std::cerr << "make_exe_variant: " << argv[2] << ": " << error.what() << "\n";
        return 2;
    }
    std::ofstream out(argv[3], std::ios::binary);
    out.write(exe.data(), static_cast<std::streamsize>(exe.size()));
    if (!out) {
        std::cerr << "make_exe_variant: " << argv[3] << ": cannot be written\n";
        return 2;
    }
    return 0;
}
