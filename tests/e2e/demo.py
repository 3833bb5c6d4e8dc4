"""One admission pass, shown: install against the simulator, log on, print what happened.

    demo.py --bin DIR --simulator PROGRAM [--wine] [--fail] [--plain]

Protected as a deployment should run: HTTPS with a chain made for the run and
the server's key pinned, a push key of the device's own, module manifests
signed with a key only the server holds. --plain runs the unprotected way
(plain HTTP, no keys, SecurityDowngrade=1) to show the difference.
"""

import argparse
import os
import shutil
import subprocess
import sys

import harness

WAIT_SECONDS = 120


# quarnctl status lines that say what protects this endpoint.
PROTECTION_LINES = {"server", "security", "pushes", "modules", "replay", "store"}
SECRET_KEYS = {"CryptKey", "Password"}


def shown(key, value):
    """A secret is shown as set, never as its value."""
    return "(set)" if key in SECRET_KEYS and value != "(none)" else value


def summary(record):
    """One line per exchange of the record file."""
    kind = record["kind"]
    line = f"{record['seq']:4} {record['time'][11:23]} {kind:5}"
    if kind == "udp":
        line += f" {record.get('trade', '?')}"
        for field in ("result", "score", "check_id", "policy_id", "item_id"):
            if field in record:
                line += f" {field}={record[field]}"
    elif kind == "http":
        line += f" {record.get('method')} {record.get('path')}"
        params = record.get("params") or {}
        for field in ("tradecode", "type", "user_name"):
            if field in params:
                line += f" {field}={params[field]}"
        for field in ("user", "accepted", "code", "failed_items", "bytes"):
            if field in record:
                line += f" {field}={record[field]}"
        line += f" -> {record.get('status')}"
    elif kind == "push":
        line += f" {record.get('command')} answered={record.get('answered')} result={record.get('result')}"
    else:
        line += f" {record.get('reason', '')}"
    return line


def protections(product, simulator, records):
    """What protects this run, each checked against the server's side."""
    config = product.config()
    pin, key, sign_key = (config.get(k, "") for k in ("ServerKeyPin", "CryptKey", "ModuleSignKey"))
    device = config.get("DeviceId", "?")
    if not simulator.https:
        tls = f"OFF: {simulator.base}, plain HTTP (the server is not verified)"
    else:
        tls = (f"on: {simulator.base}, a chain made for this run (root, intermediate, server); "
               f"verified through the trust store and the pinned key ServerKeyPin={pin} "
               f"({'matches' if pin == simulator.pin else 'DOES NOT MATCH'} the server's key)")
    expected = simulator.device_key(device)
    if not key:
        push = "OFF: no CryptKey, pushes taken untagged (SecurityDowngrade)" \
            if config.get("SecurityDowngrade") == "1" else "OFF: no CryptKey, every push refused"
    elif expected:
        push = (f"on: CryptKey is device {device}'s own key "
                f"({'matches' if key == expected else 'DOES NOT MATCH'} HMAC-SHA256 of the "
                "deployment secret and its id); the secret stays on the server")
    else:
        push = "on: CryptKey is the scenario's shared key"
    modules = sorted({r["path"].rsplit("/", 1)[-1] for r in records
                      if r["kind"] == "http" and r.get("path", "").endswith(".dll")
                      and r.get("status") == 200})
    if sign_key:
        signed = (f"on: ModuleSignKey={sign_key[:16]}... (public half of the server's ECDSA P-256 "
                  f"key); {len(modules)} modules downloaded, each loaded only once the signed manifest verified")
    else:
        signed = f"OFF: no ModuleSignKey, {len(modules)} modules loaded unverified"
    return [f"TLS:       {tls}", f"push key:  {push}", f"manifests: {signed}"]


def check_table(product, report, simulator):
    """The check table of the stored policy, run as the agent runs it."""
    policy = product.path("SecurityCheckPolicy.xml")
    if not os.path.exists(policy):
        return f"(no stored policy; the report says result={report.get('result')} score={report.get('score')})"
    target = product.windows_path(policy) if product.wine else policy
    return product.quarnctl("check", target, "--server", simulator.base)[1].rstrip()


def start_display(product):
    """An Xvfb of its own for the page dialog (native), or None without one."""
    if product.wine or not shutil.which("Xvfb"):
        return None
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                             "-screen", "0", "1024x768x24"], pass_fds=(write_end,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as f:
        display = f.readline().strip()
    if not display:
        xvfb.kill()
        return None
    product.env["DISPLAY"] = ":" + display
    return xvfb


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--simulator", required=True)
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--fail", action="store_true")
    parser.add_argument("--plain", action="store_true",
                        help="no protection: plain HTTP, no keys, SecurityDowngrade=1")
    # HTTPS is the default; the option stays for the command lines that name it.
    parser.add_argument("--https", action="store_true", help=argparse.SUPPRESS)
    options = parser.parse_args()

    product = harness.Product(options.bin, wine=options.wine)
    simulator = harness.Simulator(options.simulator, product.top, product.bin_dir,
                                  https=not options.plain)
    scenario = "fail.json" if options.fail else "sample.json"
    xvfb = start_display(product) if options.fail else None
    if options.fail and xvfb is None:
        print("(no display for the page dialog: the repair page goes to the stand-in browser)")
    print(f"== assistant directory {product.dir}")
    print(f"== simulator: {scenario} on 127.0.0.1 udp 36537, {simulator.base}")
    ok = False
    try:
        changes = {"security": "off"} if options.plain else {}
        simulator.start(harness.load_scenario(scenario, **changes))
        product.install_files()
        before = product.config()
        code, out = product.install_packet(simulator)
        print(f"== quarnctl install: {out.strip()} (exit {code})")
        harness.wait_until(lambda: product.config().get("CheckUrl"), 60)
        # The installation's assistant does no logon pass: it is ended and
        # started again as a logon starts it.
        product.stop_assistants()
        mark = simulator.last_seq()
        product.start_assistant("-logon")
        # A failing check without automatic repair ends at the manual repair page, unreported.
        report = harness.wait_until(
            lambda: simulator.wait_record(harness.is_trade("ReportCheckResult"), mark, 0) or
            ("手动修复页面" in product.log() and {"result": "false (repair page opened)"}), WAIT_SECONDS)
        if not report:
            print(f"== no ReportCheckResult within {WAIT_SECONDS} s")
        else:
            ok = True
            print(f"== admission pass done: result={report.get('result')} score={report.get('score')}")
        after = product.config()

        print("\n== configuration keys that changed")
        for key in sorted(set(before) | set(after)):
            if before.get(key) != after.get(key):
                old, new = (shown(key, d.get(key, "(none)")) for d in (before, after))
                print(f"  {key}: {old} -> {new}")
        print("\n== protections of this run")
        for line in protections(product, simulator, simulator.records()):
            print("  " + line)
        print("\n== protections as the endpoint sees them (quarnctl status)")
        code, out = product.quarnctl("status")
        for line in out.splitlines():
            if line.split(":")[0] in PROTECTION_LINES:
                print("  " + line)
        print("\n== user log")
        print(product.log().rstrip())
        print("\n== check table")
        print(check_table(product, report or {}, simulator))
        print("\n== pages opened")
        pages = product.pages_opened()
        print("\n".join("  " + p for p in pages) if pages else "  (none)")
        print("\n== simulator record")
        for record in simulator.records():
            print(summary(record))
    finally:
        product.stop_assistants()
        simulator.stop()
        product.remove()
        if xvfb is not None:
            xvfb.terminate()
            xvfb.wait()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
