"""The fleet's scenarios, in the order they run, each printing its table.

Every endpoint is told apart in the simulator's record by the address its
exchanges came from. Every wait is bounded; a scenario that does not hold
raises AssertionError with what was missing.
"""

import collections
import datetime
import errno
import json
import os
import statistics
import time

import harness  # tests/e2e, on the path fleet.py sets
import netns

HEARTBEATS = ("HeartTest", "ComputerWakeup")
PASS_SECONDS = 5  # the agent's working thread runs a pass every 5 s
CLK_TCK = os.sysconf("SC_CLK_TCK")


def record_seconds(text):
    """Seconds since 1970 of a record's "time" (UTC, milliseconds)."""
    moment = datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ")
    return moment.replace(tzinfo=datetime.timezone.utc).timestamp()


def source(record):
    return record.get("from", "").rsplit(":", 1)[0]


def table(title, headers, rows):
    cells = [[str(c) for c in headers]] + [[str(c) for c in row] for row in rows]
    widths = [max(len(row[i]) for row in cells) for i in range(len(headers))]
    print(f"\n{title}")
    for k, row in enumerate(cells):
        print("  " + "  ".join(c.rjust(w) for c, w in zip(row, widths)))
        if k == 0:
            print("  " + "  ".join("-" * w for w in widths))
    print(flush=True)


def spread(values):
    """min / median / max, or "-" for none."""
    if not values:
        return "-"
    return f"{min(values):g} / {statistics.median(values):g} / {max(values):g}"


def peak_rate(records, since, until=None):
    """The most records in one second from `since`, and that second's offset."""
    counts = collections.Counter(int(r["t"] - since) for r in records
                                 if r["t"] >= since and (until is None or r["t"] < until))
    return max(counts.values(), default=0), max(counts, key=counts.get, default=0)


def process_metrics(pid):
    """RSS (KiB), threads, open descriptors and CPU seconds of a process; None when gone."""
    try:
        with open(f"/proc/{pid}/status") as f:
            status = dict(line.split(":", 1) for line in f if ":" in line)
        with open(f"/proc/{pid}/stat", "rb") as f:
            fields = f.read().rsplit(b")", 1)[1].split()
        return {"rss_kib": int(status["VmRSS"].split()[0]), "threads": int(status["Threads"]),
                "fds": len(os.listdir(f"/proc/{pid}/fd")),
                "cpu": (int(fields[11]) + int(fields[12])) / CLK_TCK}
    except (OSError, KeyError, IndexError, ValueError):
        return None


def machine_cpu(fleet):
    """CPU seconds of every process on each Wine endpoint's machine (its
    wineserver and Wine's services with the assistant): {index: seconds}."""
    total = {}
    for e in fleet.endpoints:
        if e.wine:
            taken = [process_metrics(p) for p in netns.namespace_pids([e.namespace])]
            total[e.index] = sum(m["cpu"] for m in taken if m)
    return total


def snapshot(fleet):
    taken = {k: process_metrics(pid) for k, pid in fleet.assistants().items()}
    return time.time(), {k: v for k, v in taken.items() if v}


def wait_for(condition, seconds, step=1.0):
    return harness.wait_until(condition, seconds, step)


def new_records(simulator, mark):
    return simulator.records.update()[mark:]


# --- 1. logon storm ---------------------------------------------------------


def release(gate, fleet, seconds=10):
    """Opens the gate until every endpoint's assistant runs; the time it took."""
    started = time.time()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            os.close(os.open(gate, os.O_WRONLY | os.O_NONBLOCK))
        except OSError as error:
            if error.errno != errno.ENXIO:  # no reader at the gate just now
                raise
        if len(fleet.assistants()) == len(fleet.endpoints):
            return time.time() - started
        time.sleep(0.02)
    raise AssertionError(f"only {len(fleet.assistants())} assistants started within {seconds} s")


