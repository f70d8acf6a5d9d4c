#!/usr/bin/env python3
"""Checks the dependency rule of doc/DESIGN.md on the sources: includes point
down only, and only the unix/ and win/ folders know which system they are on.
Prints one line per breach and "layers: N files, N breaches"; exits 1 on any."""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
AREAS = ("core", "directory", "process", "files")
INCLUDE = re.compile(r'^\s*#\s*include\s+([<"])([^>"]+)[>"]')
SYSTEM_TEST = re.compile(r'^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__linux__|__unix__)\b')


def kind(path):
    """The layer of a source file, by its place in the tree."""
    parts = path.split("/")
    name = parts[-1]
    if len(parts) >= 3 and parts[1] == "base":
        return "base"
    if len(parts) >= 3 and parts[1] in ("unix", "win"):
        return "system"
    if name.endswith("Platform.h"):
        return "platform"
    # Command procedures (*Cmd) and the Tcl objects they return (*Obj, as
    # Tcl's own tclListObj.c) are the Tcl side of an area.
    if parts[0] == "core" or re.search(r"(Cmd|Obj)\.(cpp|h)$", name):
        return "command"
    return "portable"


def allowed(src_kind, src, target, angle):
    """Whether a file of src_kind may include target."""
    if angle:
        # System and library headers: Tcl only where the rule lets it in.
        if target == "tcl.h":
            return src_kind == "command" or src == "core/unix/unixText.cpp"
        if src_kind in ("base", "platform"):
            return not target.endswith(".h")	# the C++ library only
        return True
    tkind = kind(target)
    if src_kind == "base":
        return tkind == "base"
    if src_kind == "platform":
        return tkind == "base"
    if src_kind == "system":
        return tkind in ("base", "platform", "system")
    if src_kind == "portable":
        return tkind in ("base", "platform", "portable")
    return True


def main():
    files = breaches = 0
    for area in AREAS:
        for folder, _, names in os.walk(os.path.join(ROOT, area)):
            for name in sorted(names):
                if not name.endswith((".cpp", ".h", ".c")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), ROOT)
                src_kind = kind(path)
                files += 1
                with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if m and not allowed(src_kind, path, m.group(2), m.group(1) == "<"):
                            print("%s:%d: %s file includes %s" % (path, number, src_kind, m.group(2)))
                            breaches += 1
                        if src_kind != "system" and SYSTEM_TEST.match(line):
                            print("%s:%d: %s file tests the system: %s" % (path, number, src_kind, line.strip()))
                            breaches += 1
    print("layers: %d files, %d breaches" % (files, breaches))
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
