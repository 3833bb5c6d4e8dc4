#!/usr/bin/env python3
"""Makes the release packages from the win32 and release builds.

    package.py --win32 BUILD --release BUILD --work DIR --out DIST
    package.py msi --stage DIR --version X.Y.Z --out FILE [--sign-with DIR]

The first form writes into DIST: the Windows programs and modules (stripped,
signed), their symbols, the MSI, the Debian package, the signer's certificate
and SHA256SUMS. The second makes one more MSI from an already staged and signed
Windows release (the tests use it for a higher version).

Signing key: QUARN_SIGN_PFX and QUARN_SIGN_PASSWORD. Without them a
throw-away test certificate is made in the work folder, and every run says so.
QUARN_SIGN_TIMESTAMP_URL names a timestamp server; when it is unset or does not
answer, the signatures carry no timestamp.
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tarfile
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import windows_msi  # noqa: E402
import debian_package  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The Windows programs; every module of the build's bin/ (a .dll beside them) ships too.
PROGRAMS = ("TarnAssistant.exe", "TarnHtmlDlg.exe", "quarnctl.exe")
SIGNED_AS = "Quarn Network Access Assistant"


def say(text):
    print("== " + text, file=sys.stderr, flush=True)


def run(*command, **kwargs):
    subprocess.run(command, check=True, **kwargs)


def product_version():
    with open(os.path.join(ROOT, "VERSION"), encoding="ascii") as f:
        return f.readline().strip()


def product_files(bin_dir, programs):
    """The shipped files of a build's bin/: its modules and the programs named."""
    names = sorted(n for n in os.listdir(bin_dir)
                   if n.endswith(".dll") and os.path.isfile(os.path.join(bin_dir, n)))
    missing = [p for p in programs if not os.path.isfile(os.path.join(bin_dir, p))]
    if missing or not names:
        raise SystemExit(f"package: {bin_dir} lacks {', '.join(missing) or 'its modules'}")
    return list(programs) + names


# --- signing -----------------------------------------------------------------


