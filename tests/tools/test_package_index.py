"""Both modules installed into one folder, as users get them: the Tcl 8 build
(Hostkit.so / Hostkit.dll) and the Tcl 9 build (tcl9Hostkit.so /
tcl9Hostkit.dll) each install the same pkgIndex.tcl, and `package require
OmbriHostkit` loads the file that fits the interpreter; each interpreter
refuses the other Tcl's module with an error, never a crash. Linux with the
system tclsh8.6 and the cached tclsh9.0, Windows with tclsh86.exe and
tclsh90.exe under Wine. Skipped when a build is missing: these tests build
nothing themselves (scripts/test.sh builds build/, build-tcl9/, build-win/ and
build-win-tcl9/ first).

  python3 -m unittest discover -s tests/tools -v
"""

import os
import shutil
import subprocess
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_TCLSH = os.path.join(ROOT, "scripts", "wine-tclsh.sh")

# Prints what the index loaded, a command's result, and how loading the other
# Tcl's module ends. argv: the folder, the other module's file name.
PROBE = r"""
lappend auto_path [lindex $argv 0]
puts "version [package require OmbriHostkit] $hostkit_version"
foreach pair [info loaded] {
    if {[lindex $pair 1] eq "Hostkit"} { puts "loaded [file tail [lindex $pair 0]]" }
}
puts "scrambled [ldapencryptpassword "p\u00e4ss w"]"
puts "back [ldapdecryptpassword [ldapencryptpassword "p\u00e4ss w"]]"
interp create other
set code [catch {load [file join [lindex $argv 0] [lindex $argv 1]] Hostkit other} msg]
puts "other $code [llength [other eval {info commands ldapsearch}]]"
puts "message $msg"
exit 0
"""


def installed(*builds):
    """Installs the builds into one fresh prefix; returns the package folder."""
    prefix = tempfile.mkdtemp(prefix="hostkit-index-")
    for b in builds:
        subprocess.run(["cmake", "--install", os.path.join(ROOT, b), "--prefix", prefix],
                       check=True, capture_output=True, timeout=120)
    folders = [d for d in os.listdir(os.path.join(prefix, "lib")) if d.startswith("OmbriHostkit")]
    return prefix, os.path.join(prefix, "lib", folders[0])


def parse(stdout):
    lines = stdout.replace("\r\n", "\n").strip().split("\n")
    return dict(line.split(" ", 1) for line in lines if " " in line)


class IndexChecks:
    tcl8_module = tcl9_module = None
    builds = ()

    def run_tcl(self, which, folder, other):
        raise NotImplementedError

    def setUp(self):
        self.prefix, self.folder = installed(*self.builds)
        self.addCleanup(shutil.rmtree, self.prefix, True)

    def test_one_index_serves_both_modules(self):
        names = sorted(os.listdir(self.folder))
        self.assertEqual(names, sorted(["pkgIndex.tcl", self.tcl8_module, self.tcl9_module]))
        results = {}
        for which, own, other in (("8", self.tcl8_module, self.tcl9_module),
                                  ("9", self.tcl9_module, self.tcl8_module)):
            r = self.run_tcl(which, self.folder, other)
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
            got = parse(r.stdout)
            self.assertEqual(got.get("version"), "0.1 0.1", r.stdout)
            self.assertEqual(got.get("loaded"), own, r.stdout)
            # The other Tcl's module is refused: an error, no command registered.
            self.assertEqual(got.get("other"), "1 0", r.stdout)
            self.assertTrue(got.get("message"), r.stdout)
            results[which] = (got.get("scrambled"), got.get("back"))
        # Same results from both modules, text with a non-ASCII character included.
        self.assertEqual(results["8"], results["9"])
        self.assertEqual(results["8"][1], "p\u00e4ss w")


@unittest.skipUnless(all(os.path.isfile(os.path.join(ROOT, p)) for p in
                         ("build/Hostkit.so", "build-tcl9/tcl9Hostkit.so", "build/tcl9/bin/tclsh9.0"))
                     and shutil.which("tclsh8.6"), "needs build/, build-tcl9/ and both tclsh")
class LinuxIndex(IndexChecks, unittest.TestCase):
    tcl8_module, tcl9_module = "Hostkit.so", "tcl9Hostkit.so"
    builds = ("build", "build-tcl9")

    def run_tcl(self, which, folder, other):
        tclsh = "tclsh8.6" if which == "8" else os.path.join(ROOT, "build", "tcl9", "bin", "tclsh9.0")
        script = os.path.join(self.prefix, "probe.tcl")
        with open(script, "w", encoding="utf-8") as f:
            f.write(PROBE)
        env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
        return subprocess.run([tclsh, script, folder, other], capture_output=True, text=True,
                              encoding="utf-8", env=env, timeout=120)


@unittest.skipUnless(all(os.path.isfile(os.path.join(ROOT, p)) for p in
                         ("build-win/Hostkit.dll", "build-win-tcl9/tcl9Hostkit.dll",
                          "build-win/wintcl/bin/tclsh86.exe", "build-win/tcl9/bin/tclsh90.exe"))
                     and os.path.exists("/usr/lib/wine/wine64"), "needs both Windows builds and Wine")
class WindowsIndex(IndexChecks, unittest.TestCase):
    tcl8_module, tcl9_module = "Hostkit.dll", "tcl9Hostkit.dll"
    builds = ("build-win", "build-win-tcl9")

    def run_tcl(self, which, folder, other):
        tclsh = os.path.join(ROOT, "build-win", "wintcl" if which == "8" else "tcl9", "bin",
                             "tclsh86.exe" if which == "8" else "tclsh90.exe")
        script = os.path.join(self.prefix, "probe.tcl")
        # The script is ASCII (Tcl 8.6 reads it in the system encoding, Tcl 9 as UTF-8);
        # both write cp1252 to stdout under Wine.
        with open(script, "w", encoding="ascii") as f:
            f.write(PROBE)
        env = dict(os.environ, WINE_TCLSH=tclsh)
        return subprocess.run(["bash", WINE_TCLSH, "Z:" + script, "Z:" + folder, other],
                              capture_output=True, text=True, encoding="cp1252", env=env,
                              timeout=300)


if __name__ == "__main__":
    unittest.main()
