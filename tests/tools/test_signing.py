#!/usr/bin/env python3
"""Authenticode-signed test copies of a Windows program, made with a throw-away CA.

Usage: test_signing.py --program PATH --out DIR

Makes a new CA and two code-signing leaves with openssl, signs copies of PATH with osslsigncode
and writes into DIR:
  signed.exe     signed by the leaf SIGNER ("Quorvin Test Signer")
  other.exe      signed by the leaf OTHER ("Someone Else"), under the same CA
  tampered.exe   signed.exe with one byte of the program changed after signing
  unsigned.exe   the program as it is
  sha256.txt     the SHA-256 of signed.exe, as 64 lower-case hexadecimal digits
The CA and keys live in a temporary folder that is deleted at the end: nothing can sign later.
The end-to-end tests import make_samples(); the engine's Wine tests get DIR from CTest.
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

SIGNER = "Quorvin Test Signer"
OTHER = "Someone Else"

LEAF_EXTENSIONS = """basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
"""


def _run(args, cwd):
    result = subprocess.run(args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (args[0], result.stdout.decode("utf-8", "replace")))


def _leaf(work, name, tag):
    _run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", tag + ".key",
          "-out", tag + ".csr", "-subj", "/CN=%s/O=Quorvin Tests" % name], work)
    _run(["openssl", "x509", "-req", "-in", tag + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key",
          "-CAcreateserial", "-out", tag + ".crt", "-days", "2", "-extfile", "leaf.cnf"], work)
    with open(os.path.join(work, tag + ".chain.pem"), "wb") as chain:
        for part in (tag + ".crt", "ca.crt"):
            with open(os.path.join(work, part), "rb") as f:
                chain.write(f.read())


def _sign(work, tag, program, out):
    _run(["osslsigncode", "sign", "-certs", tag + ".chain.pem", "-key", tag + ".key",
          "-n", "Quorvin test setup", "-h", "sha256", "-in", program, "-out", out], work)


def make_samples(program, out_dir):
    """Writes the samples into out_dir; answers {name: path} plus "sha256" (of signed.exe)."""
    os.makedirs(out_dir, exist_ok=True)
    work = tempfile.mkdtemp(prefix="qv-signing-")
    try:
        with open(os.path.join(work, "leaf.cnf"), "w") as f:
            f.write(LEAF_EXTENSIONS)
        _run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
              "-out", "ca.crt", "-days", "2", "-subj", "/CN=Quorvin Throw-away Test CA",
              "-addext", "basicConstraints=critical,CA:TRUE",
              "-addext", "keyUsage=critical,keyCertSign,cRLSign"], work)
        _leaf(work, SIGNER, "signer")
        _leaf(work, OTHER, "other")
        paths = {name: os.path.join(out_dir, name + ".exe")
                 for name in ("signed", "other", "tampered", "unsigned")}
        for path in paths.values():
            if os.path.exists(path):
                os.remove(path)
        _sign(work, "signer", os.path.abspath(program), paths["signed"])
        _sign(work, "other", os.path.abspath(program), paths["other"])
        shutil.copyfile(program, paths["unsigned"])
        with open(paths["signed"], "rb") as f:
            data = bytearray(f.read())
        # A byte in the middle of the program itself: covered by the signed digest, and the file
        # still starts with "MZ".
        data[os.path.getsize(program) // 2] ^= 0xFF
        with open(paths["tampered"], "wb") as f:
            f.write(data)
        with open(paths["signed"], "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        with open(os.path.join(out_dir, "sha256.txt"), "w") as f:
            f.write(digest)
        paths["sha256"] = digest
        return paths
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", required=True)
    options = parser.parse_args()
    make_samples(options.program, options.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
