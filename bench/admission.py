"""One logon admission pass with twenty check items, on loopback: the
assistant's CPU time for the pass against the time the same exchanges take
when a bare client replays them.

    admission.py --bin DIR --simulator PROGRAM --replay PROGRAM [--passes N] [--rounds N]
                 [--callgrind FILE | --strace FILE]

The product of DIR is installed into a throw-away assistant directory against
quarnsim serving bench20.json (every datagram tagged). Each pass starts a
fresh `TarnAssistant.exe -logon` and ends at its ReportCheckResult; the
assistant's user + system time (its /proc/<pid>/stat, at the moment the
report is recorded) is its cost. The pass's requests, taken from the record
file in order, are then replayed by the bare client `--rounds` times against
the same simulator (the assistant stopped). Medians are printed with their
ratio. With --callgrind a second pass (the modules cached by the first, as in
most passes) runs under callgrind instead, and its profile (instruction
counts: steady while other work loads the machine) goes to FILE, from the
process start to the end of the pass; --strace FILE does the same with the
system calls counted (strace -f -c).
"""

import argparse
import ctypes
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tests", "e2e"))
import harness  # noqa: E402

SCENARIO = "bench20.json"
KEY = "bench-shared-key"
WAIT_SECONDS = 120
TICKS = os.sysconf("SC_CLK_TCK")


def process_clock(pid):
    """User + system time of the whole process (its ended threads included)
    to the nanosecond, from its CPU-time clock; None where that is refused."""
    libc = ctypes.CDLL(None, use_errno=True)
    clock = ctypes.c_int()
    now = (ctypes.c_long * 2)()
    if libc.clock_getcpuclockid(pid, ctypes.byref(clock)) != 0 or \
            libc.clock_gettime(clock, now) != 0:
        return None
    return now[0] + now[1] / 1e9


def cpu_seconds(pid):
    """User + system time of the process, and that of its waited-for children.
    /proc counts in ticks of 10 ms, too coarse for a pass of a few: the
    process's CPU clock is taken where it can be read."""
    with open(f"/proc/{pid}/stat", "rb") as f:
        # The name (field 2) may hold spaces: the fields after it follow ")".
        fields = f.read().rsplit(b")", 1)[1].split()
    utime, stime, cutime, cstime = (int(v) for v in fields[11:15])
    own = process_clock(pid)
    return (utime + stime) / TICKS if own is None else own, (cutime + cstime) / TICKS


def wait_report(simulator, after, process):
    """The ReportCheckResult record after seq `after`, polled closely so that
    the CPU time read next holds little beyond the pass; None on time-out."""
    end = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < end and process.poll() is None:
        # The report of this pass follows its item requests: a record written
        # late by the previous pass is not taken for it.
        asked = False
        for record in simulator.records():
            if record["seq"] <= after or record["kind"] != "udp":
                continue
            asked = asked or record.get("trade") == "GetSecurityCheckItem"
            if asked and record.get("trade") == "ReportCheckResult":
                return record
        time.sleep(0.02)
    return None


def gbk(text):
    return text.encode("gbk", errors="replace")


def exchange_block(record):
    """The bare client's block for one recorded exchange, or None (drops, pushes)."""
    if record["kind"] == "udp" and "request" in record:
        data = gbk(record["request"])
        return b"udp %d\n%s\n" % (len(data), data)
    if record["kind"] != "http":
        return None
    path = record["path"].encode()
    params = record.get("params") or {}
    query = "&".join(f"{harness.urllib.parse.quote_from_bytes(gbk(k), safe='')}="
                     f"{harness.urllib.parse.quote_from_bytes(gbk(v), safe='')}"
                     for k, v in params.items()).encode()
    if record["method"] == "POST":
        return b"post %d %d\n%s%s\n" % (len(path), len(query), path, query)
    target = path + (b"?" + query if query else b"")
    return b"get %d\n%s\n" % (len(target), target)


def replay(program, path, rounds):
    """Wall and CPU seconds per round of the bare client."""
    out = subprocess.run([program, "--key", KEY, "--rounds", str(rounds), path],
                         capture_output=True, text=True, timeout=600)
    if out.returncode != 0:
        raise RuntimeError("the bare client failed: " + out.stderr.strip())
    walls, cpus = [], []
    for line in out.stdout.splitlines():
        words = line.split()
        if words and words[0] == "round":
            walls.append(int(words[3]) / 1e6)
            cpus.append(float(words[5]) / 1e6)
    return walls, cpus


