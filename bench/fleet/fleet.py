"""A fleet of real assistants on one machine against one access-server simulator.

    fleet.py --bin DIR --simulator PROGRAM [-n N] [--users shared|per-device]
             [--steady SECONDS] [--auth-interval MINUTES] [--outage SECONDS]
             [--random-delay SECONDS] [--wine K --wine-bin DIR --wine-prefix DIR]
             [--json FILE] [--test]

Each of the N endpoints is the product of DIR installed into an assistant
directory of its own and run in network, mount and UTS namespaces of its own
(netns.py); quarnsim serves them all from the run's hub namespace. The
scenarios of scenarios.py run in turn and print their tables. With --wine K,
K more endpoints run the Windows build of --wine-bin under Wine, each with a
copy of the prepared prefix --wine-prefix and so a wineserver of its own (one
server would share the named objects of all). Everything the
run made is ended and deleted at the end, after a failure or an interrupt
too. Needs root. --test runs the short form as a test of the harness (exit 0
when every scenario held, 77 when it cannot run here) and writes its report
where GTEST_OUTPUT says.
"""

import argparse
import concurrent.futures
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402
import netns  # noqa: E402
import scenarios  # noqa: E402

SKIPPED = 77
KEY = "fleet-shared-key"
HTTP_PORT = 36580
INSTALL_WORKERS = 8
INSTALL_SECONDS = 120
SIMULATOR_START_SECONDS = 30
RUN_LIMIT_SECONDS = 6 * 3600  # the simulator ends itself after this


class Interrupted(Exception):
    pass


def on_signal(number, frame):
    raise Interrupted(signal.Signals(number).name)


class Records:
    """The simulator's record file, read as it grows."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.lines = []

    def update(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return self.lines
        end = data.rfind(b"\n") + 1
        for line in data[:end].splitlines():
            if line.strip():
                record = json.loads(line)
                record["t"] = scenarios.record_seconds(record["time"])
                self.lines.append(record)
        self.offset += end
        return self.lines


class Simulator(harness.Simulator):
    """quarnsim on the hub's address; each start has a record file of its own."""

    def __init__(self, program, folder, download_dir):
        # Started below with plain HTTP on the hub's address.
        super().__init__(program, folder, download_dir, https=False)
        self.starts = 0
        self.records = None

    def start(self, scenario):
        self.starts += 1
        # One deployment across restarts: the signing key made by the first
        # start stays (endpoints hold its public half).
        scenario = dict(scenario, keys_file=self.keys_file)
        path = os.path.join(self.folder, f"scenario{self.starts}.json")
        with open(path, "w", encoding="utf-8") as f:
            json.dump(scenario, f, ensure_ascii=False)
        record = os.path.join(self.folder, f"record{self.starts}.jsonl")
        self.log = open(os.path.join(self.folder, "quarnsim.log"), "ab")
        # Started from the hub's network, which this process has entered.
        self.process = subprocess.Popen(
            [self.program, "--scenario", path, "--download-dir", self.download_dir,
             "--record", record, "--listen", netns.HUB_ADDRESS,
             "--exit-after", str(RUN_LIMIT_SECONDS)],
            stdout=subprocess.PIPE, stderr=self.log)
        line = self.process.stdout.readline().decode(errors="replace")
        if not line.startswith("quarnsim ready"):
            self.stop()
            raise RuntimeError("the simulator did not start: " + line.strip())
        self.records = Records(record)

    def get(self, path, timeout=30):
        url = f"http://{netns.HUB_ADDRESS}:{HTTP_PORT}{path}"
        with urllib.request.urlopen(url, timeout=timeout) as answer:
            return answer.read()

    def push_all(self, command, wait, **elements):
        """`quarnsim push --all` as an administrator runs it: (exit code, answer)."""
        args = [self.program, "push", "--host", netns.HUB_ADDRESS, "--wait", str(wait), "--all",
                command] + [f"{k}={v}" for k, v in elements.items()]
        out = subprocess.run(args, capture_output=True, text=True, timeout=wait + 60)
        try:
            return out.returncode, json.loads(out.stdout)
        except ValueError:
            return out.returncode, {"error": out.stderr.strip()}