def logon_storm(fleet):
    sim, endpoints, n = fleet.simulator, fleet.endpoints, len(fleet.endpoints)
    gate = os.path.join(fleet.folder, "gate")
    arrivals = os.path.join(fleet.folder, "arrived")
    os.mkfifo(gate)
    os.mkdir(arrivals)
    mark = len(sim.records.update())
    for endpoint in endpoints:
        endpoint.start_logon((gate, os.path.join(arrivals, endpoint.hostname)))
    if not wait_for(lambda: len(os.listdir(arrivals)) == n, 60, 0.1):
        raise AssertionError(f"only {len(os.listdir(arrivals))} starts reached the gate")
    time.sleep(0.3)  # from the arrival note to the FIFO's open
    bytes0 = fleet.network.veth_bytes()
    t0 = time.time()
    wine = sum(1 for e in endpoints if e.wine)
    opening = release(gate, fleet, 10 + 5 * wine)
    limit = 120 + n + 30 * wine

    def reports():
        found = {}
        for r in new_records(sim, mark):
            if r["kind"] == "udp" and r.get("trade") == "ReportCheckResult":
                found.setdefault(source(r), r)
        return found if len(found) >= n else None

    wait_for(reports, limit)
    bytes1 = fleet.network.veth_bytes()
    records = new_records(sim, mark)
    found = {}
    for r in records:
        if r["kind"] == "udp" and r.get("trade") == "ReportCheckResult":
            found.setdefault(source(r), r)
    failed = []
    for e in endpoints:
        report = found.get(e.address)
        if report is None:
            last = [r for r in records if source(r) == e.address]
            why = (f"no report; last exchange {last[-1].get('trade') or last[-1].get('path')}"
                   if last else "no exchange at all")
            failed.append((e.hostname, why))
        elif report.get("result") != "success":
            failed.append((e.hostname, f"reported {report.get('result')} {report.get('score')}"))
    firsts = [min((r["t"] for r in records if source(r) == e.address), default=None)
              for e in endpoints]
    last_report = max((r["t"] for r in found.values()), default=t0) - t0
    peak, second = peak_rate(records, t0)
    result = {"n": n, "gate_open_s": round(opening, 3),
              "first_contact_spread_s": round(max(f for f in firsts if f) - min(f for f in firsts if f), 2)
              if any(firsts) else None,
              "last_report_s": round(last_report, 2), "exchanges": len(records),
              "peak_exchanges_per_s": peak, "peak_second": second,
              "reported": len(found), "failed": failed,
              "bytes_per_endpoint": round(sum(bytes1.get(e.index, 0) - bytes0.get(e.index, 0)
                                              for e in endpoints) / n)}
    table(f"1. logon storm: {n} endpoints started within {opening:.2f} s",
          ["endpoints", "reported success", "failed", "last report (s)", "exchanges",
           "peak exchanges/s (at s)", "first contacts within (s)", "bytes per endpoint"],
          [[n, n - len(failed), len(failed), f"{last_report:.1f}", len(records),
            f"{peak} (at {second})", result["first_contact_spread_s"],
            result["bytes_per_endpoint"]]])
    for host, why in failed[:20]:
        print(f"  failed: {host}: {why}")
    fleet.first_snapshot = snapshot(fleet)
    fleet.storm = {"t0": t0, "reports": {a: r["t"] - t0 for a, r in found.items()},
                   "bytes": {e.index: bytes1.get(e.index, 0) - bytes0.get(e.index, 0)
                             for e in endpoints},
                   "machine_cpu": machine_cpu(fleet)}
    assert not failed, f"{len(failed)} endpoints failed the logon storm: {failed[:5]}"
    return result


# --- 2. steady state --------------------------------------------------------


