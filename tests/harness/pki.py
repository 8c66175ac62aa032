"""Test PKI for the signature checks: two roots, code-signing leaves, and
helpers that sign, tamper and re-sign programs with osslsigncode.

Everything is made with openssl on the host and cached in the build folder,
keyed by PKI_VERSION, so one run of the test suite creates it once. Only the
trusted root is ever added to a trust store, and only to the Root store of a
test's own Wine prefix (tools/addroot.exe, see trust_root_in). The host's trust
store is never touched.

Leaf certificates are signed with SHA-1 (the file digest stays SHA-256): Wine
8 skips the root check for a leaf whose own certificate signature uses
SHA-256 and trusts it even under an unknown root, while a SHA-1 leaf gets the
chain check that Windows makes for both.
"""

import fcntl
import os
import shutil
import struct
import subprocess
import tempfile

PKI_VERSION = "1"

# name: (subject common name, issuing root)
SIGNERS = {
    "A": ("Corvane Test Signer A", "trusted"),
    "B": ("Corvane Test Signer B", "trusted"),
    "untrusted": ("Corvane Untrusted Signer", "untrusted"),
}
ROOTS = {
    "trusted": "Corvane Test Root",
    "untrusted": "Corvane Untrusted Root",
}

_LEAF_EXTENSIONS = """\
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


def _run(args, cwd):
    result = subprocess.run(args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=120)
    if result.returncode != 0:
        raise RuntimeError("%s failed:\n%s" % (" ".join(args), result.stdout.decode(errors="replace")))


def _make(folder):
    """Creates the whole PKI in folder (empty)."""
    with open(os.path.join(folder, "leaf.ext"), "w") as f:
        f.write(_LEAF_EXTENSIONS)
    for serial, (root, subject) in enumerate(sorted(ROOTS.items()), start=1):
        _run(
            ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256",
             "-keyout", root + "_root.key", "-out", root + "_root.pem", "-days", "7300",
             "-subj", "/O=Corvane Tests/CN=" + subject, "-set_serial", str(serial),
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign"], folder)
        _run(["openssl", "x509", "-in", root + "_root.pem", "-outform", "DER",
              "-out", root + "_root.der"], folder)
    for serial, (name, (subject, root)) in enumerate(sorted(SIGNERS.items()), start=100):
        _run(["openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key",
              "-out", name + ".csr", "-subj", "/O=Corvane Tests/CN=" + subject], folder)
        _run(["openssl", "x509", "-req", "-in", name + ".csr", "-CA", root + "_root.pem",
              "-CAkey", root + "_root.key", "-set_serial", str(serial), "-days", "3650",
              "-sha1", "-extfile", "leaf.ext", "-out", name + ".pem"], folder)
        with open(os.path.join(folder, name + "_chain.pem"), "wb") as chain:
            for part in (name + ".pem", root + "_root.pem"):
                with open(os.path.join(folder, part), "rb") as f:
                    chain.write(f.read())
    with open(os.path.join(folder, "version"), "w") as f:
        f.write(PKI_VERSION)


class TestPki:
    """The cached PKI of one build folder."""

    def __init__(self, folder):
        self.folder = folder

    def path(self, name):
        return os.path.join(self.folder, name)

    @property
    def trusted_root_der(self):
        return self.path("trusted_root.der")

    def sign(self, source, target, signer="A", digest="sha256", nest=False):
        """Writes target: source signed by signer (a key of SIGNERS). With nest,
        source must be signed already and gets a second signature."""
        if signer not in SIGNERS:
            raise KeyError(signer)
        args = ["osslsigncode", "sign", "-certs", self.path(signer + "_chain.pem"),
                "-key", self.path(signer + ".key"), "-h", digest, "-n", "Corvane Test",
                "-in", source, "-out", target]
        if nest:
            args.insert(2, "-nest")
        if os.path.exists(target):
            os.remove(target)
        _run(args, None)
        return target

    def unsign(self, source, target):
        if os.path.exists(target):
            os.remove(target)
        _run(["osslsigncode", "remove-signature", "-in", source, "-out", target], None)
        return target


def load_pki(build_dir):
    """Returns the PKI of build_dir, creating it on first use. Safe when
    several tests start at once: one creates it, the others wait."""
    base = os.path.join(os.path.abspath(build_dir), "test-pki")
    folder = os.path.join(base, "v" + PKI_VERSION)
    os.makedirs(base, exist_ok=True)
    with open(os.path.join(base, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(os.path.join(folder, "version")):
            staging = tempfile.mkdtemp(prefix="staging-", dir=base)
            try:
                _make(staging)
                if os.path.exists(folder):
                    shutil.rmtree(folder)
                os.rename(staging, folder)
            finally:
                if os.path.exists(staging):
                    shutil.rmtree(staging)
    return TestPki(folder)


# --- Changing signed programs -------------------------------------------------

def _certificate_table(data):
    """(offset, size) of the attribute certificate table of a PE image."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    offset, size = struct.unpack_from("<II", data, directories + 4 * 8)
    return offset, size


def _code_offset(data):
    """File offset of the middle of the first section's raw data."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    section = pe + 24 + optional_size
    raw_size, raw_pointer = struct.unpack_from("<II", data, section + 16)
    return raw_pointer + raw_size // 2


def change_code_byte(source, target):
    """A byte of the signed image itself changed: the digest no longer fits."""
    data = bytearray(open(source, "rb").read())
    data[_code_offset(data)] ^= 0xFF
    open(target, "wb").write(data)
    return target


def change_signature_byte(source, target):
    """A byte of the signer's RSA signature value changed; the image is intact.
    Without a timestamp the signature value ends the PKCS#7 blob."""
    data = bytearray(open(source, "rb").read())
    offset, size = _certificate_table(data)
    if size == 0:
        raise ValueError("%s is not signed" % source)
    # WIN_CERTIFICATE: length, revision, type, then the DER blob.
    blob = offset + 8
    if data[blob] != 0x30 or data[blob + 1] != 0x82:
        raise ValueError("unexpected signature encoding")
    der_end = blob + 4 + struct.unpack_from(">H", data, blob + 2)[0]
    data[der_end - 16] ^= 0xFF
    open(target, "wb").write(data)
    return target


# --- Trust inside a test prefix ---------------------------------------------

def trust_root_in(box, pki):
    """Adds the trusted test root to the Root store of the box's own prefix
    (tools/addroot.exe runs inside the box)."""
    from .paths import HarnessError, tool
    box.copy_in(pki.trusted_root_der, r"C:\test-pki\trusted_root.der")
    result = box.run(tool("addroot"), r"C:\test-pki\trusted_root.der")
    if result.returncode != 0:
        raise HarnessError("addroot failed (%d): %s%s" % (result.returncode, result.stdout,
                                                          result.stderr))
