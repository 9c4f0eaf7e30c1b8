// The numbers that fix a Windows CE executable's layout, shared by the PE header and the
// generated import tables (both assembly, run through the C preprocessor). The linker script
// reads them from the header's symbols, so each is written here only.
#ifndef KELBRUN_PLATFORM_WINCE_PE_LAYOUT_H
#define KELBRUN_PLATFORM_WINCE_PE_LAYOUT_H

// Where Windows CE 5.0 places an executable in its process slot; with relocations stripped, the
// image must be linked there.
#define PE_IMAGE_BASE 0x10000
// One page per section in memory, and the smallest alignment the PE format allows in the file.
#define PE_SECTION_ALIGNMENT 0x1000
#define PE_FILE_ALIGNMENT 0x200

#endif  // KELBRUN_PLATFORM_WINCE_PE_LAYOUT_H
