// Patches to a built device executable's bytes, for the tests that run copies of it: offsets
// into its headers, its import tables found through the section table, and the variants a
// unit treats as the same program.
#ifndef KELBRUN_TESTS_PE_EXE_PATCH_H
#define KELBRUN_TESTS_PE_EXE_PATCH_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace exepatch {

// Reads and writes little-endian values; throws std::out_of_range past the end.
uint32_t U32(const std::string& bytes, size_t at);
void Put16(std::string& bytes, size_t at, uint16_t value);
void Put32(std::string& bytes, size_t at, uint32_t value);

size_t Coff(const std::string& exe);
size_t Optional(const std::string& exe);
// The data directory's entry of that index: its address, then its size.
size_t DataDirectory(const std::string& exe, size_t index);
// Where the unit reads the section table: after a 224-byte optional header.
size_t SectionTable(const std::string& exe);
// Where an address inside the image lies in the file; throws std::runtime_error when nowhere.
size_t FileAt(const std::string& exe, uint32_t rva);
size_t ImportDirectory(const std::string& exe);

// Every import as COREDLL's ordinal, in the lookup table and the slots alike, as Microsoft's
// import libraries write them; throws std::runtime_error for a name COREDLL does not export.
void BindByOrdinal(std::string& exe);

// A variant by name: "no-dll-suffix" (the module named COREDLL), "lower-case" (coredll.dll),
// "wrong-hints" (every hint pointing elsewhere), "optional-header-240" (the
// header claiming 240 bytes), "stack-16mib" (a 16 MiB stack reserve), "by-ordinal". Throws
// std::invalid_argument for another name.
void ApplyVariant(const std::string& name, std::string& exe);

}  // namespace exepatch

#endif  // KELBRUN_TESTS_PE_EXE_PATCH_H
