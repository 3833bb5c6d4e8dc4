"""Another account on the same machine against the installed assistant's named
objects (POSIX keeps them in /dev/shm, which every account writes). As root, a
throw-away account is made; it creates the configuration store's and the user
log's named mutexes of a throw-away product first, open to all, and holds
their locks. The product refuses objects it does not own: a configuration write
is refused at once (never waits on the squatter's lock), and the store works
again once the squatter's objects are gone. The account and everything it made
are removed afterwards."""

import base64
import os
import pwd
import shutil
import subprocess
import time
import unittest

from harness import Product

OPTIONS = {}
# The squatter: creates each name open to all, takes its lock, says so, and
# holds it until its input closes.
SQUATTER = r"""
import fcntl, os, sys
held = []
for name in sys.argv[1:]:
    fd = os.open("/dev/shm/" + name, os.O_RDWR | os.O_CREAT | os.O_EXCL, 0o666)
    os.fchmod(fd, 0o666)
    fcntl.flock(fd, fcntl.LOCK_EX)
    held.append(fd)
print("held", flush=True)
sys.stdin.read()
"""

# A fake listener on the local channel's port: takes one connection, sends a
# made-up first frame, notes in hex all it is sent, and ends.
FAKE_LISTENER = r"""
import socket
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", 36588))
server.listen(8)
print("listening", flush=True)
server.settimeout(5)  # the client has long given up by then
received = b""
try:
    connection, _ = server.accept()
    connection.settimeout(2)
    connection.sendall(b"\x10\x00\x00\x00" + b"A" * 16)
    while True:
        data = connection.recv(65536)
        if not data:
            break
        received += data
except OSError:
    pass
print(received.hex(), flush=True)
"""


class HostileNeighbour(unittest.TestCase):
    def setUp(self):
        if OPTIONS.get("wine"):
            self.skipTest("Windows keeps named objects per session, not in a folder all accounts write")
        if os.geteuid() != 0 or shutil.which("useradd") is None:
            self.skipTest("needs root and useradd to make a second account")
        self.account = f"quarnsq{os.getpid() % 100000}"
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                        self.account], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.remove_account)
        self.product = Product(OPTIONS["bin"])
        self.addCleanup(self.product.remove)
        self.product.install_files()
        self.squatter = None

    def remove_account(self):
        if self.squatter is not None:
            self.squatter.stdin.close()
            self.squatter.wait(10)
        uid = pwd.getpwnam(self.account).pw_uid
        for name in os.listdir("/dev/shm"):
            path = os.path.join("/dev/shm", name)
            try:
                if os.stat(path).st_uid == uid:
                    os.unlink(path)
            except FileNotFoundError:
                pass
        subprocess.run(["userdel", self.account], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def test_objects_made_first_by_another_account_are_refused_and_no_wait_hangs(self):
        before = set(os.listdir("/dev/shm"))
        code, out = self.product.quarnctl("config", "set", "Probe", "1")
        self.assertEqual(0, code, out)
        self.product.quarnctl("log")
        # The product's own mutexes: made by that first run, named for its paths.
        names = sorted(n for n in set(os.listdir("/dev/shm")) - before
                       if n.startswith(f"quarn.{os.getuid()}.m."))
        self.assertTrue(names, "no named mutex appeared")
        for name in names:
            os.unlink(os.path.join("/dev/shm", name))
        self.squatter = subprocess.Popen(
            ["runuser", "-u", self.account, "--", "python3", "-c", SQUATTER] + names,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.assertEqual("held", self.squatter.stdout.readline().strip())
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
        self.squatter.stdin.close()
        self.squatter.wait(10)
        self.squatter = None
        for name in names:
            os.unlink("/dev/shm/" + name)
        code, out = self.product.quarnctl("config", "set", "Probe", "3", timeout=90)
        self.assertEqual(0, code, out)
        code, out = self.product.quarnctl("config", "get", "Probe", timeout=90)
        self.assertEqual((0, "3"), (code, out.strip()))

    def test_a_fake_listener_on_the_local_port_receives_no_secret(self):
        self.listener = subprocess.Popen(["runuser", "-u", self.account, "--", "python3", "-c", FAKE_LISTENER],
                                         stdout=subprocess.PIPE, text=True)
        self.addCleanup(self.listener.kill)
        self.assertEqual("listening", self.listener.stdout.readline().strip())
        password = "Neighbour-Secret-42"
        started = time.monotonic()
        code, out = self.product.quarnctl("switch", "zhangsan", password, timeout=90)
        self.assertNotEqual(0, code, out)  # nothing was delivered: not "sent"
        self.assertLess(time.monotonic() - started, 60)
        received = bytes.fromhex("".join(self.listener.stdout.read().split()))
        encoded = base64.b64encode(password.encode()).decode()
        for secret in (password, encoded, encoded.replace("+", ",").replace("=", ":").replace("/", ".")):
            self.assertNotIn(secret.encode(), received)
