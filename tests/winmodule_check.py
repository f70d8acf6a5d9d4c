#!/usr/bin/env python3
"""Checks the Windows module with an independent PE reader (pefile): the
version resource, the exported entry points and the DLLs it needs at run time.
Prints one "ok ..." or "not ok ..." line per check; exits 1 on any failure.
Usage: winmodule_check.py BUILD_DIR [MODULE]
MODULE is Hostkit.dll (the default, the Tcl 8 module) or tcl9Hostkit.dll; its
version resource names that file."""

import sys
import pefile

# DLLs that every Windows (and Wine) installation ships.
SYSTEM_DLLS = {
    "kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "shell32.dll",
    "shlwapi.dll", "version.dll", "wldap32.dll", "ws2_32.dll", "ole32.dll",
    "dnsapi.dll", "netapi32.dll",
}

failures = 0


def check(name, ok, detail=""):
    global failures
    if ok:
        print(f"ok {name}")
    else:
        failures += 1
        print(f"not ok {name} {detail}")


def version_info(pe):
    """Returns (fixed info, [(lang, codepage)], {table: {key: value}})."""
    fixed = pe.VS_FIXEDFILEINFO[0]
    translations, tables = [], {}
    for fi in pe.FileInfo[0]:
        if fi.Key == b"VarFileInfo":
            for var in fi.Var:
                if b"Translation" in var.entry:
                    translations = [tuple(int(x, 16) for x in var.entry[b"Translation"].split())]
        elif fi.Key == b"StringFileInfo":
            for st in fi.StringTable:
                tables[st.LangID.decode().lower()] = {
                    k.decode(): v.decode() for k, v in st.entries.items()}
    return fixed, translations, tables


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-win"
    main_module = sys.argv[2] if len(sys.argv) > 2 else "Hostkit.dll"
    for module in (main_module, "HostkitTest.dll"):
        pe = pefile.PE(f"{build}/{module}")
        imports = {e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
        extra = sorted(d for d in imports if d not in SYSTEM_DLLS
                       and not d.startswith("api-ms-win-"))
        check(f"{module} needs only system DLLs", not extra, f"also needs {extra}")

    pe = pefile.PE(f"{build}/{main_module}")
    exports = sorted(s.name.decode() for s in pe.DIRECTORY_ENTRY_EXPORT.symbols if s.name)
    check("exports exactly Hostkit_Init and Hostkit_SafeInit",
          exports == ["Hostkit_Init", "Hostkit_SafeInit"], f"exports {exports}")

    fixed, translations, tables = version_info(pe)
    check("fixed info signature", fixed.Signature == 0xFEEF04BD, hex(fixed.Signature))
    check("file version 1.0.0.1",
          (fixed.FileVersionMS, fixed.FileVersionLS) == (0x00010000, 0x00000001),
          f"{fixed.FileVersionMS:#x} {fixed.FileVersionLS:#x}")
    check("product version 1.0.0.1",
          (fixed.ProductVersionMS, fixed.ProductVersionLS) == (0x00010000, 0x00000001))
    check("file type DLL", fixed.FileType == 2, str(fixed.FileType))
    check("one translation 0x0409/1200", translations == [(0x0409, 1200)], str(translations))
    strings = tables.get("040904b0")
    check("string table 040904b0", strings is not None, str(list(tables)))
    strings = strings or {}
    expected = {
        "FileVersion": "1, 0, 0, 1", "FileDescription": "Hostkit", "InternalName": "Hostkit",
        "OriginalFilename": main_module, "Comments": "", "LegalTrademarks": "",
        "PrivateBuild": "", "SpecialBuild": "", "CompanyName": "Hostkit project",
        "ProductName": "Hostkit",
    }
    for key, value in expected.items():
        check(f"string {key}", strings.get(key) == value, repr(strings.get(key)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