def copy_prefix(source, target):
    """A Wine prefix of its own: the Windows folder (half a gigabyte of
    modules Wine only reads) linked, the rest (registry, users) copied."""
    windows = os.path.join(source, "drive_c", "windows")

    def copy(src, dst):
        if os.path.commonpath([src, windows]) == windows:
            os.link(src, dst)
        else:
            shutil.copy2(src, dst)

    shutil.copytree(source, target, symlinks=True, copy_function=copy)


class Endpoint(harness.Product):
    """One installed product on a machine of its own (netns.py)."""

    def __init__(self, bin_dir, network, index, wine_prefix=None):
        super().__init__(bin_dir, wine=wine_prefix is not None)
        self.network = network
        self.index = index
        self.namespace = network.add_endpoint(index)
        self.address = netns.endpoint_address(index)
        self.hostname = f"fleet-{index:04d}"
        self.init_pid = network.start_machine(self.namespace, self.hostname)
        self.gate = None
        if self.wine:
            self.env["WINEPREFIX"] = os.path.join(self.top, "wineprefix")
            copy_prefix(wine_prefix, self.env["WINEPREFIX"])

    def start_windows(self):
        """Under Wine: the endpoint's Windows running before anybody logs on
        (its wineserver, kept, and Wine's services), as on a real machine."""
        if not self.wine:
            return
        subprocess.Popen(self.network.command(self.init_pid, ["wineserver", "-p"]), env=self.env,
                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL).wait(60)
        subprocess.run(self.network.command(self.init_pid, ["wine", "cmd", "/c", "exit"]),
                       env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)

    def command(self, program, args):
        return self.network.command(self.init_pid, super().command(program, args), self.gate)

    def start_logon(self, gate):
        """Starts the assistant as a logon does, once `gate` (FIFO, arrival
        file) opens."""
        self.gate = gate
        try:
            self.spawn(harness.ASSISTANT, "-logon")
        finally:
            self.gate = None

    def stop_all(self):
        """Ends the product's processes; the machine stays."""
        machine = {self.init_pid, *(p.pid for p in self.network.machines)}
        self.network.kill_all([self.namespace], keep=machine)
        for process in self.processes:
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
        self.processes = []


def unix_path(program):
    """A program path as /proc shows it: Wine's processes show their Windows
    path ("Z:\\tmp\\...")."""
    if program[1:3] in (":\\", ":/") and program[0] in "Zz":
        return program[2:].replace("\\", "/")
    return program


def assistants(endpoints):
    """The running assistant of each endpoint: {index: pid}, found by the
    assistant directory its program path lies in."""
    by_dir = {e.dir: e.index for e in endpoints}
    found = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/comm") as f:
                if not f.read().startswith("TarnAssistant"):
                    continue
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                program = unix_path(f.read().split(b"\0")[0].decode(errors="replace"))
        except OSError:
            continue
        index = by_dir.get(os.path.dirname(program))
        if index is not None:
            found[index] = int(entry)
    return found


