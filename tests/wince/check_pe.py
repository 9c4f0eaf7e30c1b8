#!/usr/bin/python3
"""Checks a Windows CE 5.0 ARMV4I executable built here, read with pefile (Debian's
python3-pefile), independently of the assembly and linker script that wrote it.

    check_pe.py EXE [--thumb] [--imports NAME,...] [--binding ordinal|name|cegcc]
                [--exports TABLE]

--thumb: the device code is Thumb code (an entry that switches to Thumb state). --imports: the
COREDLL functions the program calls (default: the launcher's; an empty value for a program that
imports nothing). --binding: how the file imports them (default: by ordinal, as the device build
ships; see platform/wince/make_imports.py). --exports: COREDLL's export table, by which every
ordinal is checked (default: platform/coredll.exports). Prints every mismatch and exits 1 on any.
"""

import argparse
import os
import struct
import sys

try:
    import pefile
except ImportError:
    sys.exit("check_pe: needs pefile: sudo apt-get install python3-pefile (Debian's python3)")

# What the launcher calls in COREDLL, as platform/launcher.imports lists it for kelbrun-sim --check
# too: one list, which the built launcher is held to here.
LAUNCHER_IMPORTS_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                     "platform", "launcher.imports")


def read_launcher_imports(path):
    with open(path, encoding="ascii") as listing:
        return {line.strip() for line in listing if line.strip() and not line.startswith("#")}


# The launcher's size limit, ARM and Thumb alike. Bound by name, its 14 hint/name entries take
# .rdata past one more file block.
SIZE_AIM = {"ordinal": 3584, "cegcc": 3584, "name": 4096}

EXPORTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "platform",
                       "coredll.exports")

# Where each binding puts the import directory, and the DLL name it imports from.
DIRECTORY_SECTION = {"ordinal": ".rdata", "name": ".rdata", "cegcc": ".idata"}
DLL_NAME = {"ordinal": "COREDLL.dll", "name": "COREDLL.dll", "cegcc": "COREDLL"}

# Windows CE reads the section table right after a 224-byte optional header, whatever the file
# header says: any other size would be read differently there and here.
OPTIONAL_HEADER_SIZE = 224

IMAGE_BASE = 0x10000
SECTION_ALIGNMENT = 0x1000
FILE_ALIGNMENT = 0x200

SCN_CNT_CODE = 0x00000020
SCN_CNT_INITIALIZED_DATA = 0x00000040
SCN_CNT_UNINITIALIZED_DATA = 0x00000080
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_READ = 0x40000000
SCN_MEM_WRITE = 0x80000000

# The entry: ldr ip, [pc, #imm] then bx ip, jumping to WinMain through a literal word.
LDR_IP_PC = 0xE59FC000
BX_IP = 0xE12FFF1C

DIRECTORY_IMPORT = 1
DIRECTORY_IAT = 12


class Checker:
    def __init__(self, path):
        self.path = path
        self.problems = []

    def expect(self, what, actual, wanted):
        if actual != wanted:
            self.fail(f"{what} is {show(actual)}, expected {show(wanted)}")

    def fail(self, message):
        self.problems.append(message)


def show(value):
    return hex(value) if isinstance(value, int) and not isinstance(value, bool) else repr(value)