def steady_state(fleet):
    sim, endpoints, n = fleet.simulator, fleet.endpoints, len(fleet.endpoints)
    seconds = fleet.options.steady
    interval = fleet.options.auth_interval
    period = max(interval * 60, PASS_SECONDS)
    # Settle: the storm's checks and their pages are over.
    time.sleep(min(10, seconds))
    mark = len(sim.records.update())
    bytes0 = fleet.network.veth_bytes()
    t0, before = snapshot(fleet)
    server0 = process_metrics(sim.process.pid)
    end = t0 + seconds
    while time.time() < end:
        time.sleep(min(10, max(0.1, end - time.time())))
    t1, after = snapshot(fleet)
    server1 = process_metrics(sim.process.pid)
    bytes1 = fleet.network.veth_bytes()
    hours = (t1 - t0) / 3600
    window = [r for r in new_records(sim, mark) if t0 <= r["t"] < t1]
    per_endpoint = collections.Counter(source(r) for r in window)
    exchanges = [per_endpoint.get(e.address, 0) / hours for e in endpoints]
    traffic = [(bytes1.get(e.index, 0) - bytes0.get(e.index, 0)) / hours for e in endpoints]
    cpu = [(after[k]["cpu"] - before[k]["cpu"]) / hours for k in before if k in after]
    fleet.steady = {"exchanges": {e.index: x for e, x in zip(endpoints, exchanges)},
                    "bytes": {e.index: x for e, x in zip(endpoints, traffic)},
                    "cpu": {k: (after[k]["cpu"] - before[k]["cpu"]) / hours
                            for k in before if k in after}}
    beats = [r for r in window if r.get("trade") in HEARTBEATS]
    beating = {source(r) for r in beats}
    # In step or not: each heartbeat's place within the period, in seconds.
    phases = sorted((r["t"] - t0) % period for r in beats)
    rounds = collections.defaultdict(list)
    for r in beats:
        rounds[int((r["t"] - t0) // period)].append(r["t"] - t0)
    round_rows = [[k, len(v), f"{min(v):.1f}", f"{max(v):.1f}", f"{max(v) - min(v):.1f}"]
                  for k, v in sorted(rounds.items())]
    per_second = collections.Counter(int(p) for p in phases)
    mean = len(beats) / period if beats else 0
    result = {"n": n, "seconds": round(t1 - t0), "auth_interval_min": interval,
              "exchanges_per_endpoint_hour": round(statistics.mean(exchanges), 1),
              "bytes_per_endpoint_hour": round(statistics.mean(traffic)),
              "assistant_cpu_s_per_hour": round(statistics.mean(cpu), 3) if cpu else None,
              "server_cpu_s_per_hour": round((server1["cpu"] - server0["cpu"]) / hours, 2)
              if server0 and server1 else None,
              "heartbeats": len(beats), "heartbeat_peak_per_s": max(per_second.values(), default=0),
              "heartbeat_mean_per_s": round(mean, 2), "rounds": round_rows}
    table(f"2. steady state: {n} endpoints, {t1 - t0:.0f} s, AuthInterval {interval} min",
          ["per endpoint and hour", "min / median / max"],
          [["exchanges", spread([round(x) for x in exchanges])],
           ["bytes on its link", spread([round(x) for x in traffic])],
           ["assistant CPU (s)", spread([round(x, 2) for x in cpu])]])
    table("   heartbeats: when they came, per round of the heartbeat period"
          f" ({period} s); server CPU {result['server_cpu_s_per_hour']} s/h",
          ["round", "heartbeats", "first (s)", "last (s)", "spread (s)"], round_rows[:12])
    print(f"  heartbeats per second within the period: peak {result['heartbeat_peak_per_s']}, "
          f"mean {result['heartbeat_mean_per_s']}\n", flush=True)
    silent = [e.hostname for e in endpoints if e.address not in beating]
    if seconds >= 2 * period:
        assert not silent, f"no heartbeat from {silent[:5]}"
    return result


# --- 3. push fan-out --------------------------------------------------------


def push_fanout(fleet):
    sim, endpoints, n = fleet.simulator, fleet.endpoints, len(fleet.endpoints)
    wait = min(600, 120 + n)
    rows, result = [], {"n": n}
    for command, elements, trade in (("DoSecurityCheck", {}, "ReportCheckResult"),
                                     ("ShowUserOneMsg", {"Msg": "fleet notice"}, None)):
        mark = len(sim.records.update())
        t0 = time.time()
        code, answer = sim.push_all(command, wait, **elements)
        t1 = time.time()
        if trade:
            # The agent may answer before its cycle ends: the reports are awaited too.
            wait_for(lambda: len({source(r) for r in new_records(sim, mark)
                                  if r.get("trade") == trade}) >= n, wait)
        records = new_records(sim, mark)
        answered = [r["t"] for r in records if r["kind"] == "push" and r.get("answered")]
        reports = {}
        if trade:
            for r in records:
                if r["kind"] == "udp" and r.get("trade") == trade:
                    reports.setdefault(source(r), r["t"])
        last_answer = max(answered, default=t0) - t0
        last_report = max(reports.values(), default=t0) - t0 if trade else None
        result[command] = {"devices": answer.get("devices"), "sent": answer.get("sent_count"),
                           "answered": answer.get("answered_count"),
                           "results": answer.get("results"), "unanswered": answer.get("unanswered"),
                           "last_answer_s": round(last_answer, 2), "push_all_s": round(t1 - t0, 2),
                           "last_report_s": round(last_report, 2) if trade else None,
                           "reports": len(reports)}
        rows.append([command, answer.get("devices"), answer.get("sent_count"),
                     answer.get("answered_count"), f"{last_answer:.1f}",
                     f"{last_report:.1f} ({len(reports)})" if trade else "-",
                     json.dumps(answer.get("results"))])
        if code != 0 or answer.get("answered_count") != n:
            table_rows = rows
            table("3. push fan-out", ["command", "devices", "sent", "answered", "last answer (s)",
                                      "last report (s) (reports)", "results"], table_rows)
            raise AssertionError(f"{command}: {answer}")
    table(f"3. push fan-out to {n} endpoints", ["command", "devices", "sent", "answered",
                                                "last answer (s)", "last report (s) (reports)",
                                                "results"], rows)
    return result


# --- 4. server outage -------------------------------------------------------


def server_outage(fleet):
    sim, endpoints, n = fleet.simulator, fleet.endpoints, len(fleet.endpoints)
    seconds = fleet.options.outage
    # The restarted server keeps its device table, as a server with a database does.
    state = json.loads(sim.get("/admin/state"))
    devices = [{"id": d["id"], "name": d["name"], "computer_name": d["name"],
                "address": d["address"]} for d in state["devices"]]
    ids = [int(d["id"]) for d in devices if d["id"].isdigit()]
    scenario = dict(fleet.scenario, devices=devices, first_device_id=max(ids, default=1000) + 1)
    bytes0 = fleet.network.veth_bytes()
    sim.stop()
    stopped = time.time()
    while time.time() < stopped + seconds:
        time.sleep(min(5, max(0.1, stopped + seconds - time.time())))
    bytes1 = fleet.network.veth_bytes()
    sim.start(scenario)
    t0 = time.time()
    limit = max(fleet.options.auth_interval * 60, PASS_SECONDS) + 180

    def answered():
        back = {source(r) for r in sim.records.update() if r["kind"] == "udp" and "reply" in r}
        return back if all(e.address in back for e in endpoints) else None

    wait_for(answered, limit)
    records = sim.records.update()
    firsts = {}
    for r in records:
        if r["kind"] == "udp" and "reply" in r:
            firsts.setdefault(source(r), r["t"])
    missing = [e.hostname for e in endpoints if e.address not in firsts]
    last = max(firsts.values(), default=t0) - t0
    peak, second = peak_rate(records, t0, t0 + 120)
    trades = collections.Counter(r.get("trade") or r.get("kind") for r in records
                                 if r["t"] < t0 + last + 1)
    during = sum(bytes1.get(e.index, 0) - bytes0.get(e.index, 0) for e in endpoints)
    result = {"n": n, "outage_s": seconds, "all_back_s": round(last, 2), "missing": missing,
              "peak_requests_per_s": peak, "peak_second": second,
              "bytes_during_outage_per_endpoint": round(during / n),
              "exchanges_until_all_back": dict(trades)}
    table(f"4. server outage: {seconds} s, then back",
          ["endpoints", "answered again", "all back after (s)", "peak requests/s (at s)",
           "bytes sent per endpoint while down", "exchanges until all back"],
          [[n, n - len(missing), f"{last:.1f}", f"{peak} (at {second})", result[
              "bytes_during_outage_per_endpoint"], json.dumps(dict(trades))]])
    assert not missing, f"not back after {limit} s: {missing[:5]}"
    return result


# --- endpoint cost ----------------------------------------------------------


def endpoint_cost(fleet):
    t0, first = fleet.first_snapshot
    t1, last = snapshot(fleet)
    hours = (t1 - t0) / 3600
    rows = []
    result = {}
    for name, key in (("RSS (KiB)", "rss_kib"), ("threads", "threads"), ("fds", "fds")):
        a = [v[key] for v in first.values()]
        b = [v[key] for v in last.values()]
        rows.append([name, spread(a), spread(b)])
        result[key] = {"start": spread(a), "end": spread(b)}
    cpu = [(last[k]["cpu"] - first[k]["cpu"]) / hours for k in first if k in last]
    rows.append(["CPU s per hour", "-", spread([round(c, 2) for c in cpu])])
    result["cpu_s_per_hour"] = spread([round(c, 2) for c in cpu])
    result["alive"] = f"{len(last)} of {len(fleet.endpoints)}"
    table(f"per endpoint (assistant process) after the storm and at the end, {t1 - t0:.0f} s "
          f"apart; {result['alive']} alive", ["", "start: min / median / max",
                                              "end: min / median / max"], rows)
    assert len(last) == len(fleet.endpoints), f"only {result['alive']} assistants alive"
    return result


# --- Wine share -------------------------------------------------------------


def wine_share(fleet):
    """The figures above split by kind: native endpoints and those under Wine."""
    wine = [e for e in fleet.endpoints if e.wine]
    if not wine or not hasattr(fleet, "first_snapshot"):
        return None
    t1, last = snapshot(fleet)
    kinds = [("native", [e for e in fleet.endpoints if not e.wine]), ("Wine", wine)]
    storm = getattr(fleet, "storm", {})
    steady = getattr(fleet, "steady", {})
    t0, first = fleet.first_snapshot
    hours = (t1 - t0) / 3600
    machines = machine_cpu(fleet)
    rows, result = [], {}

    def column(values):
        return spread([round(v, 2) for v in values if v is not None])

    for name, take in (
            ("storm: report after (s)", lambda e: storm.get("reports", {}).get(e.address)),
            ("storm: bytes on its link", lambda e: storm.get("bytes", {}).get(e.index)),
            ("steady: exchanges per hour", lambda e: steady.get("exchanges", {}).get(e.index)),
            ("steady: bytes per hour", lambda e: steady.get("bytes", {}).get(e.index)),
            ("steady: assistant CPU s/h", lambda e: steady.get("cpu", {}).get(e.index)),
            ("whole run: assistant CPU s/h",
             lambda e: (last[e.index]["cpu"] - first[e.index]["cpu"]) / hours
             if e.index in first and e.index in last else None),
            ("whole run: machine CPU s/h (wineserver, services)",
             lambda e: (machines[e.index] - storm["machine_cpu"][e.index]) / hours
             if e.index in machines and e.index in storm.get("machine_cpu", {}) else None),
            ("end: RSS (KiB)", lambda e: last.get(e.index, {}).get("rss_kib")),
            ("end: threads", lambda e: last.get(e.index, {}).get("threads")),
            ("end: fds", lambda e: last.get(e.index, {}).get("fds"))):
        cells = [column([take(e) for e in members]) for _, members in kinds]
        for (kind, _), cell in zip(kinds, cells):
            result.setdefault(kind, {})[name] = cell
        rows.append([name] + cells)
    table(f"Wine share: {len(kinds[0][1])} native and {len(wine)} Wine endpoints "
          "(min / median / max)", ["", "native", "Wine"], rows)
    return result


ALL = [("logon_storm", logon_storm), ("steady_state", steady_state),
       ("push_fanout", push_fanout), ("server_outage", server_outage),
       ("endpoint_cost", endpoint_cost), ("wine_share", wine_share)]
