#!/usr/bin/python3
"""check_pe.py must pass a device build's Kelbrun.EXE and refuse each damaged copy of it,
naming what is wrong; the size aim holds at exactly the aim and fails one file block above, the
IAT's writable section holds at exactly the IAT's end and fails a byte short of it.

    check_pe_test.py BUILD_DIR [--thumb]
"""

import os
import struct
import subprocess
import sys
import tempfile

import pefile

CHECK_PE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_pe.py")
FILE_ALIGNMENT = 0x200
SIZE_AIM = 3584
SCN_MEM_WRITE = 0x80000000
IMPORT_BY_ORDINAL = 0x80000000


def set_machine(pe):
    pe.FILE_HEADER.Machine = 0x01C0


def set_time_stamp(pe):
    pe.FILE_HEADER.TimeDateStamp = 1


def clear_relocs_stripped(pe):
    pe.FILE_HEADER.Characteristics &= ~0x0001


def set_subsystem(pe):
    pe.OPTIONAL_HEADER.Subsystem = 2


def set_subsystem_version(pe):
    pe.OPTIONAL_HEADER.MinorSubsystemVersion = 1


def set_image_base(pe):
    pe.OPTIONAL_HEADER.ImageBase = 0x20000


def set_stack_reserve(pe):
    pe.OPTIONAL_HEADER.SizeOfStackReserve = 0x20000


def set_base_relocations(pe):
    pe.OPTIONAL_HEADER.DATA_DIRECTORY[5].VirtualAddress = 0x2000
    pe.OPTIONAL_HEADER.DATA_DIRECTORY[5].Size = 8


def set_tls(pe):
    pe.OPTIONAL_HEADER.DATA_DIRECTORY[9].VirtualAddress = 0x2000
    pe.OPTIONAL_HEADER.DATA_DIRECTORY[9].Size = 24


def set_text_writable(pe):
    pe.sections[0].Characteristics |= 0x80000000


def set_image_size(pe):
    pe.OPTIONAL_HEADER.SizeOfImage += 0x1000


def misalign_entry(pe):
    pe.OPTIONAL_HEADER.AddressOfEntryPoint += 2


def rename_dll(pe):
    entry = pe.DIRECTORY_ENTRY_IMPORT[0]
    pe.set_bytes_at_rva(entry.struct.Name, b"COREDLX.dll")


def both_tables(pe, index, value):
    """Patches, made after pefile's write (which writes both tables back from what it parsed),
    that set entry index of the lookup table and of the IAT to value."""
    entry = pe.DIRECTORY_ENTRY_IMPORT[0].struct
    return [(pe.get_offset_from_rva(table + 4 * index), struct.pack("<I", value))
            for table in (entry.OriginalFirstThunk, entry.FirstThunk)]


def set_ordinal(pe, old, new):
    """The entries for ordinal old name ordinal new instead, in both tables."""
    for index, symbol in enumerate(pe.DIRECTORY_ENTRY_IMPORT[0].imports):
        if symbol.ordinal == old:
            return both_tables(pe, index, IMPORT_BY_ORDINAL | new)
    raise AssertionError(f"no import of ordinal {old}")


def unknown_ordinal(pe):
    # memcpy's 1044 one past: 1045 is no export of COREDLL's.
    return set_ordinal(pe, 1044, 1045)


def other_known_ordinal(pe):
    # memcpy's 1044 two past: memmove's, which the launcher does not call.
    return set_ordinal(pe, 1044, 1046)


def by_name(pe):
    # The top bit cleared: a hint/name RVA, in the build that binds by ordinal alone. It points
    # at the DLL's name, which reads as a hint and a name.
    return both_tables(pe, 0, pe.DIRECTORY_ENTRY_IMPORT[0].struct.Name - 2)


def set_optional_header_size(size):
    def damage(pe):
        pe.FILE_HEADER.SizeOfOptionalHeader = size
    damage.__name__ = f"optional_header_{size}"
    return damage


def iat_section(pe):
    iat = pe.OPTIONAL_HEADER.DATA_DIRECTORY[12].VirtualAddress
    for section in pe.sections:
        if section.VirtualAddress <= iat < section.VirtualAddress + section.Misc_VirtualSize:
            return section
    raise AssertionError("the IAT is in no section")


def read_only_iat_section(pe):
    iat_section(pe).Characteristics &= ~SCN_MEM_WRITE


def iat_in_rdata(pe):
    # The lookup table doubling as the IAT, in read-only .rdata, where the launcher had it.
    entry = pe.DIRECTORY_ENTRY_IMPORT[0].struct
    pe.OPTIONAL_HEADER.DATA_DIRECTORY[12].VirtualAddress = entry.OriginalFirstThunk
    entry.FirstThunk = entry.OriginalFirstThunk


def writable_ending_at_iat(extra):
    """The IAT's section shortened to end exactly at the IAT's end (extra 0) or a byte short."""
    def damage(pe):
        directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[12]
        section = iat_section(pe)
        section.Misc_VirtualSize = (directory.VirtualAddress + directory.Size
                                    - section.VirtualAddress + extra)
    damage.__name__ = f"writable_ending_at_iat{extra:+d}"
    return damage


def flip_entry_state(pe):
    literal = pe.OPTIONAL_HEADER.AddressOfEntryPoint + 8
    (target,) = struct.unpack("<I", pe.get_data(literal, 4))
    pe.set_dword_at_rva(literal, target ^ 1)


