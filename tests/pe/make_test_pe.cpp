// make_test_pe NAME FILE: writes one of the loader tests' hand-made programs to FILE.
//   microsoft  Microsoft's layout, COREDLL by ordinal
//   cegcc      CeGCC's layout, by name from "COREDLL", a 2 MiB stack reserve
//   lacking    Microsoft's layout, importing what the simulated device does not offer
//   high-base  CeGCC's layout without relocations at 0x00200000
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/pe/test_pe.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_test_pe microsoft|cegcc|lacking|high-base FILE\n");
        return 2;
    }
    const std::string name = argv[1];
    testpe::Program program;
    if (name == "microsoft") {
        program = testpe::MicrosoftProgram();
    } else if (name == "cegcc") {
        program = testpe::CegccProgram();
    } else if (name == "lacking") {
        program = testpe::MicrosoftProgram();
        program.modules[0].imports.push_back({"", 9999});
        program.modules[0].imports.push_back({"", 480});
        program.modules[0].imports.push_back({"Sleeq", 0});
        program.modules.push_back({"AYGSHELL.dll", {{"SHFullScreen", 0}}});
    } else if (name == "high-base") {
        program = testpe::CegccProgram();
        program.base = 0x200000;
    } else {
        std::fprintf(stderr, "make_test_pe: no program named %s\n", name.c_str());
        return 2;
    }
    std::ofstream out(argv[2], std::ios::binary);
    const std::string bytes = testpe::Write(program);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "make_test_pe: %s: cannot be written\n", argv[2]);
        return 2;
    }
    return 0;
}
