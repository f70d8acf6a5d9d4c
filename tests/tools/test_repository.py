"""The repository holds sources only: no compiled Python is tracked, and
.gitignore keeps it out. Skipped outside a git checkout.

  python3 -m unittest discover -s tests/tools -v
"""

import os
import shutil
import subprocess
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def git(*args):
    return subprocess.run(["git", "-C", ROOT, *args], capture_output=True, text=True)


@unittest.skipUnless(shutil.which("git") and git("rev-parse", "--git-dir").returncode == 0,
                     "needs a git checkout")
class TrackedFiles(unittest.TestCase):
    def test_no_compiled_python_tracked_or_addable(self):
        tracked = git("ls-files").stdout.split("\n")
        self.assertEqual([f for f in tracked if f.endswith((".pyc", ".pyo")) or "__pycache__/" in f], [])
        paths = ["bench/__pycache__/wideserver.cpython-311.pyc", "tests/tools/__pycache__/x.cpython-313.pyc",
                 "scripts/stray.pyc"]
        r = git("check-ignore", "--no-index", *paths)
        self.assertEqual(sorted(r.stdout.split()), sorted(paths), r.stderr)


if __name__ == "__main__":
    unittest.main()
