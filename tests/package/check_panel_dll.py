#!/usr/bin/python3
"""Checks a built panel DLL as the studio's host will see it.

  check_panel_dll.py DLL --name NAME --description TEXT --version A.B.C.D

Passes when the DLL exports exactly one function, load_drez_client_script,
under its plain name (no decoration, not by ordinal alone), imports no
MinGW runtime DLL, and carries a version record with the given file
description, internal and original name, and file and product version.
Prints what it found; exits 1 on any mismatch, 2 when the file is no DLL.
"""

import argparse
import sys

import pefile

RUNTIME_DLLS = ("libgcc", "libstdc++", "libwinpthread")


def version_strings(pe):
    strings = {}
    for info in getattr(pe, "FileInfo", []) or []:
        for entry in info:
            for table in getattr(entry, "StringTable", []) or []:
                for key, value in table.entries.items():
                    strings[key.decode()] = value.decode()
    return strings


def fixed_version(ms, ls):
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("dll")
    parser.add_argument("--name", required=True)
    parser.add_argument("--description", required=True)
    parser.add_argument("--version", required=True)
    args = parser.parse_args()

    try:
        pe = pefile.PE(args.dll)
    except (OSError, pefile.PEFormatError) as error:
        print("%s: not a readable DLL: %s" % (args.dll, error))
        return 2

    problems = []
    exports = [
        (symbol.name.decode() if symbol.name else None, symbol.ordinal)
        for symbol in getattr(pe, "DIRECTORY_ENTRY_EXPORT", None).symbols
    ] if hasattr(pe, "DIRECTORY_ENTRY_EXPORT") else []
    print("exports: %s" % ", ".join("%s (ordinal %d)" % e for e in exports))
    if [name for name, _ in exports] != ["load_drez_client_script"]:
        problems.append("the export table must hold load_drez_client_script by name, and nothing else")

    imports = [entry.dll.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    print("imports: %s" % ", ".join(imports))
    runtime = [dll for dll in imports if dll.lower().startswith(RUNTIME_DLLS)]
    if runtime:
        problems.append("needs MinGW runtime DLLs beside it: %s" % ", ".join(runtime))

    strings = version_strings(pe)
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    found = {
        "FileDescription": strings.get("FileDescription"),
        "InternalName": strings.get("InternalName"),
        "OriginalFilename": strings.get("OriginalFilename"),
        "FileVersion": fixed_version(fixed.FileVersionMS, fixed.FileVersionLS) if fixed else None,
        "ProductVersion": fixed_version(fixed.ProductVersionMS, fixed.ProductVersionLS) if fixed else None,
    }
    wanted = {
        "FileDescription": args.description,
        "InternalName": args.name,
        "OriginalFilename": args.name,
        "FileVersion": args.version,
        "ProductVersion": args.version,
    }
    for key, value in wanted.items():
        print("%s: %s" % (key, found[key]))
        if found[key] != value:
            problems.append("%s is %r, expected %r" % (key, found[key], value))

    for problem in problems:
        print("FAIL: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
