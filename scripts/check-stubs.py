#!/usr/bin/env python3
"""Lists the Tcl stubs-table functions that a Tcl 8 module calls and fails on
any that the Tcl 8.4 table lacks, so that the module keeps loading into every
Tcl from 8.4 on.

A module built with USE_TCL_STUBS reaches Tcl only through the table, as
tclStubsPtr->tcl_Name (tclIntStubsPtr, tclPlatStubsPtr, ... for the other
tables), so its binary names no Tcl function. The calls are read from the
preprocessed sources instead: every object linked into the module is compiled
again with -E, using the command of the build's compile_commands.json (CMake:
-DCMAKE_EXPORT_COMPILE_COMMANDS=ON), so Tcl's macros (Tcl_PkgProvide,
Tcl_DecrRefCount, ...) show the table entries they really use. The module
itself is checked to import nothing from Tcl directly.

  scripts/check-stubs.py build/Hostkit.so [build-win/Hostkit.dll]
  scripts/check-stubs.py --build-dir build build/CMakeFiles/hostkit_objs.dir/core/x.cpp.o

A module's objects are the ones on its CMake link line
(BUILD/CMakeFiles/NAME.dir/link.txt, Makefile generators). Exit status: 0 when
every call is in the list, 1 when any is not (they are listed), 2 when the
check could not be made.
"""

import argparse
import concurrent.futures
import json
import os
import re
import shlex
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Tcl 8.4.20's table (generic/tcl.decls), kept beside this script.
DEFAULT_LIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tcl84-stubs.txt")

# tclStubsPtr->tcl_Foo, tclIntStubsPtr->tclFoo, tclStubsPtr->hooks->tclPlatStubs->...
STUBS_REF = re.compile(r"\b(tcl[A-Za-z]*StubsPtr)\s*->\s*([A-Za-z_]\w*)")
LINE_MARK = re.compile(r'^#\s*(?:line\s+)?(\d+)\s+"((?:[^"\\]|\\.)*)"')
# Fields of a stubs table that are not functions.
NOT_FUNCTIONS = {"magic", "hooks", "reserved"}
OBJECT_SUFFIXES = (".o", ".obj")


class CheckError(Exception):
    """The check could not be made (exit 2)."""


def read_list(path):
    """Returns {function name: (slot, platform)} from a stubs list
    ("slot platform name" lines, '#' comments)."""
    table = {}
    try:
        with open(path, encoding="utf-8") as f:
            for n, line in enumerate(f, 1):
                line = line.strip()
                if not line or line.startswith("#"):
                    continue
                parts = line.split()
                if len(parts) != 3 or not parts[0].isdigit():
                    raise CheckError(f"{path}:{n}: expected 'slot platform name', got {line!r}")
                table[parts[2]] = (int(parts[0]), parts[1])
    except OSError as e:
        raise CheckError(f"cannot read the stubs list: {e}") from e
    if not table:
        raise CheckError(f"{path}: no functions listed")
    return table


def function_name(field):
    """tcl_PkgProvideEx -> Tcl_PkgProvideEx, tclFreeObj -> TclFreeObj."""
    return field[:1].upper() + field[1:]


def scan(text):
    """Finds the stubs-table references in preprocessed text. Returns a list of
    (table pointer, function name, source file, line)."""
    found = []
    src, line = "?", 0
    for raw in text.splitlines():
        m = LINE_MARK.match(raw)
        if m:
            line, src = int(m.group(1)), m.group(2).encode().decode("unicode_escape")
            continue
        for ref in STUBS_REF.finditer(raw):
            table, field = ref.group(1), ref.group(2)
            if field == "hooks":
                # tclStubsPtr->hooks->tclPlatStubs->name: the table a hook leads to.
                rest = raw[ref.end():]
                hm = re.match(r"\s*->\s*(tcl[A-Za-z]*Stubs)\s*\)?\s*->\s*([A-Za-z_]\w*)", rest)
                if hm:
                    found.append((hm.group(1) + "Ptr", function_name(hm.group(2)), src, line))
                continue
            if field in NOT_FUNCTIONS:
                continue
            found.append((table, function_name(field), src, line))
        line += 1
    return found


