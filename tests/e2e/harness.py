"""The product as a user's machine runs it, against the access-server simulator.

A throw-away assistant directory (APPDATA, HOME and the XDG folders under a
temporary folder), the modules and programs copied from a build's bin/ as an
installer would, quarnsim on loopback with its record file, and the product's
programs run natively or, for the Windows build, under Wine.

Wine replaces APPDATA from its own profile, so every Windows program starts
through "cmd /c set APPDATA=...&& program": the variable then reaches the
program and everything it starts. The Windows processes of a run are found by
the temporary folder in their command line and ended one by one, never the
shared prefix's other programs.
"""

import hashlib
import hmac
import json
import os
import shutil
import signal
import ssl
import struct
import subprocess
import tempfile
import time
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SCENARIOS = os.path.join(ROOT, "programs", "simulator", "scenarios")
HTTP_PORT = 36580
ASSISTANT = "TarnAssistant.exe"


def wait_until(condition, timeout, step=0.2):
    """Polls `condition` until it gives a true value or `timeout` seconds pass."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= end:
            return value
        time.sleep(step)


def load_scenario(name, **changes):
    """A shipped scenario with top-level keys replaced and `check_param` keys
    merged into every policy's CheckParam."""
    with open(os.path.join(SCENARIOS, name), encoding="utf-8") as f:
        scenario = json.load(f)
    check_param = changes.pop("check_param", {})
    scenario.update(changes)
    for policy in scenario["check_policies"].values():
        policy["CheckParam"].update(check_param)
    return scenario


