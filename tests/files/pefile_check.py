#!/usr/bin/env python3
"""Checks the expected filegetversion results of the PE fixtures
(versions.txt beside this script) with an independent PE reader, pefile.

For each row it works out what filegetversion must give: -20 when the file
is no PE image or has no version information with the 0xFEEF04BD
signature; otherwise the string table of the first translation pair (US
English and code page 1252 when there is no translation table), and in it
the attribute, its name matched without regard to case; -30 when it is not
there. Prints one "ok ..." or "not ok ..." line per row; exits 1 on any
failure.

Usage: pefile_check.py FIXTURE_DIR [MODULE_DLL]
MODULE_DLL, when given, is checked against the rows of hostkit_rc.dll, whose
version resource is the module's own."""

import os
import sys

import pefile


def read_table(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            name, attribute, code, value = (line.split("\t") + ["", "", "", ""])[:4]
            if len(value) >= 2 and value[0] == '"' and value[-1] == '"':
                value = value[1:-1]
            rows.append((name, attribute, int(code), value))
    return rows


def expected(path, attribute):
    """(code, value) as filegetversion must give them, by pefile."""
    try:
        pe = pefile.PE(path, fast_load=True)
        pe.parse_data_directories(
            directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    except pefile.PEFormatError:
        return -20, ""
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed or fixed[0].Signature != 0xFEEF04BD:
        return -20, ""
    language, codepage = 0x0409, 1252
    tables = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        if info.Key == b"VarFileInfo":
            for var in info.Var:
                if b"Translation" in var.entry and var.ValueLength >= 4:
                    # pefile keeps only the last pair in var.entry: read the
                    # first one where pefile found the value (after the
                    # header and the key "Translation", 4-byte aligned).
                    start = var.get_file_offset() + 6 + 2 * len("Translation\0")
                    start = (start + 3) & ~3
                    first = pe.__data__[start:start + 4]
                    language = first[0] | (first[1] << 8)
                    codepage = first[2] | (first[3] << 8)
        elif info.Key == b"StringFileInfo":
            for table in info.StringTable:
                tables[table.LangID.decode().lower()] = {
                    k.decode().lower(): v.decode("utf-8") for k, v in table.entries.items()}
    # The look-up path ("\\StringFileInfo\\llllcccc\\" and the name) has a
    # buffer of 1024 characters with its terminator.
    if 25 + len(attribute) + 1 > 1024:
        return -30, ""
    strings = tables.get("%04x%04x" % (language, codepage))
    if strings is None or attribute.lower() not in strings:
        return -30, ""
    return 0, strings[attribute.lower()]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    fixtures = sys.argv[1]
    module = sys.argv[2] if len(sys.argv) > 2 else None
    failures = 0
    checks = []
    for name, attribute, code, value in read_table(os.path.join(here, "versions.txt")):
        checks.append((os.path.join(fixtures, name), name, attribute, code, value))
        if module and name == "hostkit_rc.dll":
            checks.append((module, os.path.basename(module), attribute, code, value))
    for path, name, attribute, code, value in checks:
        got = expected(path, attribute)
        if got == (code, value):
            print(f"ok {name} {attribute}")
        else:
            failures += 1
            print(f"not ok {name} {attribute}: table says {(code, value)!r}, pefile gives {got!r}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
