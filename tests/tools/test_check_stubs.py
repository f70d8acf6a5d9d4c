"""Tests of scripts/check-stubs.py: its reading of preprocessed text, its
judgement against the Tcl 8.4 list, and whole runs on small modules built
with CMake (tests/tools/stubs) for Linux and, where the cached Windows Tcl 8.6
and mingw-w64 are there, for Windows.

  python3 -m unittest discover -s tests/tools -v
"""

import os
import re
import runpy
import shutil
import subprocess
import sys
import tempfile
import types
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOL = os.path.join(ROOT, "scripts", "check-stubs.py")
FIXTURE = os.path.join(ROOT, "tests", "tools", "stubs")
WINTCL = os.path.join(ROOT, "build-win", "wintcl")

# The tool's functions, loaded from its file (its name is not a module name).
cs = types.SimpleNamespace(**runpy.run_path(TOOL))

LIST = cs.DEFAULT_LIST


def run_tool(*args):
    r = subprocess.run([sys.executable, TOOL, *args], capture_output=True, text=True)
    return r.returncode, r.stdout + r.stderr


class Scan(unittest.TestCase):
    def test_line_markers_place_each_call(self):
        text = ('# 1 "core/a.cpp"\n'
                'int x;\n'
                '# 40 "/usr/include/tcl8.6/tcl.h" 1 3 4\n'
                'int y;\n'
                '# 7 "core/a.cpp" 2\n'
                'f((tclStubsPtr->tcl_NewObj)()); g((tclStubsPtr->tcl_SetObjResult)(i, o));\n'
                '\n'
                '  (tclStubsPtr -> tclFreeObj)(p);\n')
        self.assertEqual(cs.scan(text), [
            ("tclStubsPtr", "Tcl_NewObj", "core/a.cpp", 7),
            ("tclStubsPtr", "Tcl_SetObjResult", "core/a.cpp", 7),
            ("tclStubsPtr", "TclFreeObj", "core/a.cpp", 9),
        ])

    def test_other_tables_and_non_function_fields(self):
        text = ('if (tclStubsPtr->magic != 1 || tclStubsPtr->hooks == 0) return;\n'
                '(tclIntStubsPtr->tclGetFrame)(i, s, f);\n'
                '(tclStubsPtr->hooks->tclPlatStubs->tcl_WinUtfToTChar)(s, n, d);\n')
        self.assertEqual([(p, n) for p, n, _, _ in cs.scan(text)], [
            ("tclIntStubsPtr", "TclGetFrame"),
            ("tclPlatStubsPtr", "Tcl_WinUtfToTChar"),
        ])


