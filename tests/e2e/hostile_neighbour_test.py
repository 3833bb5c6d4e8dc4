"""Another account on the same machine against the installed assistant: its
named objects (POSIX keeps them in /dev/shm, which every account writes), its
ports and its local listener. As root, a throw-away account is made to play the
neighbour, and removed with everything it made afterwards. Under Wine there is
no second Windows account: another program (a native one, which Wine's process
list does not show) holds the ports and stalls the listener instead, and the
named-object rows do not apply (Windows keeps those per session).

The neighbour creates the store's and the log's mutexes first, holds both ports before the assistant starts, trickles and floods the
local listener, and listens on the local port under the assistant's program
name. Nothing secret reaches it, no wait of the product hangs, and the
assistant takes its ports back once the neighbour leaves."""

import base64
import json
import os
import pwd
import re
import secrets
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from harness import Product, Simulator, install_and_log_on, load_scenario, wait_until

OPTIONS = {}
PUSH_PORT = 36538
LOCAL_PORT = 36588
PASSWORD = "Quarn@123"  # zhangsan's in the shipped scenario
# The squatter of named objects: creates each name open to all, takes its
# lock, says so, and holds it until its input closes.
SQUATTER = r"""
import fcntl, os, sys
held = []
for name in sys.argv[1:]:
    fd = os.open("/dev/shm/" + name, os.O_RDWR | os.O_CREAT | os.O_EXCL, 0o666)
    os.fchmod(fd, 0o666)
    os.ftruncate(fd, 8192)
    fcntl.flock(fd, fcntl.LOCK_EX)
    held.append(fd)
print("held", flush=True)
sys.stdin.read()
"""

# Holds the push port and the local port until its input closes; answers a
# connection as a listener would, with a proof it cannot make; then prints
# in hex every datagram and every connection's bytes it was sent.
PORT_SQUATTER = r"""
import json, select, socket, sys
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
udp.bind(("0.0.0.0", %d))
tcp = socket.socket()
tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
tcp.bind(("127.0.0.1", %d))
tcp.listen(8)
print("held", flush=True)
datagrams, streams, open_ones = [], {}, []
while True:
    ready = select.select([sys.stdin, udp, tcp] + open_ones, [], [], 300)[0]
    if sys.stdin in ready or not ready:
        break
    for each in ready:
        if each is udp:
            datagrams.append(udp.recv(65536).hex())
        elif each is tcp:
            connection = tcp.accept()[0]
            connection.sendall(b"TARL\x02\x02" + b"c" * 64)
            open_ones.append(connection)
            streams[connection] = b""
        else:
            try:
                data = each.recv(65536)
            except OSError:
                data = b""
            streams[each] += data
            if not data:
                open_ones.remove(each)
print(json.dumps({"udp": datagrams, "tcp": [v.hex() for v in streams.values()]}), flush=True)
""" % (PUSH_PORT, LOCAL_PORT)

# Stalls the local listener for argv[1] seconds: 4 connections that send one
# byte every 2 s and open again when cut, and 12 connections a second that
# send nothing. Prints how long each connection was held before the
# listener cut it (or the neighbour gave up on it, as "None").
STALLER = r"""
import json, socket, sys, threading, time
end = time.monotonic() + float(sys.argv[1])
held, lock = [], threading.Lock()
def note(seconds):
    with lock:
        held.append(seconds)
def until_cut(connection, trickle):
    started = time.monotonic()
    connection.settimeout(2)
    try:
        while time.monotonic() - started < 30:
            if trickle:
                connection.send(b"T")
            try:
                if connection.recv(1) == b"":
                    return note(time.monotonic() - started)
            except socket.timeout:
                pass
    except OSError:
        return note(time.monotonic() - started)
    note(None)
def trickler():
    while time.monotonic() < end:
        try:
            until_cut(socket.create_connection(("127.0.0.1", %d), 5), True)
        except OSError:
            pass
        time.sleep(0.05)
threads = [threading.Thread(target=trickler) for _ in range(4)]
for t in threads:
    t.start()
time.sleep(0.5)
while time.monotonic() < end:
    try:
        connection = socket.create_connection(("127.0.0.1", %d), 5)
        threads.append(threading.Thread(target=until_cut, args=(connection, False)))
        threads[-1].start()
    except OSError:
        pass
    time.sleep(1 / 12)
for t in threads:
    t.join()
print(json.dumps(held), flush=True)
""" % (LOCAL_PORT, LOCAL_PORT)


def encodings(secret):
    """The secret as it may travel: plain, Base64, the URL-safe Base64 form."""
    encoded = base64.b64encode(secret.encode()).decode()
    return (secret, encoded, encoded.replace("+", ",").replace("=", ":").replace("/", "."))