class Fleet:
    def __init__(self, options):
        self.options = options
        self.folder = tempfile.mkdtemp(prefix="quarn-fleet-")
        # The endpoints' folders go under the run's folder.
        tempfile.tempdir = self.folder
        self.network = netns.Network()
        self.endpoints = []
        self.simulator = None
        self.scenario = None

    def assistants(self):
        return assistants(self.endpoints)

    def user_of(self, endpoint):
        return f"fleet{endpoint.index:04d}" if self.options.users == "per-device" else "zhangsan"

    def make_scenario(self):
        check_param = {"AuthInterval": self.options.auth_interval}
        scenario = harness.load_scenario(self.options.scenario, crypt_key=KEY, devices=[],
                                         register_unknown=True, check_param=check_param)
        scenario["name"] = f"fleet of {self.options.n}"
        if self.options.users == "per-device":
            scenario["generated_users"] = {"prefix": "fleet",
                                           "count": self.options.n + self.options.wine,
                                           "password": "Fleet@123", "role_id": "3",
                                           "policy_id": "12"}
        return scenario

    def set_up(self):
        stale = netns.remove_leftovers()
        if stale:
            print(f"removed the namespaces of an earlier run: {' '.join(stale)}")
        self.network.create_hub()
        self.network.enter_hub()
        for index in range(1, self.options.n + 1):
            self.endpoints.append(Endpoint(self.options.bin, self.network, index))
        for index in range(self.options.n + 1, self.options.n + self.options.wine + 1):
            self.endpoints.append(Endpoint(self.options.wine_bin, self.network, index,
                                           self.options.wine_prefix))
        download = self.make_download_folder() if self.options.wine else self.options.bin
        self.simulator = Simulator(self.options.simulator, self.folder, download)
        self.scenario = self.make_scenario()
        self.simulator.start(self.scenario)
        if self.options.wine:
            self.sign_windows_folder()
        started = time.monotonic()
        with concurrent.futures.ThreadPoolExecutor(INSTALL_WORKERS) as pool:
            failures = [f for f in pool.map(self.install, self.endpoints) if f]
        if failures:
            raise RuntimeError("installation failed: " + "; ".join(failures[:5]))
        print(f"{len(self.endpoints)} endpoints installed and registered in "
              f"{time.monotonic() - started:.0f} s"
              + (f" ({self.options.wine} under Wine)" if self.options.wine else ""), flush=True)

    # The agent fetches its modules from "/download/" of the check page's
    # server. The Windows build's modules have the same names as the native
    # ones, so Wine endpoints take theirs from "/download/win32/" (their
    # ServerDownPath), which the simulator serves as files of the folder,
    # with a manifest signed by the same key.
    def make_download_folder(self):
        folder = os.path.join(self.folder, "download")
        os.makedirs(os.path.join(folder, "win32"))
        for name in os.listdir(self.options.bin):
            os.symlink(os.path.join(self.options.bin, name), os.path.join(folder, name))
        for name in os.listdir(self.options.wine_bin):
            source = os.path.join(self.options.wine_bin, name)
            if os.path.isfile(source) and name.endswith((".dll", ".exe")):
                shutil.copy2(source, os.path.join(folder, "win32", name))
        return folder

    def sign_windows_folder(self):
        folder = os.path.join(self.simulator.download_dir, "win32")
        with open(os.path.join(folder, "TarnAssistantUpdate.inf"), "wb") as f:
            f.write(self.simulator.get("/download/TarnAssistantUpdate.inf"))
        key = os.path.join(self.folder, "sign-key")
        with open(self.simulator.keys_file) as f:
            sign_key = f.readline().strip()
        with open(os.open(key, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "w") as f:
            f.write(sign_key)
        subprocess.run([os.path.join(self.options.bin, "quarnctl.exe"), "manifest", folder, key],
                       check=True, capture_output=True, timeout=60)

    def windows_download_path(self):
        return f"http://{netns.HUB_ADDRESS}:{HTTP_PORT}/download/win32/"

    def install(self, endpoint):
        """Installs one endpoint with the server's packet and lets its
        installation assistant register; then ends it. None or why not."""
        endpoint.install_files()
        user = urllib.parse.quote(self.user_of(endpoint))
        packet = os.path.join(endpoint.top, "packet.xml")
        with open(packet, "wb") as f:
            f.write(self.simulator.get(f"/admin/install_packet?device=new&user={user}"))
        code, out = endpoint.quarnctl(
            "install", endpoint.windows_path(packet) if endpoint.wine else packet)
        if code != 0:
            return f"{endpoint.hostname}: quarnctl install exit {code}: {out.strip()[:200]}"
        if endpoint.wine:
            # Registered by an assistant that fetches the Windows modules.
            endpoint.stop_all()
            code, out = endpoint.quarnctl("config", "set", "ServerDownPath",
                                          self.windows_download_path())
            if code != 0:
                return f"{endpoint.hostname}: ServerDownPath not set: {out.strip()[:200]}"
            endpoint.spawn(harness.ASSISTANT)
        if self.options.random_delay:
            code, out = endpoint.quarnctl("config", "set", "RandomDelay",
                                          str(self.options.random_delay))
            if code != 0:
                return f"{endpoint.hostname}: RandomDelay not set: {out.strip()[:200]}"
        registered = harness.wait_until(lambda: endpoint.config().get("DeviceId", "0") != "0",
                                        INSTALL_SECONDS, step=1.0)
        endpoint.stop_all()
        endpoint.start_windows()
        return None if registered else f"{endpoint.hostname}: never registered"

    def tear_down(self):
        if self.simulator is not None:
            self.simulator.stop()
        self.network.teardown()
        shutil.rmtree(self.folder, ignore_errors=True)


def report_xml(rows, total):
    """The test's report where GTEST_OUTPUT says, as ./quarn test counts it."""
    import run_e2e  # noqa: E402 (its report writer; the file name it picks is changed below)
    output = os.environ.get("GTEST_OUTPUT", "")
    if output.startswith("xml:") and output.endswith("/"):
        os.environ["GTEST_OUTPUT"] = output + "test_fleet.xml"
    run_e2e.write_report(rows, total)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--simulator", required=True)
    parser.add_argument("-n", type=int, default=20)
    parser.add_argument("--users", choices=("shared", "per-device"), default="per-device")
    parser.add_argument("--scenario", default="bench20.json")
    parser.add_argument("--steady", type=int, default=600)
    parser.add_argument("--auth-interval", type=int, default=1)
    parser.add_argument("--outage", type=int, default=120)
    parser.add_argument("--random-delay", type=int, default=0)
    parser.add_argument("--wine", type=int, default=0, metavar="K")
    parser.add_argument("--wine-bin", help="the Windows build's bin folder")
    parser.add_argument("--wine-prefix", help="a prepared Wine prefix, copied per endpoint")
    parser.add_argument("--json")
    parser.add_argument("--test", action="store_true")
    options = parser.parse_args()
    if options.test:
        options.n, options.steady, options.auth_interval, options.outage = 5, 15, 0, 10
    if os.geteuid() != 0 or shutil.which("ip") is None or shutil.which("unshare") is None:
        print("the fleet needs root, ip and unshare: skipped")
        return SKIPPED
    if not os.access(options.simulator, os.X_OK):
        print(f"no simulator at {options.simulator}: skipped")
        return SKIPPED
    if not 1 <= options.n <= 2000:
        parser.error("N from 1 to 2000")
    if options.wine and not (options.wine_bin and options.wine_prefix and
                             os.path.isfile(os.path.join(options.wine_bin, harness.ASSISTANT))
                             and os.path.isdir(options.wine_prefix) and shutil.which("wine")):
        parser.error("--wine K needs wine, --wine-bin (the Windows build) and --wine-prefix")
    if not 0 <= options.wine <= 50:
        parser.error("K from 0 to 50")

    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, on_signal)
    fleet = Fleet(options)
    started = time.monotonic()
    results = {}
    rows = []
    try:
        fleet.set_up()
        for name, run in scenarios.ALL:
            begun = time.monotonic()
            failure = None
            try:
                results[name] = run(fleet)
            except (AssertionError, RuntimeError) as error:
                failure = f"{name}: {error}"
                print(failure, flush=True)
            rows.append((name, time.monotonic() - begun, failure, False))
    except Interrupted as why:
        print(f"interrupted ({why}): ending the fleet", flush=True)
        rows.append(("interrupted", 0, str(why), False))
    except Exception as error:  # noqa: BLE001 (reported, then torn down)
        rows.append(("set_up", time.monotonic() - started, repr(error), False))
        print(f"the fleet failed: {error!r}", flush=True)
    finally:
        # A second Ctrl-C must not cut the teardown short.
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(number, signal.SIG_IGN)
        fleet.tear_down()
    left = [n for n in netns.run_namespaces() if n.startswith(fleet.network.prefix)]
    print(f"torn down: {len(left)} namespaces of the run left", flush=True)
    if left:
        rows.append(("teardown", 0, "namespaces left: " + " ".join(left), False))
    if options.json:
        with open(options.json, "w") as f:
            json.dump({"n": options.n, "options": vars(options), "results": results}, f, indent=1)
    if options.test:
        report_xml(rows, time.monotonic() - started)
    return 0 if rows and not any(r[2] for r in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