def align_up(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def section_name(section):
    return section.Name.rstrip(b"\0").decode("ascii", "replace")


def read_exports(path):
    """{ordinal: name} from COREDLL's export table."""
    ordinals = {}
    with open(path, encoding="ascii") as listing:
        for line in listing:
            fields = line.split()
            if len(fields) == 3 and not fields[0].startswith("#"):
                ordinals[int(fields[1])] = fields[0]
    return ordinals


def check_headers(pe, check):
    header = pe.FILE_HEADER
    check.expect("Machine", header.Machine, 0x01C2)
    check.expect("SizeOfOptionalHeader", header.SizeOfOptionalHeader, OPTIONAL_HEADER_SIZE)
    check.expect("TimeDateStamp", header.TimeDateStamp, 0)
    check.expect("PointerToSymbolTable", header.PointerToSymbolTable, 0)
    check.expect("NumberOfSymbols", header.NumberOfSymbols, 0)
    flags = header.Characteristics
    if not flags & 0x0001:
        check.fail("Characteristics lacks IMAGE_FILE_RELOCS_STRIPPED (0x0001)")
    if not flags & 0x0002:
        check.fail("Characteristics lacks IMAGE_FILE_EXECUTABLE_IMAGE (0x0002)")
    if flags & 0x2000:
        check.fail("Characteristics has IMAGE_FILE_DLL (0x2000)")

    optional = pe.OPTIONAL_HEADER
    check.expect("optional header Magic", optional.Magic, 0x10B)
    check.expect("ImageBase", optional.ImageBase, IMAGE_BASE)
    check.expect("SectionAlignment", optional.SectionAlignment, SECTION_ALIGNMENT)
    check.expect("FileAlignment", optional.FileAlignment, FILE_ALIGNMENT)
    check.expect("Subsystem", optional.Subsystem, 9)
    check.expect("subsystem version",
                 (optional.MajorSubsystemVersion, optional.MinorSubsystemVersion), (5, 0))
    check.expect("operating system version",
                 (optional.MajorOperatingSystemVersion, optional.MinorOperatingSystemVersion),
                 (5, 0))
    check.expect("SizeOfStackReserve", optional.SizeOfStackReserve, 0x10000)
    if not 0 < optional.SizeOfStackCommit <= optional.SizeOfStackReserve:
        check.fail(f"SizeOfStackCommit {show(optional.SizeOfStackCommit)} is not within the "
                   "reserve")
    check.expect("NumberOfRvaAndSizes", optional.NumberOfRvaAndSizes, 16)

    headers_end = (pe.DOS_HEADER.e_lfanew + 4 + 20 + header.SizeOfOptionalHeader
                   + 40 * header.NumberOfSections)
    check.expect("SizeOfHeaders", optional.SizeOfHeaders, align_up(headers_end, FILE_ALIGNMENT))

    for index, directory in enumerate(optional.DATA_DIRECTORY):
        if index not in (DIRECTORY_IMPORT, DIRECTORY_IAT) and (
                directory.VirtualAddress or directory.Size):
            check.fail(f"data directory {index} ({directory.name}) is not empty")


def check_sections(pe, check, file_size, binding):
    sections = pe.sections
    names = [section_name(s) for s in sections]
    if binding == "cegcc":
        layout_ok = (len(names) == 4 and names[:2] == [".text", ".rdata"]
                     and names[2] in (".data", ".bss") and names[3] == ".idata")
        expected = ".text, .rdata, one of .data/.bss and .idata"
    else:
        layout_ok = names[:2] == [".text", ".rdata"] and len(names) <= 3 and (
            len(names) == 2 or names[2] in (".data", ".bss"))
        expected = ".text, .rdata and at most one of .data/.bss"
    if not layout_ok:
        check.fail(f"sections are {names}, expected {expected}")
        return None
    optional = pe.OPTIONAL_HEADER

    next_address = align_up(optional.SizeOfHeaders, SECTION_ALIGNMENT)
    next_offset = optional.SizeOfHeaders
    for section, name in zip(sections, names):
        flags = section.Characteristics
        if flags & SCN_MEM_WRITE and flags & SCN_MEM_EXECUTE:
            check.fail(f"{name} is both writable and executable")
        if not flags & SCN_MEM_READ:
            check.fail(f"{name} is not readable")
        if section.VirtualAddress % SECTION_ALIGNMENT:
            check.fail(f"{name} is at {show(section.VirtualAddress)}, not section-aligned")
        if section.VirtualAddress < next_address:
            check.fail(f"{name} at {show(section.VirtualAddress)} overlaps what precedes it")
        if section.Misc_VirtualSize == 0:
            check.fail(f"{name} is empty")
        next_address = align_up(section.VirtualAddress + section.Misc_VirtualSize,
                                SECTION_ALIGNMENT)
        if section.SizeOfRawData:
            if section.SizeOfRawData % FILE_ALIGNMENT or section.PointerToRawData % FILE_ALIGNMENT:
                check.fail(f"{name}'s file data is not file-aligned")
            if section.PointerToRawData != next_offset:
                check.fail(f"{name}'s file data is at {show(section.PointerToRawData)}, "
                           f"expected {show(next_offset)}")
            if section.SizeOfRawData > align_up(section.Misc_VirtualSize, FILE_ALIGNMENT):
                check.fail(f"{name} has more file data than its size")
            next_offset = section.PointerToRawData + section.SizeOfRawData
        elif section.PointerToRawData:
            check.fail(f"{name} has no file data but a file offset")
    check.expect("file size", file_size, next_offset)
    check.expect("SizeOfImage", optional.SizeOfImage, next_address)

    text, rdata = sections[0], sections[1]
    check.expect(".text characteristics", text.Characteristics,
                 SCN_CNT_CODE | SCN_MEM_EXECUTE | SCN_MEM_READ)
    check.expect(".rdata characteristics", rdata.Characteristics,
                 SCN_CNT_INITIALIZED_DATA | SCN_MEM_READ)
    writable = sections[2] if len(sections) >= 3 else None
    idata = sections[3] if len(sections) == 4 else None
    if idata is not None:
        check.expect(".idata characteristics", idata.Characteristics,
                     SCN_CNT_INITIALIZED_DATA | SCN_MEM_READ | SCN_MEM_WRITE)
    if writable is not None:
        kind = (SCN_CNT_INITIALIZED_DATA if section_name(writable) == ".data"
                else SCN_CNT_UNINITIALIZED_DATA)
        check.expect(f"{section_name(writable)} characteristics", writable.Characteristics,
                     kind | SCN_MEM_READ | SCN_MEM_WRITE)
        if kind == SCN_CNT_UNINITIALIZED_DATA and writable.SizeOfRawData:
            check.fail(".bss has file data")

    check.expect("BaseOfCode", optional.BaseOfCode, text.VirtualAddress)
    check.expect("BaseOfData", optional.BaseOfData, rdata.VirtualAddress)
    check.expect("SizeOfCode", optional.SizeOfCode, text.SizeOfRawData)
    initialized = sum(s.SizeOfRawData for s in sections[1:])
    check.expect("SizeOfInitializedData", optional.SizeOfInitializedData, initialized)
    uninitialized = 0
    if writable is not None and writable.Misc_VirtualSize > writable.SizeOfRawData:
        uninitialized = align_up(writable.Misc_VirtualSize - writable.SizeOfRawData,
                                 FILE_ALIGNMENT)
    if optional.SizeOfUninitializedData < uninitialized:
        check.fail(f"SizeOfUninitializedData {show(optional.SizeOfUninitializedData)} is less "
                   f"than the zeroed data, {show(uninitialized)}")
    return text, {name: section for name, section in zip(names, sections)}


def inside(address, size, section):
    return (section.VirtualAddress <= address
            and address + size <= section.VirtualAddress + section.Misc_VirtualSize)


def check_entry(pe, check, text, thumb):
    entry = pe.OPTIONAL_HEADER.AddressOfEntryPoint
    if not inside(entry, 12, text):
        check.fail(f"entry {show(entry)} is not inside .text")
        return
    if entry % 4:
        check.fail(f"entry {show(entry)} is not word-aligned: not ARM code")
        return
    first, second, literal = struct.unpack("<3I", pe.get_data(entry, 12))
    # ldr ip, [pc, #8 - 8]: the literal right after bx ip.
    if first != LDR_IP_PC or second != BX_IP:
        check.fail(f"entry starts {first:08x} {second:08x}, expected the ARM instructions "
                   f"ldr ip, [pc] ({LDR_IP_PC:08x}) and bx ip ({BX_IP:08x})")
        return
    target = literal - IMAGE_BASE
    if not inside(target & ~1, 2, text):
        check.fail(f"entry jumps to {show(literal)}, outside .text")
    if thumb and not literal & 1:
        check.fail(f"entry jumps to {show(literal)} in ARM state; the Thumb build's WinMain "
                   "is Thumb code (bit 0 set)")
    if not thumb and literal & 3:
        check.fail(f"entry jumps to {show(literal)}, not to ARM code")


def writable_section_holding(pe, address, size):
    for section in pe.sections:
        if section.Characteristics & SCN_MEM_WRITE and inside(address, size, section):
            return section
    return None


def check_imports(pe, check, by_name, wanted, binding, ordinals):
    directories = pe.OPTIONAL_HEADER.DATA_DIRECTORY
    import_directory, iat_directory = directories[DIRECTORY_IMPORT], directories[DIRECTORY_IAT]
    home = DIRECTORY_SECTION[binding]
    entries = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
    if entries and home not in by_name:
        check.fail(f"no {home} section for the import directory")
    elif not inside(import_directory.VirtualAddress, import_directory.Size,
                    by_name[home if entries else ".rdata"]):
        check.fail(f"the import directory is not inside {home if entries else '.rdata'}")
    # pefile lists no entry for a DLL that no function is imported from.
    dlls = [entry.dll.decode("ascii", "replace") for entry in entries]
    if dlls not in ([], [DLL_NAME[binding]]):
        check.fail(f"imports from {dlls}, expected {DLL_NAME[binding]} alone")
    check.expect("import directory size", import_directory.Size, 20 * (len(entries) + 1))

    names = set()
    for entry in entries:
        descriptor = entry.struct
        if descriptor.TimeDateStamp or descriptor.ForwarderChain:
            check.fail(f"{entry.dll!r} is bound or forwarded")
        if not descriptor.OriginalFirstThunk:
            # Windows CE ends the list at a descriptor without a lookup table.
            check.fail(f"{entry.dll!r} has no lookup table (OriginalFirstThunk)")
        if descriptor.FirstThunk != iat_directory.VirtualAddress:
            check.fail("the IAT directory is not the imports' first thunk")
        for symbol in entry.imports:
            if symbol.import_by_ordinal:
                if binding != "ordinal":
                    check.fail(f"an import by ordinal ({symbol.ordinal}) in the {binding} "
                               "binding")
                if symbol.ordinal not in ordinals:
                    check.fail(f"imports ordinal {symbol.ordinal}, which COREDLL's export "
                               "table does not list")
                    continue
                names.add(ordinals[symbol.ordinal])
            elif symbol.name is None:
                check.fail("an import with neither name nor ordinal")
            else:
                name = symbol.name.decode("ascii", "replace")
                if binding == "ordinal":
                    check.fail(f"imports {name} by name, not by its ordinal")
                if name not in ordinals.values():
                    check.fail(f"imports {name}, which COREDLL's export table does not list")
                names.add(name)
        count = len(entry.imports)
        try:
            lookup = pe.get_data(descriptor.OriginalFirstThunk, 4 * (count + 1))
            iat = pe.get_data(descriptor.FirstThunk, 4 * (count + 1))
        except pefile.PEFormatError:
            check.fail("the lookup table or the IAT lies outside the sections' file data")
            continue
        if lookup != iat:
            check.fail("the IAT on disk differs from the lookup table")
        check.expect("IAT size", iat_directory.Size, 4 * (count + 1))
    if not entries:
        check.expect("IAT directory", (iat_directory.VirtualAddress, iat_directory.Size), (0, 0))
    elif writable_section_holding(pe, iat_directory.VirtualAddress, iat_directory.Size) is None:
        # The loader writes it; a unit that pages the program out keeps only writable pages.
        check.fail("the IAT is not inside a writable section")
    if names != wanted:
        missing, extra = sorted(wanted - names), sorted(names - wanted)
        check.fail(f"imports differ: missing {missing}, unexpected {extra}")


def check_file(path, thumb, wanted, binding, ordinals):
    check = Checker(path)
    with open(path, "rb") as image:
        data = image.read()
    try:
        pe = pefile.PE(data=data)
    except pefile.PEFormatError as error:
        check.fail(f"not a PE file: {error}")
        return check.problems
    for warning in pe.get_warnings():
        # A guess from the share of zero bytes, which padding to the file alignment makes large
        # in programs this small; everything it would hint at is checked below.
        if "makes up" not in warning:
            check.fail(f"pefile: {warning}")
    aim = SIZE_AIM[binding]
    if len(data) > aim:
        check.fail(f"file size {len(data)} is above the aim of {aim} bytes")
    check_headers(pe, check)
    if any(section_name(s) == ".reloc" for s in pe.sections):
        check.fail("has a .reloc section")
    sections = check_sections(pe, check, len(data), binding)
    if sections is not None:
        text, by_name = sections
        check_entry(pe, check, text, thumb)
        check_imports(pe, check, by_name, wanted, binding, ordinals)
    return check.problems


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("exe")
    parser.add_argument("--thumb", action="store_true", help="the Thumb build")
    parser.add_argument("--imports", help="comma-separated COREDLL functions the program calls")
    parser.add_argument("--binding", choices=sorted(SIZE_AIM), default="ordinal")
    parser.add_argument("--exports", default=EXPORTS, help="COREDLL's export table")
    args = parser.parse_args()
    ordinals = read_exports(args.exports)
    wanted = read_launcher_imports(LAUNCHER_IMPORTS_FILE) if args.imports is None else {
        name for name in args.imports.split(",") if name}
    problems = check_file(args.exe, args.thumb, wanted, args.binding, ordinals)
    for problem in problems:
        print(f"check_pe: {args.exe}: {problem}", file=sys.stderr)
    if problems:
        return 1
    print(f"check_pe: {args.exe}: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
