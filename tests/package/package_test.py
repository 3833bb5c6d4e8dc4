"""The release in dist/ as an administrator receives it: signatures, the Debian
package in a throw-away root, the MSI under Wine (install, an admission pass,
an upgrade in place, removal), and the product on Windows XP, 7 and 10.

Windows 10 is the MSI's prefix: the installed assistant's admission pass is
that version's run. XP and 7 get the product copied in, as the end-to-end
suite installs it. Every version runs the same scenario (the logon admission
pass, a second installation while the assistant runs, the system-version
check item at 6.0 and 10.0) and writes one row of the table it prints.
"""

import glob
import hashlib
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness import Product, Simulator, is_trade, load_scenario, wait_until  # noqa: E402
from wine_prefixes import Prefixes, wine, wine_env  # noqa: E402

OPTIONS = {}  # dist, work, win32_bin, simulator
# Keyed per device and over HTTPS, as the harness runs every scenario by default.
SCENARIO = dict(check_param={"AuthInterval": 0})
FORWARDED = "发送设备注册通知"
ROWS = []  # the three-version table
PREFIXES = []


def prefixes():
    """This run's three prefixes, made (in parallel) by the first test that needs one."""
    if not PREFIXES:
        PREFIXES.append(Prefixes())
    return PREFIXES[0]


def tearDownModule():
    for made in PREFIXES:
        made.remove()
    if ROWS:
        print("\nWindows version | pass | installation forwarded | MinVersion 6.0 | MinVersion 10.0 | system")
        for row in ROWS:
            print(" | ".join(row))


def dist(pattern):
    found = sorted(glob.glob(os.path.join(OPTIONS["dist"], pattern)))
    assert found, f"no {pattern} in {OPTIONS['dist']}"
    return found


def version():
    with open(os.path.join(ROOT, "VERSION"), encoding="ascii") as f:
        return f.readline().strip()


def staged():
    return os.path.join(OPTIONS["work"], "windows", "Quarn")


def verify(path):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", os.path.join(OPTIONS["dist"], "signer.pem"),
                           "-in", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


