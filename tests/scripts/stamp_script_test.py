#!/usr/bin/env python3
"""scripts/stamp, the release engineer's one command, on the built installer.

Usage: stamp_script_test.py BUILD_DIR SIGNED_SAMPLES_DIR
Stamps a copy of BUILD_DIR/bin/QuorvinOnlineInstaller.exe with an address, a signer and the
SHA-256 of a file, and checks the strings in the copy's version resource; checks that a signed
input and bad options are refused without leaving a file. Exit code 0 when all holds.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = None
SAMPLES = None


def version_string(data, key):
    """The value of the version-resource string `key` in the PE file's bytes, or None. Only the
    bytes after the version resource's root key are searched: the program's own texts hold the
    key names too."""
    root = data.rfind("VS_VERSION_INFO\0".encode("utf-16-le"))
    if root < 0:
        return None
    pattern = (re.escape((key + "\0").encode("utf-16-le")) +
               b"(?:\0\0)?((?:[^\0].|\0[^\0])*?)\0\0")
    match = re.compile(pattern, re.DOTALL).search(data, root)
    if not match:
        return None
    raw = match.group(1)
    if len(raw) % 2:
        raw += b"\0"
    return raw.decode("utf-16-le")


class StampScript(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qv-stamp-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.product = os.path.join(BUILD, "bin", "QuorvinOnlineInstaller.exe")
        self.out = os.path.join(self.dir, "Stamped.exe")

    def stamp(self, *args, source=None):
        env = dict(os.environ, QV_STAMP_BUILD=BUILD)
        result = subprocess.run([os.path.join(ROOT, "scripts", "stamp"), source or self.product,
                                 self.out] + list(args), env=env, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, timeout=120)
        return result.returncode, result.stdout.decode("utf-8", "replace")

    def test_address_signer_and_hash_of_a_file(self):
        setup = os.path.join(SAMPLES, "signed.exe")
        with open(setup, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        code, text = self.stamp("--url", "https://downloads.example.com/QuorvinSetup.exe",
                                "--signer", "Quorvin Software, Ltd.", "--sha256-of", setup)
        self.assertEqual(code, 0, text)
        with open(self.out, "rb") as f:
            data = f.read()
        self.assertEqual(version_string(data, "PrivateBuild"),
                         "https://downloads.example.com/QuorvinSetup.exe")
        self.assertEqual(version_string(data, "SetupSigner"), "Quorvin Software, Ltd.")
        self.assertEqual(version_string(data, "SetupSHA256"), digest)

    def test_refusals_leave_no_file(self):
        cases = [
            ("a signed installer", ["--url", "https://x/a.exe"],
             os.path.join(SAMPLES, "signed.exe"), 1),
            ("a hash that is no hash", ["--sha256", "12"], None, 2),
            ("an unknown option", ["--size", "5"], None, 2),
            ("a missing hash file", ["--sha256-of", os.path.join(self.dir, "none")], None, 2),
        ]
        for name, args, source, expected in cases:
            with self.subTest(name):
                code, text = self.stamp(*args, source=source)
                self.assertEqual(code, expected, text)
                self.assertFalse(os.path.exists(self.out))


def main():
    global BUILD, SAMPLES
    if len(sys.argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    BUILD, SAMPLES = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    result = unittest.main(argv=[sys.argv[0]], exit=False, verbosity=2).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
