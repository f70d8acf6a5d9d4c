"""Tests of the test runners: how scripts/test.sh counts what its stages
report (its functions, sourced into a shell of their own), its options, and
tests/run-suites.sh refusing to run without its slapd fixtures.

  python3 -m unittest discover -s tests/tools -v
"""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TEST_SH = os.path.join(ROOT, "scripts", "test.sh")
RUN_SUITES = os.path.join(ROOT, "tests", "run-suites.sh")


def runner(script, **env):
    """Runs bash lines after sourcing scripts/test.sh; returns the process."""
    return subprocess.run(["bash", "-c", f'source "{TEST_SH}"\n{script}'], capture_output=True,
                          text=True, timeout=60, env=dict(os.environ, **env))


class Counting(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="runner-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def log(self, name, text):
        path = os.path.join(self.work, name)
        with open(path, "w", newline="") as f:
            f.write(text)
        return path

    def test_stage_reports_add_up_and_anything_unreadable_fails(self):
        # (counter, log text, exit status) -> its stage line
        cases = [
            ("tcl_counts", "x\nhostkit-counts: passed 5 skipped 2 failed 0\n", 0, "passed 5, failed 0, skipped 2"),
            # Wine's tclsh ends its lines with CR LF.
            ("tcl_counts", "hostkit-counts: passed 3 skipped 0 failed 1\r\n", 1, "passed 3, failed 1, skipped 0"),
            # A suite that died (or was ended by its time bound) has no summary.
            ("tcl_counts", "all.tcl: Total 9 Passed 9\n", 124, "passed 0, failed 1, skipped 0"),
            ("gtest_counts", "[  PASSED  ] 7 tests.\n", 0, "passed 7, failed 0, skipped 0"),
            ("gtest_counts", "[  PASSED  ] 6 tests.\n[  FAILED  ] 2 tests, listed below:\n", 1,
             "passed 6, failed 2, skipped 0"),
            # All passed, yet the program failed (a crash at exit, a sanitizer).
            ("gtest_counts", "[  PASSED  ] 7 tests.\n", 134, "passed 7, failed 1, skipped 0"),
            ("gtest_counts", "Segmentation fault\n", 139, "passed 0, failed 1, skipped 0"),
        ]
        script = []
        for i, (fn, text, rc, _) in enumerate(cases):
            script.append(f'{fn} "stage {i}" "{self.log(f"l{i}", text)}" {rc}')
        script.append("summary")
        r = runner("\n".join(script))
        lines = [l for l in r.stdout.split("\n") if l.startswith("== stage")]
        self.assertEqual([l.split(None, 3)[3] for l in lines], [c[3] for c in cases], r.stdout)
        self.assertEqual(r.returncode, 1)
        self.assertIn("failing stages: stage 1 stage 2 stage 4 stage 5 stage 6", r.stdout)
        self.assertTrue(r.stdout.endswith("hostkit: 28 passed, 6 failed, 2 skipped\n"), r.stdout)

    def test_line_checks_count_their_lines_and_a_failing_exit(self):
        log = self.log("tools", "a ... ok\nb ... ok\nc ... skipped 'no'\n")
        r = runner(f'line_counts tools "{log}" 0 " \\.\\.\\. ok$" " \\.\\.\\. (FAIL|ERROR)$" " \\.\\.\\. skipped "\n'
                   f'line_counts broken "{log}" 1 "^ok " "^not ok "\nsummary')
        self.assertIn("== tools", r.stdout)
        self.assertTrue(r.stdout.endswith("hostkit: 2 passed, 1 failed, 1 skipped\n"), r.stdout)

    def test_a_suite_is_ended_at_its_time_bound(self):
        start = time.monotonic()
        r = runner("bounded sleep 60; echo status $?", HOSTKIT_SUITE_LIMIT="1")
        self.assertEqual(r.stdout.strip(), "status 124")
        self.assertLess(time.monotonic() - start, 20)

    def test_nothing_happens_when_sourced_and_options_are_checked(self):
        r = runner("echo ${#FAILED_STAGES[@]} $PASSED $FAILED")
        self.assertEqual((r.returncode, r.stdout), (0, "0 0 0\n"))
        r = subprocess.run(["bash", TEST_SH, "--no-install", "--bogus"], capture_output=True, text=True, timeout=60)
        self.assertEqual((r.returncode, r.stderr), (2, "unknown option --bogus\n"))


class RunSuites(unittest.TestCase):
    def test_no_suite_runs_without_the_slapd_fixtures(self):
        work = tempfile.mkdtemp(prefix="run-suites-")
        self.addCleanup(shutil.rmtree, work, True)
        marker = os.path.join(work, "tclsh-ran")
        tclsh = os.path.join(work, "tclsh")
        with open(tclsh, "w") as f:
            f.write(f"#!/bin/sh\ntouch '{marker}'\nexit 0\n")
        os.chmod(tclsh, 0o755)
        # slapadd fails: the fixtures cannot be made.
        r = subprocess.run(["bash", RUN_SUITES, work, tclsh], capture_output=True, text=True, timeout=300,
                           env=dict(os.environ, SLAPADD="false"))
        self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
        self.assertIn("the slapd fixtures did not start", r.stderr)
        self.assertFalse(os.path.exists(marker))
        status = subprocess.run(["bash", os.path.join(ROOT, "tests", "ldap", "servers.sh"), "status"],
                                capture_output=True, text=True, timeout=60,
                                env=dict(os.environ, HOSTKIT_LDAP_DIR=os.path.join(work, "ldap-ctest")))
        self.assertEqual(status.stdout, "")


if __name__ == "__main__":
    unittest.main()
