"""The installed assistant against a hostile access server: quarnsim behind a
relay (hostile_proxy.py) that answers chosen trade codes with documents of its
own, and pushes that name what no server may open. Whatever the server sends
is refused or bounded; nothing is written beyond its bound, nothing runs, and
no password or key lands in a file outside the sealed configuration store."""

import base64
import http.server
import os
import threading
import time
import unittest

from harness import Product, Simulator, install_and_log_on, is_trade, load_scenario, wait_until
from hostile_proxy import HostileServer, document

OPTIONS = {}
DEVICE = "1001"  # the scenario's endpoint; the relay tags its answers with its key
UPSTREAM = 36547
PASSWORDS = ("Quarn@123", "lisi-pass")
FORGED = "2001-01-01 00:00:00          forged"
# Files of the test itself, which hold the scenario's secrets on purpose.
# (pages.txt, what the product handed to the browser, is searched.)
OWN_FILES = ("packet.xml", "scenario.json", "record.jsonl", "quarnsim.log", "browser.sh",
             "browser.bat")
SEALED_STORE = "QuarnAssConfig.dat"
MAX_FILE = 8 << 20
UPDATE_FILE = "TarnAssistantUpdate.inf"
UPDATE_BOUND = 64 << 10


def scenario():
    changes = dict(ports={"udp": UPSTREAM, "http": 36580},
                   check_param={"AuthInterval": 60})
    sim = load_scenario("sample.json", **changes)
    item = sim["check_items"]["103"]
    # A name of the C library, a value with line breaks and markup.
    item["CheckType"]["DLLFunc"] = "system"
    item["Name"] = "违规文件\r\n" + FORGED + " <b>&amp;</b>"
    return sim


def deep_policy(_request):
    # About 980 KB nested 140,000 levels: once a policy file of gigabytes.
    return document("<SecurityCheckPolicy><CheckParam><IsSafeCheck>1</IsSafeCheck></CheckParam>" +
                    "<N>" * 140000 + "</N>" * 140000 + "</SecurityCheckPolicy>")


def many_items(_request):
    items = "<Item><ItemID>101</ItemID><Key>Yes</Key><Rate>1</Rate></Item>" * 5000
    return document("<SecurityCheckPolicy><CheckParam><IsSafeCheck>1</IsSafeCheck></CheckParam>"
                    "<CheckItems>" + items + "</CheckItems></SecurityCheckPolicy>")


def forged_check_id(_request):
    return document("<LastCheckId>77\r\n" + FORGED + "\r\n[Config]\r\nCryptKey=x</LastCheckId>")


