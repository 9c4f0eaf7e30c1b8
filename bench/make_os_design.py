#!/usr/bin/env python3
"""Writes a large OS design for the reader's benchmark: a common.reg and a platform.reg in the
order makeimg merges them, the platform's registry spread over included files, in the forms
real image-builder files use (#define, #include through $(NAME), IF blocks, comments,
multi_sz: lists, hex data continued over lines), with at least LINES lines in all.

usage: bench/make_os_design.py FOLDER [LINES]
Prints the files it wrote, in the order kelbrun-sim reads them.
"""
import os
import sys


def driver_block(part, index):
    key = f"HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Part{part}Driver{index}"
    return [
        f"; driver {index} of part {part}",
        "IF BSP_NODRIVER{0} !".format(index % 7),
        f"[$(BUILTIN_ROOT)\\Part{part}Driver{index}]",
        f'    "Dll"="drv{part}_{index}.dll"',
        f'    "Prefix"="D{index % 10}X"',
        f"    \"Index\"=dword:{index % 10:x}",
        f"    \"Order\"=dword:{(index * 7) % 256:x}",
        f'    "IClass"=multi_sz:"{{A32942B7-920C-486b-B0E6-92A702A99B35}}",',
        f'                      "{{{part:08X}-0000-0000-0000-{index:012X}}}"',
        "    \"Config\"=hex:01,02,03,04,05,06,07,08,\\",
        "                   09,0a,0b,0c,0d,0e,0f,10",
        "ENDIF",
        f"[{key}\\Settings]",
        f'    "Name"="Part {part} driver {index}"  ; shown in the control panel',
        "",
    ]


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__.strip().splitlines()[-2])
    folder = sys.argv[1]
    lines_wanted = int(sys.argv[2]) if len(sys.argv) == 3 else 100000
    os.makedirs(os.path.join(folder, "inc"), exist_ok=True)

    common = [
        "; The common registry of the design.",
        "[HKEY_LOCAL_MACHINE\\init]",
        '    "Launch10"="shell.exe"',
        '    "Launch20"="device.exe"',
        '    "Launch50"="explorer.exe"',
        '    "Depend50"=hex:14,00, 1e,00',
        '    "Launch60"="Kelbrun.EXE"',
        '    "Depend60"=hex:14,00',
        "",
    ]
    written = [len(common)]
    parts = []
    part = 0
    total = len(common) + 4
    while total < lines_wanted:
        part += 1
        body = [f"; part {part} of the platform's drivers"]
        for index in range(1, 201):
            body += driver_block(part, index)
        parts.append(body)
        total += len(body) + 1
    platform = [
        "; The platform's registry: its drivers, one included file a part.",
        "#define BUILTIN_ROOT HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn",
    ]
    platform += [f'#include "$(_TARGETPLATROOT)\\inc\\part{n + 1}.reg"' for n in range(len(parts))]
    platform += [
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\Paths]",
        '    "SDMMC"="\\\\SDMMC"',
        '    "DataStorage"="\\\\SDMMC\\\\Data"',
        '    "User"="\\\\ResidentFlash"',
    ]

    def write(name, lines):
        path = os.path.join(folder, name)
        with open(path, "w", newline="\r\n") as out:
            out.write("\n".join(lines) + "\n")
        return path

    files = [write("common.reg", common)]
    for n, body in enumerate(parts):
        write(os.path.join("inc", f"part{n + 1}.reg"), body)
    files.append(write("platform.reg", platform))
    for path in files:
        print(path)


if __name__ == "__main__":
    main()
