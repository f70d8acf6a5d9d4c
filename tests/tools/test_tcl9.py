"""Tests of the cached Tcl 9 builds (scripts/build-tcl9.sh) and of running a
Windows tclsh under Wine (scripts/wine-tclsh.sh). Each test is skipped when
what it needs is not built: these tests never start a Tcl build themselves.

  python3 -m unittest discover -s tests/tools -v
"""

import functools
import hashlib
import http.server
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TCL9 = os.path.join(ROOT, "build", "tcl9")
WINTCL9 = os.path.join(ROOT, "build-win", "tcl9")
WINTCL = os.path.join(ROOT, "build-win", "wintcl")
BUILD = os.path.join(ROOT, "scripts", "build-tcl9.sh")
WINE_TCLSH = os.path.join(ROOT, "scripts", "wine-tclsh.sh")
STAMP = ".hostkit-tcl9-complete"
TARBALL = "tcl9.0.3-src.tar.gz"
RELEASE_SHA256 = "24c70f9a5951a9d9edc0a142ac6600a0b0c787197f73e2d0f9a43d097dcb5687"

# A stubs extension: proves that headers, stubs library and interpreter of one
# install fit together. Its command answers with sizeof(Tcl_Size), which Tcl 9
# headers make 8 on a 64-bit system (Tcl 8 has no Tcl_Size).
EXTENSION = r"""
#include <tcl.h>
static int SizeCmd(void *cd, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    Tcl_SetObjResult(interp, Tcl_NewWideIntObj((Tcl_WideInt) sizeof(Tcl_Size)));
    return TCL_OK;
}
DLLEXPORT int Smoke_Init(Tcl_Interp *interp) {
    if (Tcl_InitStubs(interp, "9.0", 0) == NULL) return TCL_ERROR;
    Tcl_CreateObjCommand(interp, "smoke::size", SizeCmd, NULL, NULL);
    return Tcl_PkgProvide(interp, "smoke", "1.0");
}
"""

PROBE = """
puts [info patchlevel]
puts [package require tcltest]
puts [string match //zipfs:/* [info library]]
load [lindex $argv 0] Smoke
puts [smoke::size]
exit 7
"""


def built(d):
    return os.path.isfile(os.path.join(d, STAMP))


class Tcl9Probe:
    """Compiles EXTENSION against one install and runs PROBE with its tclsh."""
    cc = None
    install = None
    suffix = None

    def run_probe(self, argv, env=None):
        work = tempfile.mkdtemp(prefix="tcl9-probe-")
        self.addCleanup(shutil.rmtree, work, True)
        src, lib = os.path.join(work, "smoke.c"), os.path.join(work, "smoke" + self.suffix)
        with open(src, "w") as f:
            f.write(EXTENSION)
        with open(os.path.join(work, "probe.tcl"), "w") as f:
            f.write(PROBE)
        subprocess.run([self.cc, "-shared", "-fPIC", "-O", "-DUSE_TCL_STUBS",
                        "-I", os.path.join(self.install, "include"), "-o", lib, src,
                        os.path.join(self.install, "lib", "libtclstub.a")], check=True)
        # From a folder of its own, so nothing is found through the current one.
        return subprocess.run([*argv, os.path.join(work, "probe.tcl"), lib], cwd=work, env=env,
                              capture_output=True, text=True, timeout=300)

    def check_probe(self, r):
        self.assertEqual(r.returncode, 7, r.stdout + r.stderr)
        lines = r.stdout.replace("\r\n", "\n").split("\n")
        self.assertEqual(lines[0], "9.0.3")
        self.assertRegex(lines[1], r"^2\.\d+\.\d+$")  # tcltest
        self.assertEqual(lines[2:4], ["1", "8"])


@unittest.skipUnless(built(TCL9), "needs scripts/build-tcl9.sh linux")
class LinuxTcl9(Tcl9Probe, unittest.TestCase):
    cc = "gcc"
    install = TCL9
    suffix = ".so"

    def test_tclsh_runs_from_its_cache_with_a_bare_environment(self):
        self.check_probe(self.run_probe([os.path.join(TCL9, "bin", "tclsh9.0")], env={}))

    def test_second_run_only_reports_the_cache(self):
        r = subprocess.run(["bash", BUILD, "linux"], capture_output=True, text=True, timeout=60)
        self.assertEqual((r.returncode, r.stdout.strip()), (0, f"Linux Tcl 9: {TCL9} (cached)"))


@unittest.skipUnless(built(WINTCL9) and shutil.which("x86_64-w64-mingw32-gcc") and os.path.exists("/usr/lib/wine/wine64"),
                     "needs scripts/build-tcl9.sh windows, mingw-w64 and Wine")
class WindowsTcl9(Tcl9Probe, unittest.TestCase):
    cc = "x86_64-w64-mingw32-gcc"
    install = WINTCL9
    suffix = ".dll"

    def test_tclsh90_runs_under_wine_with_its_dlls(self):
        env = dict(os.environ, WINE_TCLSH=os.path.join(WINTCL9, "bin", "tclsh90.exe"))
        self.check_probe(self.run_probe(["bash", WINE_TCLSH], env=env))


class WineTclshChoice(unittest.TestCase):
    def test_missing_tclsh_is_refused(self):
        env = dict(os.environ, WINE_TCLSH="/nonexistent/tclsh90.exe")
        r = subprocess.run(["bash", WINE_TCLSH], input="", env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 125, r.stderr)
        self.assertIn("no such file: /nonexistent/tclsh90.exe", r.stderr)

    @unittest.skipUnless(os.path.isfile(os.path.join(WINTCL, "bin", "tclsh86.exe")) and os.path.exists("/usr/lib/wine/wine64"),
                         "needs the Windows Tcl 8.6 and Wine")
    def test_default_is_still_tcl86(self):
        env = {k: v for k, v in os.environ.items() if k != "WINE_TCLSH"}
        r = subprocess.run(["bash", WINE_TCLSH], input="puts [info patchlevel]\n", env=env,
                           capture_output=True, text=True, timeout=300)
        self.assertEqual((r.returncode, r.stdout.strip()[:4]), (0, "8.6."), r.stderr)


