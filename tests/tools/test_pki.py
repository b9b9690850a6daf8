#!/usr/bin/env python3
"""Throw-away certificates for the HTTPS tests, made at test time with the openssl command.

  test_pki.py DIR      makes the set in DIR (which must not exist yet) and lists its files

A set is a root CA (valid for 30 days), an intermediate CA under it, and one server certificate
per PROFILE with its private key (RSA keys, new for every set; none is ever committed):

  good        127.0.0.1, issued by the intermediate, valid from now for a week
  expired     127.0.0.1, issued by the intermediate, expired ten days ago
  wronghost   wrong.invalid only, issued by the intermediate, valid from now for a week
  selfsigned  127.0.0.1, signed by its own key, valid from now for a week

NAME.pem holds the server certificate followed by the intermediate when it has one (the chain a
TLS server sends), NAME.key its key; root.pem and root.der hold the root. The server names are
DNS names and IP addresses both: Wine matches a host name only against DNS names. No certificate
names a CRL or OCSP source, so a client that checks revocation finds no source to ask.
"""

import datetime
import os
import ssl
import subprocess
import sys

PROFILES = ("good", "expired", "wronghost", "selfsigned")

_CONFIG = """\
[ca]
default_ca = qv
[qv]
database = {dir}/index.txt
new_certs_dir = {dir}/issued
serial = {dir}/serial
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
email_in_dn = no
[anything]
commonName = supplied
[req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[intermediate]
basicConstraints = critical, CA:true, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[loopback]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = DNS:127.0.0.1, IP:127.0.0.1
[wronghost]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = DNS:wrong.invalid
[selfsigned]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
subjectAltName = DNS:127.0.0.1, IP:127.0.0.1
"""


class PkiError(RuntimeError):
    pass


def _openssl(*args):
    result = subprocess.run(["openssl"] + list(args), stdin=subprocess.DEVNULL,
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise PkiError("openssl %s failed: %s" % (args[0], result.stderr.strip()))


def _stamp(moment):
    return moment.strftime("%Y%m%d%H%M%SZ")


class TestPki:
    """A set of certificates in `directory` (see the module's description)."""

    def __init__(self, directory):
        self.directory = os.path.abspath(directory)

    def path(self, name):
        return os.path.join(self.directory, name)

    def cert(self, profile):
        """The chain file a TLS server of `profile` sends."""
        return self.path(profile + ".pem")

    def key(self, profile):
        return self.path(profile + ".key")

    def root_der(self):
        return self.path("root.der")

    def make(self):
        """Makes the whole set; raises PkiError (openssl's own words) when openssl fails."""
        os.makedirs(os.path.join(self.directory, "issued"))
        with open(self.path("index.txt"), "w"):
            pass
        with open(self.path("serial"), "w") as f:
            f.write("%032x\n" % int.from_bytes(os.urandom(15), "big"))
        config = self.path("openssl.cnf")
        with open(config, "w") as f:
            f.write(_CONFIG.format(dir=self.directory))

        # RSA keys. Wine checks an ECDSA certificate signature wrongly now and then (about one
        # test run in seven saw CERT_TRUST_IS_NOT_SIGNATURE_VALID on a sound P-256 chain), which
        # made a certificate's fault look like an untrusted root.
        def certify(name, subject, extensions, days, issuer=None, key=None):
            args = ["req", "-x509", "-config", config, "-subj", subject, "-days", str(days),
                    "-extensions", extensions, "-out", self.path(name + ".crt")]
            if key is None:
                args += ["-newkey", "rsa:2048", "-noenc",
                         "-keyout", self.path(name + ".key")]
            else:
                args += ["-key", key]
            if issuer is not None:
                args += ["-CA", self.path(issuer + ".crt"), "-CAkey", self.path(issuer + ".key")]
            _openssl(*args)

        certify("root", "/CN=Quorvin Test Root CA", "root", 30)
        certify("intermediate", "/CN=Quorvin Test Intermediate CA", "intermediate", 20,
                issuer="root")
        certify("good", "/CN=127.0.0.1", "loopback", 7, issuer="intermediate")
        server_key = self.path("good.key")
        certify("wronghost", "/CN=wrong.invalid", "wronghost", 7, issuer="intermediate",
                key=server_key)
        certify("selfsigned", "/CN=127.0.0.1", "selfsigned", 7)
        # Only the CA command sets dates in the past.
        now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
        day = datetime.timedelta(days=1)
        _openssl("req", "-new", "-config", config, "-key", server_key, "-subj", "/CN=127.0.0.1",
                 "-out", self.path("expired.csr"))
        _openssl("ca", "-batch", "-config", config, "-notext", "-in", self.path("expired.csr"),
                 "-cert", self.path("intermediate.crt"), "-keyfile", self.path("intermediate.key"),
                 "-extensions", "loopback", "-startdate", _stamp(now - 20 * day),
                 "-enddate", _stamp(now - 10 * day), "-out", self.path("expired.crt"))

        with open(self.path("root.crt")) as f:
            root = f.read()
        with open(self.path("root.pem"), "w") as f:
            f.write(root)
        with open(self.root_der(), "wb") as f:
            f.write(ssl.PEM_cert_to_DER_cert(root))
        with open(self.path("intermediate.crt")) as f:
            intermediate = f.read()
        with open(server_key) as f:
            server_key_text = f.read()
        for profile in PROFILES:
            with open(self.path(profile + ".crt")) as f:
                chain = f.read()
            if profile != "selfsigned":
                chain += intermediate
            with open(self.cert(profile), "w") as f:
                f.write(chain)
            if profile in ("expired", "wronghost"):
                with open(self.key(profile), "w") as f:
                    f.write(server_key_text)
        return self


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        pki = TestPki(argv[0]).make()
    except (PkiError, OSError) as error:
        print("test_pki: %s" % error, file=sys.stderr)
        return 1
    for profile in PROFILES:
        print(pki.cert(profile), pki.key(profile))
    print(pki.root_der())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