class Signatures(unittest.TestCase):
    def test_every_binary_signed_and_a_changed_byte_breaks_it(self):
        files = sorted(glob.glob(os.path.join(staged(), "*"))) + dist("*.msi")
        self.assertGreater(len(files), 10)
        for path in files:
            with self.subTest(file=os.path.basename(path)):
                result = verify(path)
                self.assertEqual(0, result.returncode, result.stdout)
                self.assertIn("Signature verification: ok", result.stdout)
                self.assertIn("sha256", result.stdout.lower())
        for path in (os.path.join(staged(), "QuarnAssAutoCheck.dll"), dist("*.msi")[0]):
            with self.subTest(changed=os.path.basename(path)), tempfile.TemporaryDirectory() as scratch:
                copy = os.path.join(scratch, os.path.basename(path))
                with open(path, "rb") as f:
                    data = bytearray(f.read())
                data[len(data) // 3] ^= 0x01  # inside the signed content, far from the signature
                with open(copy, "wb") as f:
                    f.write(data)
                self.assertNotEqual(0, verify(copy).returncode)

    def test_stripped_with_symbols_apart_and_checksums_cover_dist(self):
        with tarfile.open(dist("*-win32-symbols.tar.xz")[0]) as archive:
            symbols = {os.path.basename(n) for n in archive.getnames()}
        for name in os.listdir(staged()):
            with self.subTest(file=name):
                self.assertIn(name + ".debug", symbols)
                sections = subprocess.run(["i686-w64-mingw32-objdump", "-h", os.path.join(staged(), name)],
                                          stdout=subprocess.PIPE, text=True, check=True).stdout
                self.assertNotIn(".debug_info", sections)
                self.assertIn(".gnu_debuglink", sections)
                # What once made the release three times its size: the runtime's
                # locale facets (linked by any stream or path object) and its
                # demangler (linked by its own terminate handler).
                with open(os.path.join(staged(), name), "rb") as f:
                    data = f.read()
                self.assertNotIn(b"moneypunct", data)
                self.assertNotIn(b"{lambda(", data)
        with open(os.path.join(OPTIONS["dist"], "SHA256SUMS"), encoding="ascii") as f:
            sums = dict(reversed(line.split()) for line in f if line.strip())
        listed = set(os.listdir(OPTIONS["dist"])) - {"SHA256SUMS"}
        self.assertEqual(listed, set(sums))
        for name, digest in sums.items():
            with open(os.path.join(OPTIONS["dist"], name), "rb") as f:
                self.assertEqual(digest, hashlib.sha256(f.read()).hexdigest(), name)


class DebianPackage(unittest.TestCase):
    def test_installs_into_a_throw_away_root_and_runs(self):
        deb = dist("*.deb")[0]
        with tempfile.TemporaryDirectory() as root:
            for folder in ("var/lib/dpkg/info", "var/lib/dpkg/updates"):
                os.makedirs(os.path.join(root, folder))
            open(os.path.join(root, "var/lib/dpkg/status"), "w").close()
            # The root holds no libc of its own: the package's dependencies are not checked.
            dpkg = ["dpkg", f"--root={root}", "--force-not-root", "--force-depends", "--log=/dev/null"]
            installed = subprocess.run(dpkg + ["-i", deb], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                       text=True)
            self.assertEqual(0, installed.returncode, installed.stdout)
            self.assertEqual("/opt/quarn/quarnctl.exe", os.readlink(os.path.join(root, "usr/bin/quarnctl")))
            program = os.path.join(root, "opt/quarn/quarnctl.exe")
            out = subprocess.run([program, "--version"], stdout=subprocess.PIPE, text=True, check=True).stdout
            self.assertEqual(f"quarnctl {version()}\n", out)
            with open(os.path.join(root, "etc/xdg/autostart/TarnAssistant.desktop"), encoding="utf-8") as f:
                self.assertIn("Exec=/opt/quarn/quarn-assistant -logon", f.read())
            for page in ("quarnctl.1.gz", "quarnsim.1.gz"):
                self.assertTrue(os.path.exists(os.path.join(root, "usr/share/man/man1", page)), page)
            # The session's start links the product into the user's assistant directory.
            data = os.path.join(root, "home-data")
            env = dict(os.environ, XDG_DATA_HOME=data)
            env.pop("APPDATA", None)
            out = subprocess.run([os.path.join(root, "opt/quarn/quarn-assistant"), "--version"], env=env,
                                 stdout=subprocess.PIPE, text=True, check=True).stdout
            self.assertEqual(f"TarnAssistant {version()}\n", out)
            linked = os.path.join(data, "Quarn", "QuarnAssAutoCheck.dll")
            self.assertEqual(os.path.join(root, "opt/quarn/QuarnAssAutoCheck.dll"), os.readlink(linked))
            removed = subprocess.run(dpkg + ["-r", "quarn"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                     text=True)
            self.assertEqual(0, removed.returncode, removed.stdout)
            self.assertFalse(os.path.exists(program))

    def test_lintian_finds_no_error(self):
        with open(os.path.join(OPTIONS["work"], "lintian.txt"), encoding="utf-8") as f:
            report = f.read()
        print("\nlintian:\n" + report)
        self.assertEqual([], [line for line in report.splitlines() if line.startswith("E:")])


# --- Windows ------------------------------------------------------------------


def windows_scenario(test, product, sim, name):
    """The scenario every Windows version runs; appends its row to ROWS."""
    code, out = product.install_packet(sim)
    test.assertEqual(0, code, out)
    test.assertTrue(sim.wait_record(is_trade("GetIdentityAuthPolicy"), 0, 90), "installed, never spoke")
    product.stop_assistants()
    mark = sim.last_seq()
    product.start_assistant("-logon")
    report = sim.wait_record(is_trade("ReportCheckResult"), mark, 120)
    if report is None:
        records = [f"{r['seq']} {r['kind']} {r.get('trade') or r.get('path')} {r.get('result', '')}"
                   for r in sim.records()[-20:]]
        test.fail(f"{name}: no admission pass; the last records:\n" + "\n".join(records) +
                  "\nthe user log:\n" + product.log()[-3000:])
    test.assertEqual(("success", "100"), (report["result"], str(report["score"])))

    # A second installation, for lisi, while the assistant runs: Vista and
    # later hand the packet to the running assistant; before Vista a
    # registered endpoint installs over it. Either way lisi is stored.
    code, out = product.install_packet(sim, user="lisi")
    test.assertEqual(0, code, out)
    forwarded = FORWARDED in product.log()
    vista = name != "Windows XP"
    test.assertEqual(vista, forwarded)
    stored = {"emhhbmdzYW4:": "zhangsan", "bGlzaQ::": "lisi"}.get(product.config().get("UserName"))
    test.assertEqual("lisi", stored)

    verdicts = [check_os_version(test, product, minimum) for minimum in ("6.0", "10.0")]
    expected = {"Windows XP": [False, False], "Windows 7": [True, False], "Windows 10": [True, True]}[name]
    test.assertEqual(expected, [passed for passed, _ in verdicts])
    ROWS.append([name, f"{report['result']} {report['score']}", "yes" if forwarded else "no (installed over)",
                 *("passed" if passed else "failed" for passed, _ in verdicts), verdicts[0][1]])


def check_os_version(test, product, minimum):
    """quarnctl check on the stored policy with the system-version item asking
    for `minimum`: (passed, the reason's system version)."""
    with open(product.path("SecurityCheckPolicy.xml"), "rb") as f:
        policy = f.read().replace(b"<MinVersion>1.0</MinVersion>", f"<MinVersion>{minimum}</MinVersion>".encode())
    path = os.path.join(product.top, f"policy-{minimum}.xml")
    with open(path, "wb") as f:
        f.write(policy)
    code, out = product.quarnctl("check", product.windows_path(path))
    row = next((line for line in out.splitlines() if line.startswith("102 ")), "")
    test.assertIn("操作系统版本", row, out)
    shown = row.split("操作系统版本", 1)[1].split()[0]
    return "不低于" in row, shown


class WindowsVersionProduct(Product):
    """The product run in one of this run's prefixes."""

    def __init__(self, bin_dir, prefix):
        super().__init__(bin_dir, wine=True)
        self.env.update(wine_env(prefix))
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)


class CopiedInstall(unittest.TestCase):
    """XP and 7: the build's files copied into the assistant directory."""

    def run_version(self, name):
        product = WindowsVersionProduct(staged(), prefixes().get(name))
        sim = Simulator(OPTIONS["simulator"], product.top, staged())
        try:
            sim.start(load_scenario("sample.json", **SCENARIO))
            product.install_files()
            windows_scenario(self, product, sim, name)
        finally:
            product.stop_assistants()
            sim.stop()
            product.remove()

    def test_windows_xp(self):
        self.run_version("Windows XP")

    def test_windows_7(self):
        self.run_version("Windows 7")


class MsiUnderWine(unittest.TestCase):
    """Windows 10: install, an admission pass, an upgrade in place, removal."""

    def test_install_pass_upgrade_uninstall(self):
        name = "Windows 10"
        made = prefixes()
        prefix = made.get(name)
        msi = dist("*.msi")[0]
        code = msiexec(prefix, "/i", msi)
        self.assertEqual(0, code)
        appdata = made.unix_path(name, wine(prefix, "cmd", "/c", "echo %APPDATA%").strip())
        folder = os.path.join(appdata, "Quarn")
        self.assertEqual(sorted(os.listdir(staged())), sorted(os.listdir(folder)))
        self.assertIn('Quarn\\TarnAssistant.exe" -logon', run_value(prefix))
        menu = os.path.join(appdata, "Microsoft", "Windows", "Start Menu", "Programs", "Quarn")
        self.assertTrue(os.path.exists(os.path.join(menu, "Network Access Assistant.lnk")), "no Start-menu shortcut")

        product = WindowsVersionProduct(folder, prefix)
        product.appdata, product.dir = appdata, folder
        sim = Simulator(OPTIONS["simulator"], product.top, staged())
        try:
            for program in ("quarnctl.exe", "TarnAssistant.exe"):
                code, out = product.run(program, "--version")
                self.assertEqual(f"{program[:-4]} {version()}", out.strip())
            sim.start(load_scenario("sample.json", **SCENARIO))
            windows_scenario(self, product, sim, name)
            log_before = product.log()
            product.stop_assistants()

            # A higher version replaces this one in place: one product, the store and the log kept.
            major, minor, patch = version().split(".")
            higher = f"{major}.{minor}.{int(patch) + 1}"
            newer = os.path.join(product.top, f"quarn-{higher}.msi")
            subprocess.run([sys.executable, os.path.join(ROOT, "packaging", "package.py"), "msi", "--stage",
                            staged(), "--version", higher, "--out", newer, "--sign-with", OPTIONS["work"]],
                           check=True, stdout=subprocess.DEVNULL)
            self.assertEqual(0, msiexec(prefix, "/i", newer))
            self.assertEqual([higher], installed_versions(prefix))
            self.assertEqual(sorted(os.listdir(staged())),
                             sorted(n for n in os.listdir(folder) if n.endswith((".dll", ".exe"))))
            self.assertEqual("1001", product.config().get("DeviceId"))
            self.assertTrue(product.log().startswith(log_before[:200]))

            # Removal while the assistant runs: it is ended, the files, settings,
            # logon start and shortcut go, the user log stays.
            product.start_assistant("-logon")
            self.assertTrue(wait_until(product.assistant_running, 30))
            self.assertEqual(0, msiexec(prefix, "/x", newer))
            self.assertTrue(wait_until(lambda: not product.assistant_running(), 30))
            left = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
            self.assertEqual([], [n for n in left if n.endswith((".dll", ".exe", ".dat"))])
            self.assertIn("TarnAssistant.log", left)
            self.assertEqual("", run_value(prefix))
            self.assertEqual([], installed_versions(prefix))
            self.assertFalse(os.path.exists(menu))
        finally:
            product.stop_assistants()
            sim.stop()
            product.remove()


def msiexec(prefix, action, msi):
    windows = "Z:" + os.path.abspath(msi).replace("/", "\\")
    result = subprocess.run(["wine", "msiexec", action, windows, "/qn"], env=wine_env(prefix),
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            timeout=300)
    return result.returncode


def run_value(prefix):
    out = wine(prefix, "reg", "query", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "/v",
               "TarnAssistant", check=False)
    return out if "TarnAssistant" in out else ""


def installed_versions(prefix):
    """DisplayVersion of every installed product of ours (Wine lists per-user ones under HKLM)."""
    versions = []
    for hive in ("HKCU", "HKLM"):
        out = wine(prefix, "reg", "query", hive + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                   "/s", check=False)
        for entry in out.split("\r\n\r\n"):
            if "Quarn Network Access Assistant" in entry:
                versions += [line.split()[-1] for line in entry.splitlines() if "DisplayVersion" in line]
    return versions