class Simulator:
    """quarnsim serving one scenario on loopback, recording every exchange.

    Protected by default, as a deployment should run: HTTPS with a chain made
    for the run (the installation packet pins the server's key), and, unless
    the scenario names a crypt_key or sets "security": "off", a key per
    device and a manifest signing key made by the simulator. A scenario that
    tests plain HTTP asks with https=False (QUARN_E2E_HTTPS=0 turns HTTPS off
    everywhere, to tell a TLS fault from another)."""

    def __init__(self, program, folder, download_dir, https=None):
        self.program = program
        self.folder = folder
        self.download_dir = download_dir
        self.record = os.path.join(folder, "record.jsonl")
        self.keys_file = os.path.join(folder, "server-keys")
        self.process = None
        # root.pem is what the product and the harness trust.
        self.https = os.environ.get("QUARN_E2E_HTTPS") != "0" if https is None else https
        self.tls_dir = os.path.join(folder, "tls")
        self.context = None
        self.pin = ""

    @property
    def base(self):
        return (f"https://localhost:{HTTP_PORT}" if self.https
                else f"http://127.0.0.1:{HTTP_PORT}")

    def _make_chain(self):
        """The chain of the first start, kept for the restarts: the product
        pinned its key and trusts its root."""
        pin_file = os.path.join(self.tls_dir, "pin")
        if not os.path.exists(pin_file):
            os.makedirs(self.tls_dir, exist_ok=True)
            subprocess.run([self.program, "make-chain", self.tls_dir], capture_output=True,
                           check=True)
        with open(pin_file) as f:
            self.pin = f.read().strip()
        self.context = ssl.create_default_context(cafile=os.path.join(self.tls_dir, "root.pem"))

    def device_key(self, device_id):
        """The CryptKey the simulator gives `device_id` under the deployment
        secret it made (docs/simulator.md); None when the scenario named its
        keys or ran without them."""
        try:
            with open(self.keys_file) as f:
                secret = f.read().splitlines()[1]
        except (OSError, IndexError):
            return None
        return hmac.new(secret.encode(), b"QuarnDeviceKey\n" + device_id.encode(),
                        hashlib.sha256).hexdigest() if secret else None

    def start(self, scenario):
        # One deployment across restarts: the keys the scenario does not name
        # are made by the first start and kept in the folder.
        scenario = dict(scenario, keys_file=self.keys_file)
        path = os.path.join(self.folder, "scenario.json")
        with open(path, "w", encoding="utf-8") as f:
            json.dump(scenario, f, ensure_ascii=False)
        self.log = open(os.path.join(self.folder, "quarnsim.log"), "ab")
        tls = []
        if self.https:
            self._make_chain()
            tls = ["--tls-dir", self.tls_dir]
        self.process = subprocess.Popen(
            [self.program, "--scenario", path, "--download-dir", self.download_dir,
             "--record", self.record, "--exit-after", "1800"] + tls,
            stdout=subprocess.PIPE, stderr=self.log)
        line = self.process.stdout.readline().decode(errors="replace")
        if not line.startswith("quarnsim ready"):
            self.stop()
            raise RuntimeError("the simulator did not start: " + line.strip())

    def stop(self):
        if self.process is None:
            return
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()
        self.log.close()
        self.process = None

    def records(self):
        try:
            with open(self.record, encoding="utf-8") as f:
                return [json.loads(line) for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def wait_record(self, match, after=0, timeout=60):
        """The first record after seq `after` that `match` accepts, or None."""
        def find():
            return next((r for r in self.records() if r["seq"] > after and match(r)), None)
        return wait_until(find, timeout)

    def last_seq(self):
        records = self.records()
        return records[-1]["seq"] if records else 0

    def get(self, path):
        with urllib.request.urlopen(self.base + path, timeout=30,
                                    context=self.context) as answer:
            return answer.read()

    def push(self, command, wait=90, **elements):
        fields = {"device": "1001", "command": command, "wait": str(wait), **elements}
        body = urllib.parse.urlencode(fields).encode()
        with urllib.request.urlopen(self.base + "/admin/push", body, timeout=wait + 30,
                                    context=self.context) as answer:
            return json.loads(answer.read())


def is_trade(trade, **fields):
    def match(record):
        return (record["kind"] == "udp" and record.get("trade") == trade and
                all(record.get(k) == v for k, v in fields.items()))
    return match


def is_page(path_part, **fields):
    def match(record):
        return (record["kind"] == "http" and path_part in record.get("path", "") + "?" +
                json.dumps(record.get("params", {}), ensure_ascii=False) and
                all(record.get(k) == v for k, v in fields.items()))
    return match


def install_and_log_on(product, sim, timeout=120):
    """Installs the product from the simulator's packet, lets the installation's
    assistant register, then starts the assistant as a logon does and waits for
    its first check report."""
    product.install_files()
    code, out = product.install_packet(sim)
    assert code == 0, out
    assert sim.wait_record(is_trade("GetIdentityAuthPolicy"), 0, 60), "installed, never spoke"
    product.stop_assistants()
    mark = sim.last_seq()
    product.start_assistant("-logon")
    assert sim.wait_record(is_trade("ReportCheckResult"), mark, timeout), "never checked"


class Product:
    """The installed product in a throw-away assistant directory."""

    def __init__(self, bin_dir, wine=False):
        self.bin_dir = os.path.abspath(bin_dir)
        self.wine = wine
        self.top = tempfile.mkdtemp(prefix="quarn-e2e-")
        self.appdata = os.path.join(self.top, "appdata")
        self.dir = os.path.join(self.appdata, "Quarn")
        self.pages = os.path.join(self.top, "pages.txt")
        self.env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "http_proxy", "https_proxy", "HTTP_PROXY",
                     "HTTPS_PROXY", "no_proxy", "NO_PROXY"):
            self.env.pop(name, None)
        folders = {"HOME": "home", "XDG_CONFIG_HOME": "config", "XDG_DATA_HOME": "data",
                   "XDG_STATE_HOME": "state", "XDG_RUNTIME_DIR": "runtime", "XDG_CACHE_HOME": "cache"}
        for name, folder in folders.items():
            path = os.path.join(self.top, folder)
            os.makedirs(path, mode=0o700)
            self.env[name] = path
        self.env["APPDATA"] = self.appdata
        self.env["QUARN_HTMLDLG_BROWSER"] = self._stand_in_browser()
        if wine:
            prefix = os.environ.get("WINEPREFIX") or os.path.join(os.path.dirname(self.bin_dir),
                                                                  "wineprefix")
            self.env.update(WINEPREFIX=prefix, WINEARCH="win32", WINEDEBUG="-all",
                            WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="zh_CN.UTF-8")
        self.processes = []

    # --- files --------------------------------------------------------------

    def install_files(self):
        """Copies the modules and programs of the build, as the installer does
        (the build's test programs, which no installer ships, stay behind)."""
        os.makedirs(self.dir, exist_ok=True)
        for name in sorted(os.listdir(self.bin_dir)):
            source = os.path.join(self.bin_dir, name)
            if (os.path.isfile(source) and name.endswith((".dll", ".exe")) and
                    not name.startswith("test_")):
                shutil.copy2(source, os.path.join(self.dir, name))

    def path(self, name):
        return os.path.join(self.dir, name)

    def read_text(self, name):
        """A file of the assistant directory as text (the product writes GBK)."""
        try:
            with open(self.path(name), "rb") as f:
                return f.read().decode("gbk", errors="replace")
        except FileNotFoundError:
            return ""

    def pages_opened(self):
        try:
            with open(self.pages, encoding="utf-8", errors="replace") as f:
                return [line.strip().strip('"') for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def _stand_in_browser(self):
        """The default browser's stand-in: notes each page handed to it."""
        if not self.wine:
            script = os.path.join(self.top, "browser.sh")
            with open(script, "w") as f:
                f.write(f'#!/bin/sh\nprintf "%s\\n" "$*" >> "{self.pages}"\n')
            os.chmod(script, 0o755)
            return script
        script = os.path.join(self.top, "browser.bat")
        with open(script, "w", newline="\r\n") as f:
            f.write(f"@echo %1>> {self.windows_path(self.pages)}\n")  # quoted: "&" stays text
        return f"C:\\windows\\system32\\cmd.exe /c {self.windows_path(script)}"

    def windows_path(self, path):
        return "Z:" + path.replace("/", "\\")

    # --- programs -----------------------------------------------------------

    def command(self, program, args):
        if not self.wine:
            return [self.path(program)] + list(args)
        line = f"set APPDATA={self.windows_path(self.appdata)}&& {self.windows_path(self.path(program))}"
        for arg in args:
            line += " " + (f'"{arg}"' if " " in arg else arg)
        return ["wine", "cmd", "/c", line]

    def run(self, program, *args, timeout=120):
        # A file, not a pipe: an assistant the program starts inherits it and
        # would hold a pipe open for its whole life.
        # What programs say on stderr (a sanitizer's report among it) is kept
        # in one file of the run, for a failure's message (stderr_tail).
        with tempfile.TemporaryFile(dir=self.top) as output, \
                open(os.path.join(self.top, "stderr.log"), "ab") as errors:
            result = subprocess.run(self.command(program, args), env=self.env, cwd=self.top,
                                    stdin=subprocess.DEVNULL, stdout=output,
                                    stderr=errors, timeout=timeout)
            output.seek(0)
            text = output.read()
        try:
            return result.returncode, text.decode("utf-8")
        except UnicodeDecodeError:
            return result.returncode, text.decode("gbk", errors="replace")

    def quarnctl(self, *args, timeout=120):
        return self.run("quarnctl.exe", *args, timeout=timeout)

    def stderr_tail(self, size=4000):
        """The end of what the programs run so far wrote to stderr."""
        try:
            with open(os.path.join(self.top, "stderr.log"), "rb") as f:
                return "\nstderr:\n" + f.read()[-size:].decode("utf-8", errors="replace")
        except OSError:
            return ""

    def spawn(self, program, *args):
        process = subprocess.Popen(self.command(program, args), env=self.env, cwd=self.top,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.processes.append(process)
        return process

    def own_pids(self, program=None):
        """Processes of this run's assistant directory (by their command line)."""
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == os.getpid():
                continue
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    line = f.read().replace(b"\0", b" ").decode(errors="replace")
            except OSError:
                continue
            if self.dir.replace("/", "\\") in line or self.dir in line:
                if program is None or program in line:
                    pids.append(int(entry))
        return pids

    def assistant_running(self):
        return bool([p for p in self.own_pids(ASSISTANT) if not self._is_wrapper(p)])

    def _is_wrapper(self, pid):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                return b"cmd" in f.read().split(b"\0")[0]
        except OSError:  # ended meanwhile: nothing to end or count
            return True

    def stop_assistants(self):
        """Ends this run's assistants (SIGTERM: the host ends cleanly) and waits."""
        for pid in self.own_pids(ASSISTANT):
            if not self._is_wrapper(pid):
                try:
                    os.kill(pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        ended = wait_until(lambda: not self.assistant_running(), 30)
        for pid in self.own_pids():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        for process in self.processes:
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
        self.processes = []
        return ended

    def start_assistant(self, *switches):
        return self.spawn(ASSISTANT, *switches)

    def install_packet(self, simulator, user="zhangsan", auth_type=""):
        """Fetches the simulator's installation packet and installs it with quarnctl.
        Over HTTPS the product trusts the simulator's root: natively through
        OpenSSL's SSL_CERT_FILE; under Wine the prefix must trust it (or the
        packet's pin stands in, see docs/http_client.md)."""
        if simulator.https and not self.wine:
            self.env["SSL_CERT_FILE"] = os.path.join(simulator.tls_dir, "root.pem")
        elif simulator.https:
            self.trust_root(os.path.join(simulator.tls_dir, "root.der"))
        packet = os.path.join(self.top, "packet.xml")
        query = f"device=1001&user={user}" + (f"&auth_type={auth_type}" if auth_type else "")
        with open(packet, "wb") as f:
            f.write(simulator.get(f"/admin/install_packet?{query}"))
        target = self.windows_path(packet) if self.wine else packet
        return self.quarnctl("install", target)

    def trust_root(self, der_path):
        """Puts a root into the prefix user's "Root" store, as CertAddEncodedCertificateToStore
        keeps it: a registry key named by the certificate's SHA-1 whose Blob is the
        serialized certificate (property 32, the DER). remove() takes it out again."""
        with open(der_path, "rb") as f:
            der = f.read()
        self.root_key = ("HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" +
                         hashlib.sha1(der).hexdigest().upper())
        blob = struct.pack("<III", 32, 1, len(der)) + der
        subprocess.run(["wine", "reg", "add", self.root_key, "/v", "Blob", "/t", "REG_BINARY",
                        "/d", blob.hex(), "/f"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=True)

    def config(self):
        """The configuration store as a dict (quarnctl config list)."""
        code, out = self.quarnctl("config", "list")
        values = {}
        for line in out.splitlines():
            if " = " in line:
                key, value = line.split(" = ", 1)
                values[key.strip()] = value
        return values

    def log(self):
        return self.quarnctl("log")[1]

    def remove(self):
        self.stop_assistants()
        if getattr(self, "root_key", None):
            subprocess.run(["wine", "reg", "delete", self.root_key, "/f"], env=self.env,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
        shutil.rmtree(self.top, ignore_errors=True)
