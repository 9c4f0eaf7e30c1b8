#!/usr/bin/python3
"""check_pe.py must pass a device build's Kelbrun.EXE and refuse each damaged copy of it,
naming what is wrong; the size aim holds at exactly the aim and fails one file block above.

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


def rename_function(pe):
    for symbol in pe.DIRECTORY_ENTRY_IMPORT[0].imports:
        if symbol.name == b"Sleep":
            pe.set_bytes_at_offset(symbol.name_offset, b"Sleeq")


def flip_entry_state(pe):
    literal = pe.OPTIONAL_HEADER.AddressOfEntryPoint + 8
    (target,) = struct.unpack("<I", pe.get_data(literal, 4))
    pe.set_dword_at_rva(literal, target ^ 1)


def differ_iat(pe):
    # pefile writes the IAT back from what it parsed: this patch is made after the write.
    iat = pe.OPTIONAL_HEADER.DATA_DIRECTORY[12].VirtualAddress
    return pe.get_offset_from_rva(iat), struct.pack("<I", pe.get_dword_at_rva(iat) + 2)


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
    (rename_function, "unexpected ['Sleeq']"),
    (flip_entry_state, "entry jumps to"),
    (differ_iat, "IAT on disk differs"),
]


def grown(original, blocks):
    """The image with its last block of file data, .rdata's, longer by some zero blocks: still a
    valid image, and a file that many blocks larger."""
    pe = pefile.PE(data=original)
    rdata = pe.sections[1]
    assert rdata.PointerToRawData + rdata.SizeOfRawData == len(original), "not last in the file"
    rdata.SizeOfRawData += blocks * FILE_ALIGNMENT
    rdata.Misc_VirtualSize = rdata.SizeOfRawData
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
            patch = damage(pe)
            data = bytearray(pe.write())
            if patch is not None:
                offset, patched = patch
                data[offset:offset + len(patched)] = patched
            status, complaint = run_check(folder, damage.__name__ + ".exe", bytes(data), thumb)
            if status != 1 or word not in complaint:
                failures.append(f"{damage.__name__}: status {status}, expected 1 and a "
                                f"complaint with {word!r}:\n{complaint}")

        aim = 4096 if thumb else 4608
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
    total = len(DAMAGES) + 3
    print(f"check_pe_test: {total - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