class HostileServerScenarios(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.product = Product(OPTIONS["bin"], wine=OPTIONS["wine"])
        cls.addClassCleanup(cls.product.remove)
        cls.sim = Simulator(OPTIONS["simulator"], cls.product.top, cls.product.bin_dir)
        cls.sim.start(scenario())
        cls.addClassCleanup(cls.sim.stop)  # also when setUpClass fails
        cls.key = cls.sim.device_key(DEVICE)
        cls.server = HostileServer(36537, UPSTREAM, cls.key)
        cls.addClassCleanup(cls.server.stop)
        cls.addClassCleanup(cls.product.stop_assistants)
        install_and_log_on(cls.product, cls.sim)

    def forced_check(self, trade, rule, ended):
        """A forced check whose `trade` the relay answers; returns once the
        user log shows the line `ended` once more (the push itself is
        answered as soon as it is taken)."""
        before = self.product.log().count(ended)
        self.server.rules = {trade: rule}
        try:
            answer = self.sim.push("DoSecurityCheck", wait=120)
            self.assertTrue(answer["answered"], answer)
            self.assertTrue(wait_until(lambda: trade in self.server.replaced, 90), trade)
            self.assertTrue(wait_until(lambda: self.product.log().count(ended) > before, 90))
        finally:
            self.server.rules = {}
        self.assertTrue(self.product.assistant_running())

    def product_files(self):
        for folder, _, names in os.walk(self.product.top):
            for name in names:
                if folder == self.product.top and name in OWN_FILES:
                    continue
                yield os.path.join(folder, name)

    def test_1_deep_and_huge_policies_are_refused_whole(self):
        for rule in (deep_policy, many_items):
            with self.subTest(rule=rule.__name__):
                mark = self.sim.last_seq()
                # The check begins once the policy update is over.
                self.forced_check("GetSecurityCheckPolicy", rule, "进入 DoSecurityCheckAndReportResult")
                self.assertFalse(os.path.exists(self.product.path("SecurityCheckPolicy.xml")))
                items = [r for r in self.sim.records()
                         if r["seq"] > mark and is_trade("GetSecurityCheckItem")(r)]
                self.assertEqual([], items)
        for path in self.product_files():
            if not path.endswith((".exe", ".dll")):  # the installed programs
                self.assertLessEqual(os.path.getsize(path), MAX_FILE, path)

    def test_2_line_breaks_from_the_server_stay_on_their_line(self):
        self.forced_check("ReportCheckResult", forged_check_id, "退出 DoSecurityCheckAndReportResult")
        log = self.product.log()
        self.assertIn("最后结果查看URL", log)
        self.assertNotIn("\n" + FORGED, log)
        self.assertFalse([line for line in log.splitlines() if line.startswith("2001-01-01")])
        for name in os.listdir(self.product.dir):
            if name.lower().endswith(".inf"):
                self.assertNotIn("CryptKey=x", self.product.read_text(name), name)

    def test_3_pushed_addresses_other_than_web_pages_are_not_opened(self):
        marker = os.path.join(self.product.top, "ran.txt")
        script = self.product.path("evil.bat")
        with open(script, "w", newline="\r\n") as f:
            f.write(f"echo ran> {self.product.windows_path(marker)}\n" if self.product.wine
                    else f"#!/bin/sh\necho ran > {marker}\n")
        os.chmod(script, 0o755)
        local = self.product.windows_path(script) if self.product.wine else script
        before = len(self.product.pages_opened())
        for url in ("file:///" + local.replace("\\", "/"), "\\\\127.0.0.1\\share\\page.html", local,
                    "-" + local, "javascript:alert(1)"):
            with self.subTest(url=url):
                answer = self.sim.push("OpenNewUrl", Url=url, Title="hostile", wait=30)
                self.assertTrue(answer["answered"], answer)
                self.assertEqual("0", str(answer["result"]))
        time.sleep(2)
        self.assertFalse(os.path.exists(marker))
        self.assertEqual([], self.product.pages_opened()[before:])

    def test_4_no_secret_in_any_file_but_the_sealed_store(self):
        secrets = list(PASSWORDS) + [self.key]
        for text in list(secrets):
            encoded = base64.b64encode(text.encode()).decode()
            secrets.append(encoded.replace("+", ",").replace("=", ":").replace("/", "."))
        found = []
        for path in self.product_files():
            if os.path.basename(path) == SEALED_STORE:
                continue
            with open(path, "rb") as f:
                content = f.read()
            found += [(path, s) for s in secrets if s.encode() in content]
        self.assertEqual([], found)

    def test_5_an_update_description_beyond_its_bound_is_not_saved(self):
        requests = []

        class Oversize(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                requests.append(self.path)
                body = b"[Update]\r\nVersion=9.9.9.9\r\n" + b";" * (1 << 20)
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                try:
                    self.wfile.write(body)
                except OSError:
                    pass

            def log_message(self, *_args):
                pass

        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Oversize)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        before = self.product.config()["ServerDownPath"]
        self.product.quarnctl("config", "set", "ServerDownPath",
                              f"http://127.0.0.1:{server.server_address[1]}/download/")
        try:
            # A start waits for the server: the probe is refused, so it asks again.
            self.product.stop_assistants()
            self.product.start_assistant("-logon")
            self.assertTrue(wait_until(lambda: len(requests) >= 2, 60), requests)
            self.assertEqual("/download/" + UPDATE_FILE, requests[0])
            path = self.product.path(UPDATE_FILE)
            self.assertLessEqual(os.path.getsize(path) if os.path.exists(path) else 0, UPDATE_BOUND)
        finally:
            self.product.quarnctl("config", "set", "ServerDownPath", before)
            self.product.stop_assistants()
            self.product.start_assistant("-logon")