class BuildScript(unittest.TestCase):
    def test_wrong_source_is_refused_and_leaves_no_cache(self):
        work = tempfile.mkdtemp(prefix="tcl9-src-")
        self.addCleanup(shutil.rmtree, work, True)
        fake = os.path.join(work, "tcl9.0.3-src.tar.gz")
        with open(fake, "wb") as f:
            f.write(b"not a tarball")
        target = os.path.join(work, "cache", "tcl9")
        env = dict(os.environ, TCL9_SRC=fake, TCL9_DIR=target)
        r = subprocess.run(["bash", BUILD, "linux"], env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
        self.assertIn("not the expected Tcl 9.0.3 release", r.stderr)
        self.assertFalse(os.path.exists(target))
        self.assertEqual([n for n in os.listdir(os.path.join(work, "cache")) if "build." in n], [])


def closed_port():
    """A loopback port that nothing listens on: a network that is not there."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@functools.lru_cache(None)
def release_copy():
    """The path of a local copy of the release that build-tcl9.sh finds
    without a network, or None."""
    env = dict(os.environ, TCL9_URL=f"http://127.0.0.1:{closed_port()}/{TARBALL}")
    env.pop("TCL9_SRC", None)
    r = subprocess.run(["bash", BUILD, "fetch"], env=env, capture_output=True, text=True, timeout=120)
    return r.stdout.strip() if r.returncode == 0 else None


class SourceFetch(unittest.TestCase):
    """Finding and downloading Tcl 9's source: a release server on loopback
    (python's http.server) serves a true copy at /good/ and a corrupted one
    at /bad/; nothing here reaches outside the machine."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tcl9-fetch-")
        real = release_copy()
        cls.have_release = real is not None
        for sub in ("good", "bad"):
            os.makedirs(os.path.join(cls.work, "site", sub))
        if real:
            shutil.copy(real, os.path.join(cls.work, "site", "good", TARBALL))
            with open(real, "rb") as f:
                data = bytearray(f.read())
            data[len(data) // 2] ^= 0x01
        else:
            data = b"not the release"
        with open(os.path.join(cls.work, "site", "bad", TARBALL), "wb") as f:
            f.write(data)

        class Quiet(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *args):
                pass
        cls.server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(Quiet, directory=os.path.join(cls.work, "site")))
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.site = f"http://127.0.0.1:{cls.server.server_address[1]}"

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        self.downloads = tempfile.mkdtemp(prefix="dl-", dir=self.work)

    def fetch(self, urls, what="fetch", **extra):
        """Runs build-tcl9.sh with no local copy, this test's download folder
        and the given addresses."""
        env = dict(os.environ, TCL9_LOCAL_COPY=os.path.join(self.work, "no-copy", TARBALL),
                   TCL9_DOWNLOAD_DIR=self.downloads, TCL9_URL=" ".join(urls), **extra)
        env.pop("TCL9_SRC", None)
        return subprocess.run(["bash", BUILD, what], env=env, capture_output=True, text=True, timeout=300)

    def test_corrupted_download_is_refused_and_not_kept(self):
        r = self.fetch([f"{self.site}/bad/{TARBALL}"])
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn(f"{self.site}/bad/{TARBALL} is not the Tcl 9.0.3 release", r.stderr)
        self.assertEqual(os.listdir(self.downloads), [])

    @unittest.skipUnless(release_copy(), "needs a local copy of the Tcl 9.0.3 release")
    def test_download_is_checked_cached_and_used_again(self):
        # The corrupted address first: the next one is tried.
        r = self.fetch([f"{self.site}/bad/{TARBALL}", f"{self.site}/good/{TARBALL}"])
        cached = os.path.join(self.downloads, TARBALL)
        self.assertEqual((r.returncode, r.stdout.strip()), (0, cached), r.stderr)
        self.assertEqual(os.listdir(self.downloads), [TARBALL])
        with open(cached, "rb") as f:
            self.assertEqual(hashlib.sha256(f.read()).hexdigest(), RELEASE_SHA256)
        # Later runs need no network.
        r = self.fetch([f"http://127.0.0.1:{closed_port()}/{TARBALL}"])
        self.assertEqual((r.returncode, r.stdout.strip(), r.stderr), (0, cached, ""))
        # A cached copy that has gone bad is fetched again.
        with open(cached, "r+b") as f:
            f.write(b"x")
        r = self.fetch([f"{self.site}/good/{TARBALL}"])
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("downloading again", r.stderr)

    def test_no_network_says_what_to_put_where_and_builds_nothing(self):
        target = os.path.join(self.work, "cache", "tcl9")
        r = self.fetch([f"http://127.0.0.1:{closed_port()}/{TARBALL}"], "linux", TCL9_DIR=target)
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn(f"copy the\nrelease file {TARBALL} (SHA-256 {RELEASE_SHA256}", r.stderr)
        self.assertIn(f"  {os.path.join(self.downloads, TARBALL)}\n", r.stderr)
        self.assertIn("TCL9_SRC=", r.stderr)
        self.assertFalse(os.path.exists(target))
        self.assertEqual(os.listdir(self.downloads), [])


if __name__ == "__main__":
    unittest.main()
