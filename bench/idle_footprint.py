"""The assistant at rest: after its logon pass against quarnsim, how often
each of its threads wakes, and what it holds, over an idle minute.

    idle_footprint.py --bin DIR --simulator PROGRAM [--wine] [--seconds N]

The product of DIR is installed into a throw-away assistant directory, a
fresh `TarnAssistant.exe -logon` runs its pass up to ReportCheckResult, and
after a settling pause the assistant is left alone for N seconds (60). From
/proc, at the start and the end of that window: each thread's context
switches (voluntary + involuntary: every wakeup is one), the process's CPU
time, its RSS, threads and open descriptors. Under Wine the assistant is a
Linux process too; its threads then include Wine's own, which are listed
like the rest.
"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tests", "e2e"))
import harness  # noqa: E402

SCENARIO = "bench20.json"
KEY = "bench-shared-key"
TICKS = os.sysconf("SC_CLK_TCK")


def read(path):
    with open(path, "rb") as f:
        return f.read().decode(errors="replace")


def status_field(text, name):
    for line in text.splitlines():
        if line.startswith(name + ":"):
            return line.split(":", 1)[1].split()[0]
    return "0"


def snapshot(pid):
    """Threads' switches by tid, with their names; CPU seconds; RSS KiB; fds."""
    threads = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            status = read(f"/proc/{pid}/task/{tid}/status")
            name = read(f"/proc/{pid}/task/{tid}/comm").strip()
        except OSError:
            continue
        threads[tid] = (name, int(status_field(status, "voluntary_ctxt_switches")) +
                        int(status_field(status, "nonvoluntary_ctxt_switches")))
    fields = read(f"/proc/{pid}/stat").rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / TICKS
    rss = int(status_field(read(f"/proc/{pid}/status"), "VmRSS"))
    fds = len(os.listdir(f"/proc/{pid}/fd"))
    return threads, cpu, rss, fds


def assistant_pid(product):
    """The process that runs the assistant (under Wine: not the cmd wrapper)."""
    for pid in product.own_pids(harness.ASSISTANT):
        if not product._is_wrapper(pid):
            return pid
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--simulator", required=True)
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--seconds", type=int, default=60)
    options = parser.parse_args()

    product = harness.Product(options.bin, wine=options.wine)
    # Plain HTTP, as the figures of docs/wire_formats.md were taken.
    simulator = harness.Simulator(options.simulator, product.top, product.bin_dir, https=False)
    try:
        simulator.start(harness.load_scenario(SCENARIO, crypt_key=KEY))
        product.install_files()
        code, out = product.install_packet(simulator)
        if code != 0 or not harness.wait_until(lambda: product.config().get("CheckUrl"), 60):
            raise RuntimeError(f"installation failed (exit {code}): {out.strip()}")
        product.stop_assistants()
        mark = simulator.last_seq()
        product.start_assistant("-logon")
        if not harness.wait_until(lambda: any(
                r["seq"] > mark and r.get("trade") == "ReportCheckResult"
                for r in simulator.records()), 180):
            raise RuntimeError("no ReportCheckResult within 180 s")
        pid = assistant_pid(product)
        if pid is None:
            raise RuntimeError("the assistant is not running after its pass")
        time.sleep(5)  # the pass's last pages and threads settle
        before = snapshot(pid)
        time.sleep(options.seconds)
        after = snapshot(pid)
    finally:
        product.stop_assistants()
        simulator.stop()
        product.remove()

    seconds = options.seconds
    rows = []
    for tid, (name, switches) in after[0].items():
        start = before[0].get(tid, (name, 0))[1]
        rows.append((switches - start, tid, name))
    rows.sort(reverse=True)
    kind = "Wine" if options.wine else "native"
    total = sum(r[0] for r in rows)
    print(f"idle footprint ({kind}, {os.path.basename(os.path.dirname(options.bin))} build), "
          f"{seconds} s after the logon pass:")
    for wakeups, tid, name in rows:
        print(f"  thread {tid:>7} {name:<16} {wakeups / seconds:8.2f} wakeups/s")
    print(f"  all {len(rows)} threads: {total / seconds:.2f} wakeups/s ({total * 60 / seconds:.0f} "
          f"per minute); CPU {(after[1] - before[1]) * 1e3:.0f} ms; "
          f"RSS {before[2] / 1024:.1f} -> {after[2] / 1024:.1f} MiB; "
          f"threads {len(before[0])} -> {len(after[0])}; fds {before[3]} -> {after[3]}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