class HostileNeighbour(unittest.TestCase):
    def setUp(self):
        self.wine = OPTIONS.get("wine", False)
        self.account = None
        self.neighbours = []
        self.sim = None
        if not self.wine:
            if os.geteuid() != 0 or shutil.which("useradd") is None or shutil.which("runuser") is None:
                self.skipTest("needs root, useradd and runuser to make a second account")
            # Not named for the process id: runs in other pid namespaces share
            # the account list.
            self.account = "quarnsq" + secrets.token_hex(4)
            subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                            self.account], check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            self.addCleanup(self.remove_account)
        self.product = Product(OPTIONS["bin"], wine=self.wine)
        self.addCleanup(self.product.remove)
        self.addCleanup(self.stop_neighbours)
        self.product.install_files()

    def neighbour(self, script, *args, program=None):
        """Runs `script` as the other account (under Wine: as another program);
        `program` is the interpreter to run it with."""
        command = [program or "python3", "-c", script] + [str(a) for a in args]
        if self.account is not None:
            command = ["runuser", "-u", self.account, "--"] + command
        process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.neighbours.append(process)
        return process

    def leave(self, process, timeout=60):
        """Closes the neighbour's input and returns what it printed."""
        out = process.communicate(timeout=timeout)[0]
        return out

    def stop_neighbours(self):
        for process in self.neighbours:
            if process.poll() is None:
                process.kill()
            process.communicate()

    def start_simulator(self):
        self.sim = Simulator(OPTIONS["simulator"], self.product.top, self.product.bin_dir)
        self.sim.start(load_scenario("sample.json"))
        self.addCleanup(self.sim.stop)
        self.addCleanup(self.product.stop_assistants)

    def remove_account(self):
        self.stop_neighbours()
        uid = pwd.getpwnam(self.account).pw_uid
        for name in os.listdir("/dev/shm"):
            path = os.path.join("/dev/shm", name)
            try:
                if os.stat(path).st_uid == uid:
                    os.unlink(path)
            except FileNotFoundError:
                pass
        subprocess.run(["userdel", self.account], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def channels(self):
        """The push and local port lines of quarnctl status."""
        out = self.product.quarnctl("status", timeout=60)[1]
        return [line for line in out.splitlines() if line.startswith(("push port", "local port"))]

    def channels_are(self, state):
        lines = self.channels()
        return len(lines) == 2 and all(state in line for line in lines)

    def test_objects_made_first_by_another_account_are_refused_and_no_wait_hangs(self):
        if self.wine:
            self.skipTest("Windows keeps named objects per session, not in a folder all accounts write")
        before = set(os.listdir("/dev/shm"))
        code, out = self.product.quarnctl("config", "set", "Probe", "1")
        self.assertEqual(0, code, out)
        self.product.quarnctl("log")
        # The product's own mutexes: made by that first run, named for its
        # paths. (The per-user hub is squatted in tests/os, in a /dev/shm of
        # its own: here the suites running beside this one use it.)
        names = sorted(n for n in set(os.listdir("/dev/shm")) - before
                       if n.startswith(f"quarn.{os.getuid()}.m."))
        self.assertTrue(names, "no named mutex appeared")
        for name in names:
            os.unlink(os.path.join("/dev/shm", name))
        squatter = self.neighbour(SQUATTER, *names)
        self.assertEqual("held", squatter.stdout.readline().strip())
        for name in names:
            self.assertEqual(pwd.getpwnam(self.account).pw_uid, os.stat("/dev/shm/" + name).st_uid)

        # The squatter's objects are refused, not waited on: a write that
        # cannot have the store's lock is refused (it could lose another
        # writer's change), well inside the 30 s any mutex wait is bounded by.
        started = time.monotonic()
        code, out = self.product.quarnctl("config", "set", "Probe", "2", timeout=90)
        self.assertNotEqual(0, code, out)
        self.product.quarnctl("config", "get", "Probe", timeout=90)
        self.product.quarnctl("log", timeout=90)
        self.assertLess(time.monotonic() - started, 20)

        # Once the squatter has gone and its objects are removed, the store
        # works again.
        self.leave(squatter)
        for name in names:
            os.unlink("/dev/shm/" + name)
        code, out = self.product.quarnctl("config", "set", "Probe", "3", timeout=90)
        self.assertEqual(0, code, out)
        code, out = self.product.quarnctl("config", "get", "Probe", timeout=90)
        self.assertEqual((0, "3"), (code, out.strip()))

    def test_ports_held_before_the_assistant_starts_are_reported_and_taken_back(self):
        squatter = self.neighbour(PORT_SQUATTER)
        self.assertEqual("held", squatter.stdout.readline().strip())
        self.start_simulator()
        install_and_log_on(self.product, self.sim)
        self.assertTrue(wait_until(lambda: self.channels_are("HELD BY ANOTHER PROGRAM"), 30),
                        self.channels())
        # A push reaches the squatter, which cannot answer it under the key.
        answer = self.sim.push("SwitchUser", UserName="zhangsan", Password=PASSWORD, wait=5)
        self.assertFalse(answer["answered"], answer)
        code, out = self.product.quarnctl("switch", "zhangsan", PASSWORD, timeout=90)
        self.assertNotEqual(0, code, out)

        received = json.loads(self.leave(squatter).strip().splitlines()[-1])
        # Held since the start, the next try comes at most 30 s later.
        self.assertTrue(wait_until(lambda: self.channels_are("listening"), 60), self.channels())
        answer = self.sim.push("IpRenew", wait=30)
        self.assertTrue(answer["answered"], answer)
        code, out = self.product.quarnctl("switch", "zhangsan", PASSWORD, timeout=90)
        self.assertEqual(0, code, out)

        # Every push it took is tagged and sealed (flags bits 0 and 1 at offset
        # 6): it could neither forge one nor read the switch password. The
        # local channel sent it its hello and nothing more.
        self.assertTrue(received["udp"])
        for datagram in received["udp"]:
            self.assertEqual(3, bytes.fromhex(datagram)[6] & 3)
            for secret in encodings(PASSWORD):
                self.assertNotIn(secret.encode(), bytes.fromhex(datagram))
        for stream in received["tcp"]:
            for secret in encodings(PASSWORD):
                self.assertNotIn(secret.encode(), bytes.fromhex(stream))

    def test_slow_and_flooding_connections_are_cut_and_switches_go_through(self):
        self.start_simulator()
        install_and_log_on(self.product, self.sim)
        self.assertTrue(wait_until(lambda: self.channels_are("listening"), 30), self.channels())
        stall = 10
        staller = self.neighbour(STALLER, stall)
        time.sleep(3)
        started = time.monotonic()
        during, _ = self.product.quarnctl("switch", "zhangsan", PASSWORD, timeout=90)
        during_seconds = time.monotonic() - started
        held = json.loads(self.leave(staller).strip().splitlines()[-1])
        # Every connection was cut by the listener: a silent or trickling one
        # at its 5 s frame deadline at the latest, sooner when a newer one
        # took its place. The genuine switch took the place of one of them.
        self.assertNotIn(None, held)
        self.assertLess(max(held), 7.5, sorted(held))
        self.assertEqual(0, during)
        self.assertLess(during_seconds, 30)
        started = time.monotonic()
        code, out = self.product.quarnctl("switch", "zhangsan", PASSWORD, timeout=90)
        self.assertEqual(0, code, out)
        self.assertLess(time.monotonic() - started, 10)
        print(f"\n  stall: {len(held)} connections, longest {max(held):.1f} s; switch during it: "
              f"code {during} after {during_seconds:.1f} s", file=sys.stderr)

    def test_a_fake_assistant_on_the_local_port_receives_no_secret(self):
        # Natively the listener runs under the assistant's program name (a
        # copy of the interpreter), so it counts as "an assistant running"
        # wherever another account's processes would.
        program = None
        if not self.wine and os.path.exists("/usr/bin/python3"):
            folder = tempfile.mkdtemp(prefix="quarn-fake-")
            os.chmod(folder, 0o755)
            self.addCleanup(shutil.rmtree, folder, True)
            program = os.path.join(folder, "TarnAssistant.exe")
            shutil.copy(os.path.realpath("/usr/bin/python3"), program)
        listener = self.neighbour(PORT_SQUATTER, program=program)
        self.assertEqual("held", listener.stdout.readline().strip())
        password = "Neighbour-Secret-42"
        started = time.monotonic()
        code, out = self.product.quarnctl("switch", "zhangsan", password, timeout=90)
        self.assertNotEqual(0, code, out)  # nothing was delivered: not "sent"
        self.assertLess(time.monotonic() - started, 60)
        # The installation starts the user's own assistant beside it (another
        # account's process of that name is not "an assistant running") and
        # forwards the packet to nobody.
        self.start_simulator()
        install_and_log_on(self.product, self.sim)
        with open(os.path.join(self.product.top, "packet.xml"), "rb") as f:
            packet = f.read().decode("gbk", errors="replace")
        secrets = [password] + re.findall(r"<(?:CryptKey|Password|UserPassword)>([^<]+)<", packet)
        received = json.loads(self.leave(listener).strip().splitlines()[-1])
        self.assertGreater(len(secrets), 1, packet)
        for stream in received["tcp"]:
            for secret in secrets:
                for form in encodings(secret):
                    self.assertNotIn(form.encode(), bytes.fromhex(stream))
