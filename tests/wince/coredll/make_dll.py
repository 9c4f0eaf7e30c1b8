#!/usr/bin/python3
"""Writes a Windows CE ARM DLL (PE32, machine ARMV4I) from an ELF linked by coredll.ld.

Its sections are the ELF's .text (code and constants) and .data (with its zeroed storage), an
.edata section with the export table, and an .rsrc section with a string table: each export names an ELF symbol and the ordinal it is
exported under, by name too. Thumb functions keep bit 0 of their address, as the unit's export
tables have it. The DLL cannot be moved (no relocations): its base is where coredll.ld put it.

    make_dll.py ELF EXPORTS STRINGS OUTPUT
STRINGS (lines of "id text") becomes its string table, in an .rsrc section. EXPORTS is a listing of "name ordinal [component]" lines (platform/coredll.exports), to which
ordinal 14, MainThreadBaseFunc, and COREDLL's CompareStringW, 198, are added.
"""

import struct
import sys

BASE = 0x10000000
PAGE = 0x1000
FILE_ALIGN = 0x200


def read_elf(path):
    data = open(path, "rb").read()
    if data[:4] != b"\x7fELF" or data[4] != 1 or data[5] != 1:
        sys.exit(f"{path}: not a 32-bit little-endian ELF")
    entry, shoff = struct.unpack_from("<I", data, 24)[0], struct.unpack_from("<I", data, 32)[0]
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 46)
    headers = [struct.unpack_from("<IIIIIIIIII", data, shoff + i * shentsize) for i in range(shnum)]
    names = headers[shstrndx]

    def name(offset, table):
        end = data.index(b"\0", table[4] + offset)
        return data[table[4] + offset:end].decode()

    sections = {name(h[0], names): h for h in headers}
    symbols = {}
    symtab, strtab = sections[".symtab"], sections[".strtab"]
    for at in range(symtab[4], symtab[4] + symtab[5], 16):
        st_name, value, _size, info, _other, shndx = struct.unpack_from("<IIIBBH", data, at)
        if shndx != 0 and info >> 4 == 1:  # a global symbol, defined
            symbols[name(st_name, strtab)] = value

    def contents(section):
        h = sections[section]
        body = data[h[4]:h[4] + h[5]] if h[1] != 8 else bytes(h[5])
        return h[3], body

    return entry, contents(".text"), contents(".data"), symbols


def read_exports(path):
    exports = [("MainThreadBaseFunc", 14), ("CompareStringW", 198)]
    for line in open(path, encoding="utf-8"):
        fields = line.split("#")[0].split()
        if fields:
            exports.append((fields[0], int(fields[1])))
    return sorted(exports, key=lambda e: e[1])


def export_section(rva, exports, symbols):
    """The export directory, its address table (ordinal base 1), names and name ordinals."""
    first, last = exports[0][1], exports[-1][1]
    count = last - first + 1
    by_name = sorted(exports)
    directory = 40
    functions = directory
    names = functions + 4 * count
    ordinals = names + 4 * len(by_name)
    strings = ordinals + 2 * len(by_name)
    text = b"coredll.dll\0"
    name_offsets = []
    for export_name, _ in by_name:
        name_offsets.append(strings + len(text))
        text += export_name.encode() + b"\0"
    body = bytearray(strings + len(text))
    struct.pack_into("<IIHHIIIIIII", body, 0, 0, 0, 0, 0, rva + strings, first, count,
                     len(by_name), rva + functions, rva + names, rva + ordinals)
    for export_name, ordinal in exports:
        if export_name not in symbols:
            sys.exit(f"the DLL has no {export_name} to export as ordinal {ordinal}")
        struct.pack_into("<I", body, functions + 4 * (ordinal - first), symbols[export_name] - BASE)
    for i, (export_name, ordinal) in enumerate(by_name):
        struct.pack_into("<I", body, names + 4 * i, rva + name_offsets[i])
        struct.pack_into("<H", body, ordinals + 2 * i, ordinal - first)
    body[strings:] = text
    return bytes(body)