class Judge(unittest.TestCase):
    table = cs.read_list(LIST)

    def test_platform_only_slots(self):
        calls = {("tclStubsPtr", "Tcl_GetOpenFile"), ("tclStubsPtr", "Tcl_NewObj")}
        allowed, bad = cs.judge(calls, self.table, "unix")
        self.assertEqual([n for n, _ in allowed], ["Tcl_GetOpenFile", "Tcl_NewObj"])
        self.assertEqual(bad, [])
        allowed, bad = cs.judge(calls, self.table, "windows")
        self.assertEqual([n for n, _ in allowed], ["Tcl_NewObj"])
        self.assertEqual([n for _, n, _ in bad], ["Tcl_GetOpenFile"])

    def test_later_and_private_functions_fail(self):
        calls = {("tclStubsPtr", "Tcl_NewDictObj"), ("tclIntStubsPtr", "TclGetFrame"),
                 ("tclPlatStubsPtr", "Tcl_WinUtfToTChar")}
        allowed, bad = cs.judge(calls, self.table, "windows")
        self.assertEqual(allowed, [])
        self.assertEqual(sorted(n for _, n, _ in bad),
                         ["TclGetFrame", "Tcl_NewDictObj", "Tcl_WinUtfToTChar"])

    def test_broken_list_is_an_error_not_a_pass(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("# nothing but a comment\n0 generic\n")
        self.addCleanup(os.unlink, f.name)
        rc, out = run_tool("--list", f.name, os.path.join(ROOT, "no-such", "x.so"))
        self.assertEqual(rc, 2, out)
        self.assertIn("expected 'slot platform name'", out)


class StandsAlone(unittest.TestCase):
    def test_list_travels_with_the_tool(self):
        # A copy of scripts/ with nothing beside it: the default list is found.
        work = tempfile.mkdtemp(prefix="stubs-alone-")
        self.addCleanup(shutil.rmtree, work, True)
        scripts = os.path.join(work, "clone", "scripts")
        os.makedirs(scripts)
        for name in ("check-stubs.py", "tcl84-stubs.txt"):
            shutil.copy(os.path.join(ROOT, "scripts", name), scripts)
        r = subprocess.run([sys.executable, os.path.join(scripts, "check-stubs.py"),
                            os.path.join(work, "missing.so")], capture_output=True, text=True)
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertIn("no such module", r.stderr)


class Modules:
    """Builds the fixture modules once per class with the given CMake options."""
    cmake_args = []
    suffix = ".so"

    @classmethod
    def setUpClass(cls):
        cls.build = tempfile.mkdtemp(prefix="stubs-fixture-")
        cmd = ["cmake", "-S", FIXTURE, "-B", cls.build, "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON", *cls.cmake_args]
        for c in (cmd, ["cmake", "--build", cls.build, "-j2"]):
            r = subprocess.run(c, capture_output=True, text=True)
            if r.returncode != 0:
                shutil.rmtree(cls.build, ignore_errors=True)
                raise RuntimeError(f"{' '.join(c)} failed:\n{r.stdout[-3000:]}{r.stderr[-3000:]}")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.build, ignore_errors=True)

    def module(self, name):
        return os.path.join(self.build, name + self.suffix)

    def listed(self, out):
        """Function names the tool printed as allowed."""
        return set(re.findall(r"^  (Tcl\w+)\s+slot \d+", out, re.M))

    def test_good_module_passes_and_shows_what_macros_call(self):
        rc, out = run_tool(self.module("good"))
        self.assertEqual(rc, 0, out)
        self.assertEqual(self.listed(out), {
            "Tcl_CreateObjCommand", "Tcl_DuplicateObj", "Tcl_NewStringObj", "Tcl_PkgProvideEx",
            "Tcl_SetObjResult", "TclFreeObj"})

    def test_later_functions_fail_with_their_place(self):
        rc, out = run_tool(self.module("bad"))
        self.assertEqual(rc, 1, out)
        for name, line in (("Tcl_NewDictObj", 7), ("Tcl_DictObjPut", 8)):
            self.assertRegex(out, rf"NOT IN 8\.4: {name}: not in the list; used at \S*bad\.c:{line}\b")
        self.assertIn("Tcl_NewIntObj", self.listed(out))

    def test_every_module_checked_and_any_failure_fails_the_run(self):
        rc, out = run_tool(self.module("good"), self.module("bad"))
        self.assertEqual(rc, 1, out)
        self.assertRegex(out, r"(?m)^ok .*good")
        self.assertRegex(out, r"(?m)^FAIL .*bad")

    def test_module_without_stubs_fails(self):
        rc, out = run_tool(self.module("direct"))
        self.assertEqual(rc, 1, out)
        self.assertIn("NOT THROUGH STUBS", out)

    def test_object_files_alone(self):
        obj = [os.path.join(d, f) for d, _, fs in os.walk(os.path.join(self.build, "CMakeFiles", "bad.dir"))
               for f in fs if f.endswith((".o", ".obj"))]
        self.assertEqual(len(obj), 1)
        rc, out = run_tool("--build-dir", self.build, *obj)
        self.assertEqual(rc, 1, out)
        self.assertIn("Tcl_DictObjPut", out)


class LinuxModules(Modules, unittest.TestCase):
    def test_unix_only_slot_passes_on_unix(self):
        rc, out = run_tool(self.module("unixonly"))
        self.assertEqual(rc, 0, out)
        self.assertIn("Tcl_GetOpenFile", self.listed(out))


@unittest.skipUnless(shutil.which("x86_64-w64-mingw32-gcc") and os.path.isfile(os.path.join(WINTCL, "lib", "tclConfig.sh")),
                     "needs mingw-w64 and the Windows Tcl 8.6 (scripts/build-wintcl.sh)")
class WindowsModules(Modules, unittest.TestCase):
    cmake_args = [f"-DCMAKE_TOOLCHAIN_FILE={ROOT}/cmake/mingw-w64.cmake", f"-DTCL_ROOT={WINTCL}"]
    suffix = ".dll"


if __name__ == "__main__":
    unittest.main()