def differ_iat(pe):
    # pefile writes the IAT back from what it parsed: this patch is made after the write.
    iat = pe.OPTIONAL_HEADER.DATA_DIRECTORY[12].VirtualAddress
    return [(pe.get_offset_from_rva(iat), struct.pack("<I", pe.get_dword_at_rva(iat) + 2))]


# Each damage, and a word that check_pe's complaint must contain.
DAMAGES = [
    (set_machine, "Machine"),
    (set_time_stamp, "TimeDateStamp"),
    (clear_relocs_stripped, "RELOCS_STRIPPED"),
    (set_subsystem, "Subsystem"),
    (set_subsystem_version, "subsystem version"),
    (set_image_base, "ImageBase"),
    (set_stack_reserve, "SizeOfStackReserve"),
    (set_base_relocations, "data directory 5"),
    (set_tls, "data directory 9"),
    (set_text_writable, "both writable and executable"),
    (set_image_size, "SizeOfImage"),
    (misalign_entry, "not word-aligned"),
    (rename_dll, "COREDLL.dll alone"),
    (unknown_ordinal, "ordinal 1045, which COREDLL's export table does not list"),
    (other_known_ordinal, "unexpected ['memmove']"),
    (by_name, "by name, not by its ordinal"),
    (set_optional_header_size(0xE0 + 1), "SizeOfOptionalHeader is 0xe1, expected 0xe0"),
    (set_optional_header_size(0xE0 - 8), "SizeOfOptionalHeader is 0xd8, expected 0xe0"),
    (read_only_iat_section, "IAT is not inside a writable section"),
    (iat_in_rdata, "IAT is not inside a writable section"),
    (writable_ending_at_iat(-1), "IAT is not inside a writable section"),
    (flip_entry_state, "entry jumps to"),
    (differ_iat, "IAT on disk differs"),
]


def grown(original, blocks):
    """The image with the section last in the file longer there by some zero blocks: still a
    valid image, and a file that many blocks larger."""
    pe = pefile.PE(data=original)
    last = max(pe.sections, key=lambda section: section.PointerToRawData)
    assert last.PointerToRawData + last.SizeOfRawData == len(original), "not last in the file"
    last.SizeOfRawData += blocks * FILE_ALIGNMENT
    last.Misc_VirtualSize = max(last.Misc_VirtualSize, last.SizeOfRawData)
    end = last.VirtualAddress + last.Misc_VirtualSize
    pe.OPTIONAL_HEADER.SizeOfImage = max(pe.OPTIONAL_HEADER.SizeOfImage,
                                         (end + 0xFFF) // 0x1000 * 0x1000)
    pe.OPTIONAL_HEADER.SizeOfInitializedData += blocks * FILE_ALIGNMENT
    return bytes(pe.write()) + bytes(blocks * FILE_ALIGNMENT)


def run_check(folder, name, data, thumb):
    path = os.path.join(folder, name)
    with open(path, "wb") as image:
        image.write(data)
    command = [CHECK_PE, path] + (["--thumb"] if thumb else [])
    result = subprocess.run(command, capture_output=True, text=True, check=False)
    return result.returncode, result.stderr


def main():
    if len(sys.argv) not in (2, 3) or (len(sys.argv) == 3 and sys.argv[2] != "--thumb"):
        sys.exit(__doc__)
    thumb = len(sys.argv) == 3
    with open(os.path.join(sys.argv[1], "Kelbrun.EXE"), "rb") as image:
        original = image.read()
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        status, complaint = run_check(folder, "pristine.exe", original, thumb)
        if status != 0:
            failures.append(f"the build's own Kelbrun.EXE fails:\n{complaint}")

        for damage, word in DAMAGES:
            pe = pefile.PE(data=original)
            patches = damage(pe) or []
            data = bytearray(pe.write())
            for offset, patched in patches:
                data[offset:offset + len(patched)] = patched
            status, complaint = run_check(folder, damage.__name__ + ".exe", bytes(data), thumb)
            if status != 1 or word not in complaint:
                failures.append(f"{damage.__name__}: status {status}, expected 1 and a "
                                f"complaint with {word!r}:\n{complaint}")

        # Exactly at the IAT's end, the writable section still holds it.
        pe = pefile.PE(data=original)
        writable_ending_at_iat(0)(pe)
        status, complaint = run_check(folder, "iat-at-end.exe", bytes(pe.write()), thumb)
        if status != 0:
            failures.append(f"a writable section ending exactly at the IAT's end fails:\n"
                            f"{complaint}")

        aim = SIZE_AIM
        blocks = (aim - len(original)) // FILE_ALIGNMENT
        if blocks < 0 or len(original) + blocks * FILE_ALIGNMENT != aim:
            failures.append(f"Kelbrun.EXE is {len(original)} bytes: no whole number of blocks "
                            f"reaches the aim of {aim}")
        else:
            status, complaint = run_check(folder, "at-aim.exe", grown(original, blocks), thumb)
            if status != 0:
                failures.append(f"a valid file of exactly {aim} bytes fails:\n{complaint}")
            status, complaint = run_check(folder, "above-aim.exe", grown(original, blocks + 1),
                                          thumb)
            if status != 1 or "above the aim" not in complaint:
                failures.append(f"a file one block above the aim: status {status}:\n{complaint}")

    for failure in failures:
        print(f"check_pe_test: {failure}", file=sys.stderr)
    total = len(DAMAGES) + 4
    print(f"check_pe_test: {total - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
