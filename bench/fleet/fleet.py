"""A fleet of real assistants on one machine against one access-server simulator.

    fleet.py --bin DIR --simulator PROGRAM [-n N] [--users shared|per-device]
             [--steady SECONDS] [--auth-interval MINUTES] [--outage SECONDS]
             [--random-delay SECONDS] [--wine 0] [--json FILE] [--test]

Each of the N endpoints is the product of DIR installed into an assistant
directory of its own and run in network, mount and UTS namespaces of its own
(netns.py); quarnsim serves them all from the run's hub namespace. The
scenarios of scenarios.py run in turn and print their tables. Everything the
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
        super().__init__(program, folder, download_dir)
        self.starts = 0
        self.records = None

    def start(self, scenario):
        self.starts += 1
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


class Endpoint(harness.Product):
    """One installed product on a machine of its own (netns.py)."""

    def __init__(self, bin_dir, network, index):
        super().__init__(bin_dir)
        self.network = network
        self.index = index
        self.namespace = network.add_endpoint(index)
        self.address = netns.endpoint_address(index)
        self.hostname = f"fleet-{index:04d}"
        self.init_pid = network.start_machine(self.namespace, self.hostname)
        self.gate = None

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
                program = f.read().split(b"\0")[0].decode(errors="replace")
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
            scenario["generated_users"] = {"prefix": "fleet", "count": self.options.n,
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
        self.simulator = Simulator(self.options.simulator, self.folder, self.options.bin)
        self.scenario = self.make_scenario()
        self.simulator.start(self.scenario)
        started = time.monotonic()
        with concurrent.futures.ThreadPoolExecutor(INSTALL_WORKERS) as pool:
            failures = [f for f in pool.map(self.install, self.endpoints) if f]
        if failures:
            raise RuntimeError("installation failed: " + "; ".join(failures[:5]))
        print(f"{len(self.endpoints)} endpoints installed and registered in "
              f"{time.monotonic() - started:.0f} s", flush=True)

    def install(self, endpoint):
        """Installs one endpoint with the server's packet and lets its
        installation assistant register; then ends it. None or why not."""
        endpoint.install_files()
        user = urllib.parse.quote(self.user_of(endpoint))
        packet = os.path.join(endpoint.top, "packet.xml")
        with open(packet, "wb") as f:
            f.write(self.simulator.get(f"/admin/install_packet?device=new&user={user}"))
        code, out = endpoint.quarnctl("install", packet)
        if code != 0:
            return f"{endpoint.hostname}: quarnctl install exit {code}: {out.strip()[:200]}"
        if self.options.random_delay:
            code, out = endpoint.quarnctl("config", "set", "RandomDelay",
                                          str(self.options.random_delay))
            if code != 0:
                return f"{endpoint.hostname}: RandomDelay not set: {out.strip()[:200]}"
        registered = harness.wait_until(lambda: endpoint.config().get("DeviceId", "0") != "0",
                                        INSTALL_SECONDS, step=1.0)
        endpoint.stop_all()
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
    if options.wine:
        # Each Wine endpoint needs a prefix and a wineserver of its own.
        parser.error("endpoints under Wine are not built yet: --wine 0 only")

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