def judge(calls, table, platform):
    """Splits {(stubs pointer, name)} into allowed and offending. Returns
    (allowed [(name, slot)], offenders [(pointer, name, reason)])."""
    allowed, offenders = [], []
    for ptr, name in sorted(calls, key=lambda c: (c[1], c[0])):
        if ptr != "tclStubsPtr":
            offenders.append((ptr, name, f"{ptr}: not the public Tcl table, which is all the list covers"))
            continue
        entry = table.get(name)
        if entry is None:
            offenders.append((ptr, name, "not in the list"))
        elif entry[1] not in ("generic", platform):
            offenders.append((ptr, name, f"slot {entry[0]} is {entry[1]}-only in the list"))
        else:
            allowed.append((name, entry[0]))
    return allowed, offenders


def load_compile_commands(build_dir):
    path = os.path.join(build_dir, "compile_commands.json")
    try:
        with open(path, encoding="utf-8") as f:
            entries = json.load(f)
    except OSError as e:
        raise CheckError(f"{path}: {e.strerror}; configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON") from e
    by_output = {}
    for e in entries:
        args = e["arguments"] if "arguments" in e else shlex.split(e["command"])
        out = e.get("output")
        if out is None:
            for i, a in enumerate(args):
                if a == "-o" and i + 1 < len(args):
                    out = args[i + 1]
                elif a.startswith("-o") and len(a) > 2:
                    out = a[2:]
        if out is None:
            continue
        out = os.path.normpath(os.path.join(e["directory"], out))
        by_output[out] = {"directory": e["directory"], "file": e["file"], "args": args}
    return by_output


def link_objects(module, build_dir):
    """Objects on the module's CMake link line (response files followed)."""
    name = os.path.basename(module)
    target = os.path.splitext(name)[0]
    candidates = [target] + ([target[3:]] if target.startswith("lib") else [])
    for t in candidates:
        tdir = os.path.join(build_dir, "CMakeFiles", t + ".dir")
        link = os.path.join(tdir, "link.txt")
        if os.path.isfile(link):
            break
    else:
        raise CheckError(f"no CMake link line for {name} under {build_dir}/CMakeFiles "
                         "(Makefile generator expected; or pass the object files)")
    objects = []

    def take(words):
        for w in words:
            if w.startswith("@"):
                rsp = os.path.join(build_dir, w[1:])
                if os.path.isfile(rsp):
                    with open(rsp, encoding="utf-8") as f:
                        take(shlex.split(f.read()))
            elif w.endswith(OBJECT_SUFFIXES):
                objects.append(os.path.normpath(os.path.join(build_dir, w)))

    with open(link, encoding="utf-8") as f:
        for line in f:
            take(shlex.split(line))
    if not objects:
        raise CheckError(f"{link}: names no object files")
    return objects


def preprocess_command(args):
    """The compile command turned into a preprocess-only one writing to stdout."""
    out, skip = [], False
    for a in args:
        if skip:
            skip = False
            continue
        if a in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        if a.startswith("-o") or a in ("-MD", "-MMD"):
            continue
        out.append("-E" if a == "-c" else a)
    if "-E" not in out:
        raise CheckError(f"not a compile command (no -c): {' '.join(args)}")
    return out


_machine_cache = {}


def compiler_platform(compiler, cwd):
    """unix or windows, from the compiler's target triple."""
    if compiler not in _machine_cache:
        try:
            triple = subprocess.run([compiler, "-dumpmachine"], cwd=cwd, capture_output=True,
                                    text=True, check=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError) as e:
            raise CheckError(f"cannot ask {compiler} for its target: {e}") from e
        _machine_cache[compiler] = "windows" if re.search(r"mingw|windows|cygwin|msys", triple) else "unix"
    return _machine_cache[compiler]


def preprocess(entry):
    cmd = preprocess_command(entry["args"])
    r = subprocess.run(cmd, cwd=entry["directory"], capture_output=True, text=True, errors="replace")
    if r.returncode != 0:
        raise CheckError(f"preprocessing {entry['file']} failed:\n{r.stderr[-2000:]}")
    return r.stdout


def direct_tcl_imports(module):
    """Tcl functions or DLLs the module takes from Tcl directly, not through
    the table (a source compiled without USE_TCL_STUBS)."""
    if module.endswith(".dll"):
        tool = shutil.which("x86_64-w64-mingw32-objdump") or shutil.which("objdump")
        if not tool:
            raise CheckError("objdump not found (binutils, mingw-w64)")
        out = subprocess.run([tool, "-p", module], capture_output=True, text=True).stdout
        return [m for m in re.findall(r"DLL Name:\s*(\S+)", out) if re.match(r"(?i)tcl\d", m)]
    tool = shutil.which("nm")
    if not tool:
        raise CheckError("nm not found (binutils)")
    r = subprocess.run([tool, "-D", "--undefined-only", module], capture_output=True, text=True)
    if r.returncode != 0:
        raise CheckError(f"nm {module}: {r.stderr.strip()}")
    syms = [line.split()[-1] for line in r.stdout.splitlines() if line.strip()]
    return [s for s in syms if re.match(r"_?Tcl[A-Z_]|_?tcl[A-Z]\w*Stubs", s)]


