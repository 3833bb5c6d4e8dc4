#!/usr/bin/env python3
"""Mutation testing for this tree: plants one change at a time in the named
sources, rebuilds what links them in a private copy of the tree and runs the
suites that link them.

  mutate.py [path...] [--budget N] [--seed S] [--jobs J] [--tree PATH]...

A mutant is killed when a suite fails, timed out when one hangs, survived
when every suite passes, and "no compile" when the change does not build.
Results are cached by the file's content: a killed mutant stays killed until
its file changes; a survivor is run again when its file or the tests change.
"""

import argparse
import dataclasses
import fcntl
import json
import os
import random
import re
import signal
import sys
import threading
import time

# Nothing is written into the checkout, compiled modules included.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import mutants as mutation  # noqa: E402
from workspace import Workspace, digest, tracked_files  # noqa: E402

SOURCE_SUFFIXES = (".cpp", ".cc", ".c")
# A small file whose own suite is quick to build and run.
SMOKE_FILE = "cutil/text.cpp"
SMOKE_SUITES = "^cutil$"
STATUSES = ("killed", "timeout", "survived", "no compile", "equivalent", "not run")


def parse_args(argv):
    p = argparse.ArgumentParser(prog="quarn mutate", description=__doc__.split("\n\n")[0])
    p.add_argument("paths", nargs="*", default=["autocheck"], help="files or folders (default: autocheck)")
    p.add_argument("--budget", type=int, default=None,
                   help="a sample of N mutants, the same for the same seed and sources")
    p.add_argument("--seed", type=int, default=1, help="which mutants the budget picks")
    p.add_argument("--rev", default="HEAD", help="the commit whose sources are copied (default HEAD)")
    p.add_argument("--jobs", type=int, default=1, help="mutants at once, each in a workspace of its own (at most 2)")
    p.add_argument("--tree", action="append", default=[],
                   help="take this path from the working tree instead of the last commit ('.' for all)")
    p.add_argument("--run-with", default=os.environ.get("QUARN_MUTATE_RUN_WITH", ""),
                   help="a command put before each suite run")
    p.add_argument("--suites", default="", help="only the suites whose name matches this expression")
    p.add_argument("--no-cache", action="store_true", help="run every mutant again")
    p.add_argument("--cached-only", action="store_true",
                   help="only the mutants an earlier run tried on this content (to measure again after new tests)")
    p.add_argument("--list", action="store_true", help="print the mutants and stop")
    p.add_argument("--smoke", action="store_true",
                   help="the operators' own tests, then five mutants of one small file against its suite")
    p.add_argument("--build-root", default=os.environ.get("QUARN_BUILD_ROOT"))
    p.add_argument("--source-root", default=os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
    return p.parse_args(argv)


# --- what is mutated ---------------------------------------------------------

def select_sources(files, paths):
    chosen = []
    for path in paths:
        path = path.rstrip("/")
        if path in files:
            chosen.append(path)
            continue
        chosen += sorted(f for f in files if f.startswith(path + "/") and f.endswith(SOURCE_SUFFIXES))
    return list(dict.fromkeys(chosen))


def load_equivalents(files):
    """The survivors docs/testing.md explains (equivalent, or not worth a
    test): rows of its table | file | `line` | `before` → `after` | why |."""
    text = files.get("docs/testing.md", b"").decode(errors="replace")
    found = set()
    for row in text.splitlines():
        cells = [c.strip().replace("\\|", "|") for c in re.split(r"(?<!\\)\|", row.strip().strip("|"))]
        if len(cells) < 4 or "→" not in cells[2]:
            continue
        before, after = (c.strip().strip("`") for c in cells[2].split("→", 1))
        found.add((cells[0], cells[1].strip("`"), before, after))
    return found


def shown(text):
    return " ".join(text.split())


# --- the cache -----------------------------------------------------------------

class Cache:
    """{file: {content digest: {mutant key: [status, tests digest]}}}"""

    def __init__(self, path, enabled):
        self.path = path
        self.enabled = enabled
        self.data = {}
        self.lock = threading.Lock()
        if enabled and os.path.exists(path):
            with open(path) as f:
                self.data = json.load(f)

    def get(self, name, content, key, tests):
        if not self.enabled:
            return None
        entry = self.data.get(name, {}).get(content, {}).get(key)
        if not entry:
            return None
        status, tests_then = entry
        # A survivor (or a hang) may be killed by a test added since.
        if status in ("survived", "timeout") and tests_then != tests:
            return None
        return status

    def tried(self, name, content, key):
        """Whether an earlier run tried this change of this line (in any
        spelling of the operator's replacement)."""
        def place(k):
            fields = k.split("|")
            return fields[0], fields[1], fields[-1]
        return place(key) in {place(k) for k in self.data.get(name, {}).get(content, {})}

    def put(self, name, content, key, status, tests):
        # Runs in other workspaces write the same file: merge under a lock.
        with self.lock, open(self.path + ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            data = {}
            if os.path.exists(self.path):
                with open(self.path) as f:
                    data = json.load(f)
            per_file = data.setdefault(name, {})
            per_file.setdefault(content, {})[key] = [status, tests]
            # A few contents per file: another commit's runs keep theirs.
            for old in list(per_file)[:-4]:
                del per_file[old]
            tmp = self.path + ".tmp"
            with open(tmp, "w") as f:
                json.dump(data, f)
            os.replace(tmp, self.path)
            if self.enabled:
                self.data = data


# --- running ---------------------------------------------------------------------

class Worker:
    def __init__(self, ws, files, log, suite_filter=""):
        self.ws = ws
        self.suite_filter = re.compile(suite_filter)
        self.files = files
        self.log = log
        self.ready = False
        self.baseline = {}  # suite -> seconds, or None when it fails unmutated
        self.suites = {}    # file -> suites in the order they are tried
        self.kills = {}     # (file, suite) -> mutants it killed

    def prepare(self):
        if self.ready:
            return True
        changed = self.ws.sync(self.files)
        self.log(f"workspace {self.ws.dir}: {changed} files refreshed")
        code, out = self.ws.configure()
        if code != 0:
            self.log("configure failed:\n" + out[-3000:])
            return False
        self.ready = True
        return True

    def suites_for(self, name):
        if name in self.suites:
            return self.suites[name]
        suites = [s for s in self.ws.suites_linking(name) if self.suite_filter.search(s)]
        targets = [self.ws.query_tests()[s] for s in suites]
        if suites:
            self.log(f"{name}: building {len(targets)} suite programs")
            ok, out = self.ws.ninja(targets)
            if not ok:
                self.log(f"{name}: the unchanged tree does not build:\n" + out[-3000:])
                self.suites[name] = []
                return []
        area = os.path.dirname(name).replace("/", "_")
        usable = []
        for suite in suites:
            if suite not in self.baseline:
                status, out, seconds = self.ws.run_suite(suite, 900)
                if status != "pass":  # once more: a loaded machine makes some tests stumble
                    status, out, seconds = self.ws.run_suite(suite, 900)
                self.baseline[suite] = seconds if status == "pass" else None
                self.log(f"baseline {suite}: {status} in {seconds:.1f} s")
                if status != "pass":
                    self.log(out[-2000:])
            if self.baseline[suite] is not None:
                usable.append(suite)
        # The suite of the file's own area first, then the quickest.
        usable.sort(key=lambda s: (not s.endswith(area) and area not in s, self.baseline[s]))
        self.suites[name] = usable
        return usable

    def run(self, m, original):
        status = self.run_once(m, original)
        if status == "no compile" and m.operator == "string" and m.after == '""':
            # A format may not be empty: the same text lost, as an argument.
            status = self.run_once(dataclasses.replace(m, after='"%s", ""'), original)
        return status

    def run_once(self, m, original):
        suites = self.suites_for(m.path)
        if not suites:
            return "not run"
        order = sorted(suites, key=lambda s: -self.kills.get((m.path, s), 0))
        self.ws.write(m.path, m.apply(original).encode())
        try:
            for index, suite in enumerate(order):
                ok, out = self.ws.ninja([self.ws.query_tests()[suite]], timeout=1800)
                if not ok:
                    return "no compile" if index == 0 else "not run"
                limit = max(30.0, 3 * self.baseline[suite] + 10)
                status, _, _ = self.ws.run_suite(suite, limit)
                if status == "fail":
                    self.kills[(m.path, suite)] = self.kills.get((m.path, suite), 0) + 1
                    return "killed"
                if status == "timeout":
                    return "timeout"
            return "survived"
        finally:
            self.ws.write(m.path, original.encode())


def open_workspaces(args, count):
    spaces = []
    slot = 1
    while len(spaces) < count and slot <= 8:
        ws = Workspace(args.source_root, args.build_root, slot, run_with=args.run_with,
                       ninja_jobs=2 if count == 1 else 1)
        if ws.acquire():
            spaces.append(ws)
        slot += 1
    return spaces


# --- reporting ---------------------------------------------------------------------

def score(counts):
    tested = counts["killed"] + counts["timeout"] + counts["survived"]
    return 100.0 * (counts["killed"] + counts["timeout"]) / tested if tested else None


def table(rows, first):
    head = [first, "mutants", "killed", "timeout", "survived", "no compile", "equivalent", "not run", "score"]
    lines = [head]
    for name, counts in rows:
        s = score(counts)
        lines.append([name, str(sum(counts.values()))] + [str(counts[k]) for k in STATUSES]
                     + ["-" if s is None else f"{s:.1f}%"])
    widths = [max(len(r[i]) for r in lines) for i in range(len(head))]
    out = []
    for i, r in enumerate(lines):
        out.append("  ".join(c.ljust(widths[j]) if j == 0 else c.rjust(widths[j]) for j, c in enumerate(r)))
        if i == 0:
            out.append("  ".join("-" * w for w in widths))
    return "\n".join(out)


def report(results, survivors_path, out=sys.stdout):
    per_file, per_folder, total = {}, {}, dict.fromkeys(STATUSES, 0)
    for m, status in results:
        for bucket in (per_file.setdefault(m.path, dict.fromkeys(STATUSES, 0)),
                       per_folder.setdefault(os.path.dirname(m.path), dict.fromkeys(STATUSES, 0)), total):
            bucket[status] += 1
    print(table(sorted(per_file.items()), "file"), file=out)
    print(file=out)
    print(table(sorted(per_folder.items()) + [("all", total)], "folder"), file=out)
    s = score(total)
    print(f"\nmutation score: {'-' if s is None else f'{s:.1f}%'} "
          f"({total['killed'] + total['timeout']} killed of {total['killed'] + total['timeout'] + total['survived']}, "
          f"{total['equivalent']} equivalent)", file=out)
    lines = []
    for m, status in sorted(results, key=lambda r: (r[0].path, r[0].line)):
        if status in ("survived", "timeout"):
            lines.append(f"{m.path}:{m.line}: {m.operator}{' (timed out)' if status == 'timeout' else ''}: "
                         f"{shown(m.before)} → {shown(m.after)}\n"
                         f"    before: {shown(m.line_text)}\n    after:  {m.line_after}\n")
    with open(survivors_path, "w") as f:
        f.write("".join(lines))
    print(f"survivors: {survivors_path} ({total['survived']} survived, {total['timeout']} timed out)", file=out)
    return total


def interrupt(signum, frame):
    raise KeyboardInterrupt


def main(argv):
    # Ended by a signal, a run still undoes its planted change (a job started
    # in the background ignores SIGINT: SIGTERM does the same).
    signal.signal(signal.SIGTERM, interrupt)
    args = parse_args(argv)
    if args.smoke:
        import unittest
        suite = unittest.defaultTestLoader.loadTestsFromName("mutants_test")
        if not unittest.TextTestRunner(verbosity=0).run(suite).wasSuccessful():
            return 1
        args.paths, args.budget, args.suites, args.no_cache = [SMOKE_FILE], 5, SMOKE_SUITES, True
    if not args.build_root:
        args.build_root = os.path.join(args.source_root, "build")
    args.build_root = os.path.abspath(args.build_root)
    jobs = max(1, min(args.jobs, 2))
    started = time.monotonic()
    log_lock = threading.Lock()

    def log(text):
        with log_lock:
            print(f"[{time.monotonic() - started:6.0f}s] {text}", file=sys.stderr, flush=True)

    files = tracked_files(args.source_root, args.rev)
    for path in args.tree:
        tree = tracked_files(args.source_root)
        files.update({k: v for k, v in tree.items() if path == "." or k == path or k.startswith(path.rstrip("/") + "/")})
    sources = select_sources(files, args.paths)
    if not sources:
        print("no source files under " + " ".join(args.paths), file=sys.stderr)
        return 2
    # The checkout's own list: the latest judgement, whichever commit is copied.
    with open(os.path.join(args.source_root, "docs", "testing.md"), "rb") as f:
        equivalents = load_equivalents({"docs/testing.md": f.read()})
    tests_digest = digest(b"".join(k.encode() + files[k] for k in sorted(files) if k.startswith("tests/")
                                   and not k.startswith("tests/mutate/")))

    everything = []
    for name in sources:
        everything += mutation.generate(name, files[name].decode())
    if args.list:
        for m in everything:
            print(f"{m.path}:{m.line}: {m.operator}: {shown(m.before)} → {shown(m.after)}")
        return 0

    os.makedirs(os.path.join(args.build_root, "mutate"), exist_ok=True)
    cache = Cache(os.path.join(args.build_root, "mutate", "cache.json"), not args.no_cache)
    results, pending = [], []
    # The sample is drawn before the cache is read: a second run with the
    # same seed looks at the same mutants and runs only what changed.
    order = list(everything)
    random.Random(args.seed).shuffle(order)
    if args.cached_only:
        tried = [m for m in order if cache.tried(m.path, digest(files[m.path]), m.key())]
        results += [(m, "not run") for m in order if m not in tried]
        order = tried
    if args.budget is not None:
        results += [(m, "not run") for m in order[args.budget :]]
        order = order[: args.budget]
    for m in order:
        content = digest(files[m.path])
        if (m.path, m.line_text, shown(m.before), shown(m.after)) in equivalents:
            results.append((m, "equivalent"))
            continue
        status = cache.get(m.path, content, m.key(), tests_digest)
        if status:
            results.append((m, status))
        else:
            pending.append(m)
    known = len(order) - len(pending)
    # A file at a time: its suites are found and built once.
    file_order = {name: i for i, name in enumerate(sources)}
    pending.sort(key=lambda m: (file_order[m.path], m.start))
    log(f"{len(everything)} mutants in {len(sources)} files: {len(pending)} to run, {known} known "
        f"(cache or equivalent), {len(everything) - len(order)} left out by the budget")

    spaces = open_workspaces(args, jobs) if pending else []
    if pending and not spaces:
        print("every workspace is in use by another run", file=sys.stderr)
        return 2
    workers = [Worker(ws, files, log, args.suites) for ws in spaces]
    queue = list(pending)
    queue_lock = threading.Lock()
    done = []
    stop = threading.Event()

    def work(worker):
        if not worker.prepare():
            return
        while True:
            with queue_lock:
                if not queue:
                    return
                # Stay on one file while it has mutants left.
                m = next((q for q in queue if q.path in worker.suites), queue[0])
                queue.remove(m)
            t0 = time.monotonic()
            status = worker.run(m, files[m.path].decode())
            if stop.is_set():
                return  # its suite was ended by us, not by the mutant
            with queue_lock:
                done.append((m, status))
            if status != "not run":
                cache.put(m.path, digest(files[m.path]), m.key(), status, tests_digest)
            log(f"{len(done)}/{len(pending)} {m.path}:{m.line} {m.operator} "
                f"{shown(m.before)[:40]} → {shown(m.after)[:40]}: {status} ({time.monotonic() - t0:.0f} s)")

    threads = [threading.Thread(target=work, args=(w,), daemon=True) for w in workers]
    try:
        for t in threads:
            t.start()
        while any(t.is_alive() for t in threads):
            for t in threads:
                t.join(0.5)
    except KeyboardInterrupt:
        log("interrupted: undoing the planted change")
        stop.set()
        with queue_lock:
            queue.clear()
        for w in workers:
            w.ws.kill()
        for t in threads:
            t.join(60)
    finally:
        for w in workers:
            w.ws.restore(sources, files)
            w.ws.release()

    ran = {id(m) for m, _ in done}
    results += done + [(m, "not run") for m in pending if id(m) not in ran]
    total = report(results, os.path.join(args.build_root, "mutate", "survivors.txt"))
    log(f"done in {time.monotonic() - started:.0f} s")
    broken = [w for w in workers if not w.ready]
    if args.smoke and (broken or any(status == "not run" for _, status in done) or len(done) != len(pending)):
        return 1
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