def resource_section(rva, strings):
    """A resource directory with one type, RT_STRING (6): a block of 16 counted texts for each
    sixteen ids that have any, in English (United States)."""
    blocks = {}
    for string_id, text in strings:
        blocks.setdefault(string_id // 16 + 1, [""] * 16)[string_id % 16] = text
    names = sorted(blocks)

    def directory(entries):
        return struct.pack("<IIHHHH", 0, 0, 0, 0, 0, len(entries)) + b"".join(
            struct.pack("<II", key, value) for key, value in entries)

    root_size = 16 + 8
    type_size = 16 + 8 * len(names)
    language_size = 16 + 8
    languages_at = root_size + type_size
    entries_at = languages_at + language_size * len(names)
    data_at = entries_at + 16 * len(names)
    body = directory([(6, 0x80000000 | root_size)])
    body += directory([(name, 0x80000000 | (languages_at + language_size * i))
                       for i, name in enumerate(names)])
    for i in range(len(names)):
        body += directory([(0x0409, entries_at + 16 * i)])
    data = b""
    entries = b""
    for name in names:
        block = b"".join(struct.pack("<H", len(t)) + t.encode("utf-16-le") for t in blocks[name])
        entries += struct.pack("<IIII", rva + data_at + len(data), len(block), 0, 0)
        data += block + bytes(-len(block) % 4)
    return body + entries + data


def read_strings(path):
    strings = []
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if line and not line.startswith("#"):
            string_id, text = line.split(" ", 1)
            strings.append((int(string_id), text))
    return strings


def align(value, unit):
    return (value + unit - 1) // unit * unit


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    entry, (text_at, text), (data_at, data), symbols = read_elf(sys.argv[1])
    exports = read_exports(sys.argv[2])
    edata_rva = align(max(text_at + len(text), data_at + len(data)) - BASE, PAGE)
    edata = export_section(edata_rva, exports, symbols)
    rsrc_rva = align(edata_rva + len(edata), PAGE)
    rsrc = resource_section(rsrc_rva, read_strings(sys.argv[3]))
    sections = [(b".text", text_at - BASE, text, 0x60000020),
                (b".data", data_at - BASE, data, 0xC0000040),
                (b".edata", edata_rva, edata, 0x40000040),
                (b".rsrc", rsrc_rva, rsrc, 0x40000040)]
    headers_size = 0x400
    image = bytearray(headers_size)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x80)
    image[0x80:0x84] = b"PE\0\0"
    # ARMV4I, a DLL that cannot be moved: executable, 32-bit, relocations stripped.
    struct.pack_into("<HHIIIHH", image, 0x84, 0x01C2, len(sections), 0, 0, 0, 224, 0x2103)
    image_size = align(rsrc_rva + len(rsrc), PAGE)
    optional = struct.pack(
        "<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", 0x010B, 6, 0, len(text), len(data) + len(edata) + len(rsrc), 0,
        entry - BASE, text_at - BASE, data_at - BASE, BASE, PAGE, FILE_ALIGN, 5, 0, 0, 0, 5, 0,
        0, image_size, headers_size, 0, 9, 0, 0x10000, 0x1000, 0x100000, 0x1000, 0, 16)
    image[0x98:0x98 + len(optional)] = optional
    struct.pack_into("<II", image, 0x98 + 96, edata_rva, len(edata))  # the export directory
    struct.pack_into("<II", image, 0x98 + 96 + 16, rsrc_rva, len(rsrc))  # the resources
    offset = headers_size
    body = bytearray()
    for i, (section_name, rva, contents, flags) in enumerate(sections):
        raw = align(len(contents), FILE_ALIGN)
        struct.pack_into("<8sIIIIIIHHI", image, 0x178 + 40 * i, section_name, len(contents), rva,
                         raw, offset, 0, 0, 0, 0, flags)
        body += contents + bytes(raw - len(contents))
        offset += raw
    open(sys.argv[4], "wb").write(bytes(image) + bytes(body))


if __name__ == "__main__":
    main()