class Signer:
    """osslsigncode with SHA-256, the key from the environment or a test one."""

    def __init__(self, work, fresh_test_key=True):
        self.work = work
        self.fresh_test_key = fresh_test_key
        pfx = os.environ.get("QUARN_SIGN_PFX")
        if pfx:
            self.pfx, self.password, self.test = pfx, os.environ.get("QUARN_SIGN_PASSWORD", ""), False
        else:
            self.pfx, self.password, self.test = self._test_certificate(), "quarn-test", True
            warn_test_certificate()
        self.certificate = os.path.join(work, "signer.pem")
        run("openssl", "pkcs12", "-in", self.pfx, "-passin", "pass:" + self.password, "-nokeys",
            "-clcerts", "-out", self.certificate, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.timestamp = reachable_timestamp_server()

    def _test_certificate(self):
        key, cert, pfx = (os.path.join(self.work, n) for n in ("test-sign.key", "test-sign.crt", "test-sign.pfx"))
        # A new one for every release (it is valid for 30 days); one more
        # MSI of the same run reuses it.
        if self.fresh_test_key or not os.path.exists(pfx):
            run("openssl", "req", "-x509", "-newkey", "rsa:3072", "-nodes", "-days", "30", "-keyout", key,
                "-out", cert, "-subj", "/O=Quarn/CN=Quarn TEST code signing - not for release",
                "-addext", "extendedKeyUsage=codeSigning", "-addext", "keyUsage=digitalSignature",
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            run("openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                "-passout", "pass:quarn-test")
        return pfx

    def sign(self, path):
        signed = path + ".signed"
        command = ["osslsigncode", "sign", "-pkcs12", self.pfx, "-pass", self.password, "-h", "sha256",
                   "-n", SIGNED_AS, "-in", path, "-out", signed]
        if self.timestamp:
            command[2:2] = ["-ts", self.timestamp]
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        os.replace(signed, path)


def warn_test_certificate():
    line = "!" * 72
    print(f"\n{line}\n!! QUARN_SIGN_PFX is not set: signing with a THROW-AWAY TEST CERTIFICATE.\n"
          f"!! Windows will not trust these files. Do not hand this release out.\n{line}\n",
          file=sys.stderr, flush=True)


def reachable_timestamp_server():
    url = os.environ.get("QUARN_SIGN_TIMESTAMP_URL", "")
    if not url:
        say("no timestamp server named (QUARN_SIGN_TIMESTAMP_URL): signatures carry no timestamp")
        return None
    try:
        urllib.request.urlopen(urllib.request.Request(url, method="HEAD"), timeout=10).close()
    except urllib.error.HTTPError:
        pass  # it answered
    except OSError as error:
        say(f"timestamp server {url} unreachable ({error}): signatures carry no timestamp")
        return None
    return url


# --- the Windows release -------------------------------------------------------


def strip_windows(stage, symbols):
    """Moves each file's debugging sections into <file>.debug and links them by name."""
    for name in sorted(os.listdir(stage)):
        path = os.path.join(stage, name)
        debug = os.path.join(symbols, name + ".debug")
        run("i686-w64-mingw32-objcopy", "--only-keep-debug", path, debug)
        run("i686-w64-mingw32-strip", "--strip-all", path)
        run("i686-w64-mingw32-objcopy", "--add-gnu-debuglink=" + debug, path)


def tar_folder(folder, target, top):
    with tarfile.open(target, "w:xz") as archive:
        for name in sorted(os.listdir(folder)):
            archive.add(os.path.join(folder, name), arcname=f"{top}/{name}", filter=plain_member)


def plain_member(member):
    member.uid = member.gid = 0
    member.uname = member.gname = "root"
    return member


def windows_release(win32_bin, work, out, signer, version):
    stage = os.path.join(work, "windows", "Quarn")
    symbols = os.path.join(work, "windows", "symbols")
    for folder in (stage, symbols):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    files = product_files(win32_bin, PROGRAMS)
    for name in files:
        shutil.copy2(os.path.join(win32_bin, name), stage)
    before = sum(os.path.getsize(os.path.join(win32_bin, n)) for n in files)
    strip_windows(stage, symbols)
    for name in files:
        signer.sign(os.path.join(stage, name))
    after = sum(os.path.getsize(os.path.join(stage, n)) for n in files)
    say(f"Windows release: {len(files)} files, {before} bytes built, {after} bytes stripped and signed")
    tar_folder(stage, os.path.join(out, f"quarn-{version}-win32.tar.xz"), f"quarn-{version}-win32")
    tar_folder(symbols, os.path.join(out, f"quarn-{version}-win32-symbols.tar.xz"),
               f"quarn-{version}-win32-symbols")
    msi = os.path.join(out, f"quarn-{version}.msi")
    windows_msi.build(stage, version, msi)
    signer.sign(msi)
    return stage


# --- the whole release ---------------------------------------------------------


def write_checksums(out):
    lines = []
    for name in sorted(os.listdir(out)):
        path = os.path.join(out, name)
        if name == "SHA256SUMS" or not os.path.isfile(path):
            continue
        with open(path, "rb") as f:
            lines.append(f"{hashlib.sha256(f.read()).hexdigest()}  {name}\n")
    with open(os.path.join(out, "SHA256SUMS"), "w", encoding="ascii") as f:
        f.writelines(lines)


def release(options):
    version = product_version()
    work, out = os.path.abspath(options.work), os.path.abspath(options.out)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    os.makedirs(work, exist_ok=True)
    signer = Signer(work)
    windows_release(options.win32, work, out, signer, version)
    shutil.copy(signer.certificate, os.path.join(out, "signer.pem"))
    os.chmod(os.path.join(out, "signer.pem"), 0o644)
    release_files = product_files(options.release, PROGRAMS + ("quarnsim",))
    deb = debian_package.build(options.release, release_files, version, os.path.join(work, "debian"), out)
    lintian = debian_package.lintian(deb, os.path.join(work, "lintian.txt"))
    write_checksums(out)
    say(f"lintian: {lintian}")
    if signer.test:
        warn_test_certificate()
    return 0


def extra_msi(options):
    windows_msi.build(options.stage, options.version, options.out)
    if options.sign_with:
        Signer(options.sign_with, fresh_test_key=False).sign(options.out)
    return 0


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "msi":
        parser = argparse.ArgumentParser(prog="package.py msi")
        parser.add_argument("--stage", required=True)
        parser.add_argument("--version", required=True)
        parser.add_argument("--out", required=True)
        parser.add_argument("--sign-with", help="a work folder holding the test certificate")
        return extra_msi(parser.parse_args(sys.argv[2:]))
    parser = argparse.ArgumentParser()
    parser.add_argument("--win32", required=True, help="the win32 build's bin/")
    parser.add_argument("--release", required=True, help="the release build's bin/")
    parser.add_argument("--work", required=True)
    parser.add_argument("--out", required=True)
    return release(parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
