// The headers of a Windows CE 5.0 ARMV4I executable (PE32): a DOS header reduced to what a PE
// loader reads, the PE signature, the COFF file header, the optional header and the section
// table. Everything that depends on the program is a symbol, resolved by link.ld or by the
// generated import tables; link.ld places this first in the file.
#include "platform/wince/pe_layout.h"

// COFF file header characteristics: no base relocations (the image is linked at its base), an
// executable image, 32-bit words.
#define IMAGE_FILE_RELOCS_STRIPPED 0x0001
#define IMAGE_FILE_EXECUTABLE_IMAGE 0x0002
#define IMAGE_FILE_32BIT_MACHINE 0x0100

#define IMAGE_FILE_MACHINE_ARMV4I 0x01c2
#define IMAGE_NT_OPTIONAL_HDR32_MAGIC 0x010b
#define IMAGE_SUBSYSTEM_WINDOWS_CE_GUI 9

#define IMAGE_SCN_CNT_CODE 0x00000020
#define IMAGE_SCN_CNT_INITIALIZED_DATA 0x00000040
#define IMAGE_SCN_MEM_EXECUTE 0x20000000
#define IMAGE_SCN_MEM_READ 0x40000000

    // link.ld lays the image out with these; it cannot include this file.
    .globl __pe_image_base
    .set __pe_image_base, PE_IMAGE_BASE
    .globl __pe_section_alignment
    .set __pe_section_alignment, PE_SECTION_ALIGNMENT
    .globl __pe_file_alignment
    .set __pe_file_alignment, PE_FILE_ALIGNMENT

    .section .pe.headers, "a", %progbits
dos_header:
    .ascii "MZ"
    // Windows CE's loader reads nothing else of the DOS header: no DOS stub program.
    .space 0x3c - (. - dos_header)
    .word pe_signature - dos_header             // e_lfanew

pe_signature:
    .ascii "PE\0\0"
file_header:
    .short IMAGE_FILE_MACHINE_ARMV4I
    .short __pe_section_count
    .word 0                                     // TimeDateStamp: 0 keeps builds identical
    .word 0                                     // PointerToSymbolTable
    .word 0                                     // NumberOfSymbols
    .short optional_header_end - optional_header
    .short IMAGE_FILE_RELOCS_STRIPPED | IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_32BIT_MACHINE

optional_header:
    .short IMAGE_NT_OPTIONAL_HDR32_MAGIC
    .byte 0, 0                                  // linker version: none a loader checks
    .word __pe_size_of_code
    .word __pe_size_of_initialized_data
    .word __pe_size_of_uninitialized_data
    .word KelbrunEntry - PE_IMAGE_BASE          // AddressOfEntryPoint
    .word __pe_text_start - PE_IMAGE_BASE       // BaseOfCode
    .word __pe_rdata_start - PE_IMAGE_BASE      // BaseOfData
    .word PE_IMAGE_BASE
    .word PE_SECTION_ALIGNMENT
    .word PE_FILE_ALIGNMENT
    // A Windows CE 5.0 loader refuses an image that asks for a later system.
    .short 5, 0                                 // operating system version
    .short 0, 0                                 // image version
    .short 5, 0                                 // subsystem version
    .word 0                                     // Win32VersionValue
    .word __pe_image_end - PE_IMAGE_BASE        // SizeOfImage
    .word __pe_size_of_headers
    .word 0                                     // CheckSum: not checked for executables
    .short IMAGE_SUBSYSTEM_WINDOWS_CE_GUI
    .short 0                                    // DllCharacteristics
    // 64 KiB of stack, as Windows CE gives a primary thread; one page committed up front.
    .word 0x10000                               // SizeOfStackReserve
    .word 0x1000                                // SizeOfStackCommit
    // No heap is used; Windows CE ignores these for executables anyway.
    .word 0x100000                              // SizeOfHeapReserve
    .word 0x1000                                // SizeOfHeapCommit
    .word 0                                     // LoaderFlags
    .word (optional_header_end - data_directories) / 8
data_directories:
    .word 0, 0                                  // 0 exports
    .word __pe_import_directory - PE_IMAGE_BASE // 1 imports
    .word __pe_import_directory_size
    .word 0, 0                                  // 2 resources: none
    .word 0, 0                                  // 3 exceptions
    .word 0, 0                                  // 4 certificates
    .word 0, 0                                  // 5 base relocations: stripped
    .word 0, 0                                  // 6 debug
    .word 0, 0                                  // 7 architecture
    .word 0, 0                                  // 8 global pointer
    .word 0, 0                                  // 9 thread-local storage: none
    .word 0, 0                                  // 10 load configuration
    .word 0, 0                                  // 11 bound imports
    .word __pe_iat - PE_IMAGE_BASE              // 12 import address table
    .word __pe_iat_size
    .word 0, 0                                  // 13 delay-load imports
    .word 0, 0                                  // 14 COM run-time
    .word 0, 0                                  // 15 reserved
optional_header_end:

// Code, then constants with the import directory and lookup tables, then (when the program has
// any) its writable data, the IAT first, then (in CeGCC's layout only) all of the import data:
// no section is both writable and executable. Fields of a section: name, VirtualSize,
// VirtualAddress, SizeOfRawData, PointerToRawData, relocations and line numbers (none),
// characteristics.
section_table:
    .ascii ".text\0\0\0"
    .word __pe_text_virtual_size
    .word __pe_text_start - PE_IMAGE_BASE
    .word __pe_text_raw_size
    .word __pe_text_file_offset
    .word 0, 0
    .short 0, 0
    .word IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_READ

    .ascii ".rdata\0\0"
    .word __pe_rdata_virtual_size
    .word __pe_rdata_start - PE_IMAGE_BASE
    .word __pe_rdata_raw_size
    .word __pe_rdata_file_offset
    .word 0, 0
    .short 0, 0
    .word IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ

    // Then, in this order, those of the writable data (when the program has any) and .idata
    // (in CeGCC's layout) that are present: link.ld describes them, and zeros fill what is left
    // beyond __pe_section_count.
    .word __pe_section3_name_low, __pe_section3_name_high
    .word __pe_section3_virtual_size
    .word __pe_section3_virtual_address
    .word __pe_section3_raw_size
    .word __pe_section3_file_offset
    .word 0, 0
    .short 0, 0
    .word __pe_section3_characteristics

    .word __pe_section4_name_low, __pe_section4_name_high
    .word __pe_section4_virtual_size
    .word __pe_section4_virtual_address
    .word __pe_section4_raw_size
    .word __pe_section4_file_offset
    .word 0, 0
    .short 0, 0
    .word __pe_section4_characteristics

    .section .note.GNU-stack, "", %progbits