def one_pass(product, simulator):
    """Runs one logon pass: (assistant CPU, children CPU, records of the pass)."""
    mark = simulator.last_seq()
    process = product.start_assistant("-logon")
    report = wait_report(simulator, mark, process)
    if report is None:
        raise RuntimeError(f"no ReportCheckResult within {WAIT_SECONDS} s")
    if report.get("result") != "success":
        # A failing item sends the pass down another road: not this benchmark.
        raise RuntimeError(f"the pass reported {report.get('result')} {report.get('score')}")
    own, children = cpu_seconds(process.pid)
    product.stop_assistants()
    records = [r for r in simulator.records() if mark < r["seq"] <= report["seq"]]
    return own, children, records


class Profiled(harness.Product):
    """The product whose assistant runs under a profiler (the command before
    its own)."""

    def __init__(self, bin_dir, profiler):
        super().__init__(bin_dir)
        self.profiler = profiler
        self.profiling = False

    def command(self, program, args):
        line = super().command(program, args)
        if program != harness.ASSISTANT or not self.profiling:
            return line
        return self.profiler + line


def profiler_command(options):
    if options.callgrind:
        return ["valgrind", "--tool=callgrind",
                f"--callgrind-out-file={os.path.abspath(options.callgrind)}",
                "--dump-instr=no", "--collect-atstart=yes"]
    # Counts and times of the system calls of every thread.
    return ["strace", "-f", "-c", "-o", os.path.abspath(options.strace)]


def profile(options, simulator):
    """One pass under callgrind or strace; the profile ends with the process,
    ended as soon as the report is recorded."""
    product = Profiled(options.bin, profiler_command(options))
    try:
        product.install_files()
        code, out = product.install_packet(simulator)
        if code != 0 or not harness.wait_until(lambda: product.config().get("CheckUrl"), 60):
            raise RuntimeError(f"installation failed (exit {code}): {out.strip()}")
        product.stop_assistants()
        # As the benchmark's median pass: the modules are in the cache already.
        one_pass(product, simulator)
        product.profiling = True
        one_pass(product, simulator)
    finally:
        product.remove()
    print(f"profile of one pass: {options.callgrind or options.strace}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--simulator", required=True)
    parser.add_argument("--replay", required=True)
    parser.add_argument("--passes", type=int, default=5)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--callgrind")
    parser.add_argument("--strace")
    options = parser.parse_args()
    if options.callgrind or options.strace:
        folder = harness.tempfile.mkdtemp(prefix="quarn-profile-")
        simulator = harness.Simulator(options.simulator, folder, options.bin, https=False)
        try:
            simulator.start(harness.load_scenario(SCENARIO, crypt_key=KEY))
            profile(options, simulator)
        finally:
            simulator.stop()
            harness.shutil.rmtree(folder, ignore_errors=True)
        return 0

    product = harness.Product(options.bin)
    # Plain HTTP: the bare client replays the exchanges without TLS, and the
    # pass is compared with the same exchanges.
    simulator = harness.Simulator(options.simulator, product.top, product.bin_dir, https=False)
    passes = []
    try:
        simulator.start(harness.load_scenario(SCENARIO, crypt_key=KEY))
        product.install_files()
        code, out = product.install_packet(simulator)
        if code != 0 or not harness.wait_until(lambda: product.config().get("CheckUrl"), 60):
            raise RuntimeError(f"installation failed (exit {code}): {out.strip()}")
        # The installation's assistant runs no logon pass: end it first.
        product.stop_assistants()
        for n in range(options.passes):
            own, children, records = one_pass(product, simulator)
            blocks = [b for b in map(exchange_block, records) if b]
            path = os.path.join(product.top, f"pass{n + 1}.exchanges")
            with open(path, "wb") as f:
                f.write(b"".join(blocks))
            walls, cpus = replay(options.replay, path, options.rounds)
            items = sum(1 for r in records if r.get("trade") == "GetSecurityCheckItem")
            downloads = sum(1 for r in records if "bytes" in r)
            passes.append((own, statistics.median(walls), statistics.median(cpus)))
            print(f"pass {n + 1}: {len(blocks)} exchanges ({items} items, {downloads} downloads), "
                  f"assistant CPU {own * 1e3:.0f} ms (children {children * 1e3:.0f} ms), "
                  f"bare replay {statistics.median(walls) * 1e3:.1f} ms wall, "
                  f"{statistics.median(cpus) * 1e3:.1f} ms CPU", flush=True)
    finally:
        product.stop_assistants()
        simulator.stop()
        product.remove()

    assistant = statistics.median(p[0] for p in passes)
    wall = statistics.median(p[1] for p in passes)
    cpu = statistics.median(p[2] for p in passes)
    print(f"admission pass, 20 items, median of {len(passes)}: assistant CPU "
          f"{assistant * 1e3:.0f} ms, bare replay {wall * 1e3:.1f} ms wall "
          f"({cpu * 1e3:.1f} ms CPU); ratio {assistant / wall:.1f}x the replay's wall time, "
          f"{assistant / max(cpu, 1e-6):.1f}x its CPU time")
    return 0


if __name__ == "__main__":
    sys.exit(main())