def check_one(target, build_dir, table, platform_opt, jobs, list_path, verbose):
    """Checks one module (or one set of objects). Returns the number of offenders."""
    if target[0].endswith(OBJECT_SUFFIXES):
        objects = [os.path.normpath(os.path.abspath(o)) for o in target]
        module = None
        build_dir = build_dir or os.path.dirname(objects[0])
        label = f"{len(objects)} object file(s)"
    else:
        module = os.path.abspath(target[0])
        if not os.path.isfile(module):
            raise CheckError(f"{module}: no such module")
        build_dir = build_dir or os.path.dirname(module)
        objects = link_objects(module, build_dir)
        label = os.path.relpath(module)
    commands = load_compile_commands(os.path.abspath(build_dir))
    entries = []
    for o in objects:
        if o not in commands:
            if re.search(r"\.(rc|res)\.obj$|\.res$", o):
                continue  # resource script: no C code
            raise CheckError(f"{o}: no compile command for it in {build_dir}/compile_commands.json")
        entries.append(commands[o])
    if not entries:
        raise CheckError(f"{label}: no compiled sources found")

    platform = platform_opt
    if not platform:
        platforms = {compiler_platform(e["args"][0], e["directory"]) for e in entries}
        if len(platforms) != 1:
            raise CheckError(f"{label}: objects for several platforms: {sorted(platforms)}")
        platform = platforms.pop()

    calls = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for entry, text in zip(entries, pool.map(preprocess, entries)):
            for ptr, name, src, line in scan(text):
                calls.setdefault((ptr, name), set()).add(
                    (os.path.relpath(src, ROOT) if os.path.isabs(src) else src, line))

    allowed, offenders = judge(calls, table, platform)
    print(f"{label} ({platform}): {len(entries)} source(s), {len(calls)} stubs function(s)")
    for name, slot in allowed:
        where = ""
        if verbose:
            where = "  " + ", ".join(f"{s}:{n}" for s, n in sorted(calls[("tclStubsPtr", name)])[:3])
        print(f"  {name:32} slot {slot}{where}")
    direct = direct_tcl_imports(module) if module else []
    for ptr, name, reason in offenders:
        sites = sorted(calls[(ptr, name)])
        more = f" (+{len(sites) - 3} more)" if len(sites) > 3 else ""
        print(f"  NOT IN 8.4: {name}: {reason}; used at "
              + ", ".join(f"{s}:{n}" for s, n in sites[:3]) + more)
    for d in direct:
        print(f"  NOT THROUGH STUBS: {label} takes {d} from Tcl directly")
    bad = len(offenders) + len(direct)
    if bad:
        print(f"FAIL {label}: {bad} call(s) outside {list_path} or not through the table")
    else:
        print(f"ok {label}: every call is in {list_path}")
    return bad


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("targets", nargs="+", metavar="MODULE|OBJECT",
                   help="built modules (.so/.dll: each checked on its own) or object files (checked together)")
    p.add_argument("--list", default=DEFAULT_LIST, help="stubs list (default: scripts/tcl84-stubs.txt)")
    p.add_argument("--build-dir", help="CMake build folder (default: the module's folder)")
    p.add_argument("--platform", choices=("unix", "windows"), help="default: from the compiler's target")
    p.add_argument("-j", "--jobs", type=int, default=int(os.environ.get("JOBS", "2")))
    p.add_argument("-v", "--verbose", action="store_true", help="show where each call is made")
    a = p.parse_args(argv)

    try:
        table = read_list(a.list)
        list_path = os.path.relpath(os.path.abspath(a.list))
        modules = [t for t in a.targets if not t.endswith(OBJECT_SUFFIXES)]
        objects = [t for t in a.targets if t.endswith(OBJECT_SUFFIXES)]
        if modules and objects:
            raise CheckError("give either modules or object files, not both")
        groups = [[m] for m in modules] + ([objects] if objects else [])
        bad = sum(check_one(g, a.build_dir, table, a.platform, max(1, a.jobs), list_path, a.verbose)
                  for g in groups)
    except CheckError as e:
        print(f"check-stubs: {e}", file=sys.stderr)
        return 2
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
