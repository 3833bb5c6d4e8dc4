"""The fleet's network: namespaces of the run's own, a bridge and veth pairs.

The hub namespace holds the bridge (198.18.0.1/15, the benchmarking range)
and the simulator; every endpoint has a namespace of its own whose eth0 is
one end of a veth pair, the other end on the bridge. Nothing is routed
anywhere else, so no packet of the fleet reaches the machine's interfaces.
Every name starts with a prefix holding the harness's process id, so runs do
not collide and the leftovers of a run that was killed can be told apart.

Each endpoint is a machine of its own: besides its network, a pid namespace
(the product counts its own processes by name), a mount namespace with a
private /dev/shm (its named objects) and /proc, and a UTS namespace with the
endpoint's host name (the computer name it registers under). Its pid 1 is
`sleep`; every program of the endpoint enters all its namespaces.
"""

import ctypes
import ipaddress
import json
import os
import re
import signal
import subprocess
import time

PREFIX = "qfleet"
HUB_ADDRESS = "198.18.0.1"
NETWORK = ipaddress.ip_network("198.18.0.0/15")
FIRST_HOST = 16  # endpoint 1 is 198.18.0.17
CLONE_NEWNET = 0x40000000
KILL_WAIT_SECONDS = 10

# The endpoint's machine: pid 1 of its pid namespace, in its own mount
# namespace (a private /dev/shm and its own /proc) with its host name ($1).
MACHINE = ('mount -t tmpfs -o mode=1777 tmpfs /dev/shm && hostname "$1" || exit 97; '
           'exec sleep infinity')
# Waits at the gate $1 (a FIFO; the harness opens it to start many programs
# at once), first noting its arrival in the file $2, then runs the command.
GATE = ': > "$2"; read x < "$1" || true; shift 2; exec "$@"'


def ip(*args, check=True):
    return subprocess.run(["ip", *args], check=check, capture_output=True, text=True, timeout=30)


def run_namespaces():
    return [line.split()[0] for line in ip("netns", "list").stdout.splitlines() if line.strip()]


def endpoint_address(index):
    address = NETWORK.network_address + FIRST_HOST + index
    if address not in NETWORK or address == NETWORK.broadcast_address:
        raise ValueError(f"endpoint {index} is beyond the address range")
    return str(address)


class Network:
    def __init__(self):
        self.prefix = f"{PREFIX}{os.getpid()}-"
        self.hub = self.prefix + "hub"
        self.endpoints = []  # namespace names
        self.created = []
        self.machines = []  # the unshare processes holding each endpoint's pid 1

    # --- making -------------------------------------------------------------

    def _add(self, name):
        ip("netns", "add", name)
        self.created.append(name)
        ip("-n", name, "link", "set", "lo", "up")

    def create_hub(self):
        self._add(self.hub)
        ip("-n", self.hub, "link", "add", "br0", "type", "bridge")
        ip("-n", self.hub, "addr", "add", f"{HUB_ADDRESS}/{NETWORK.prefixlen}", "dev", "br0")
        ip("-n", self.hub, "link", "set", "br0", "up")

    def add_endpoint(self, index):
        name = f"{self.prefix}e{index}"
        self._add(name)
        veth = f"ve{index}"
        ip("-n", self.hub, "link", "add", veth, "type", "veth", "peer", "name", "eth0", "netns", name)
        ip("-n", self.hub, "link", "set", veth, "master", "br0", "up")
        ip("-n", name, "addr", "add", f"{endpoint_address(index)}/{NETWORK.prefixlen}", "dev", "eth0")
        ip("-n", name, "link", "set", "eth0", "up")
        self.endpoints.append(name)
        return name

    def enter_hub(self):
        """Moves this process (its one thread) into the hub's network, so that
        it speaks to the simulator as the endpoints do."""
        libc = ctypes.CDLL(None, use_errno=True)
        fd = os.open(f"/run/netns/{self.hub}", os.O_RDONLY)
        try:
            if libc.setns(fd, CLONE_NEWNET) != 0:
                raise OSError(ctypes.get_errno(), "setns into the hub")
        finally:
            os.close(fd)

    # --- running ------------------------------------------------------------

    def start_machine(self, namespace, hostname):
        """Starts the endpoint's machine; the process id of its pid 1."""
        process = subprocess.Popen(
            ["ip", "netns", "exec", namespace, "unshare", "--mount", "--uts", "--pid", "--fork",
             "--kill-child", "--mount-proc", "--propagation", "private", "sh", "-c", MACHINE,
             "machine", hostname], stdin=subprocess.DEVNULL)
        self.machines.append(process)
        end = time.monotonic() + 30
        while time.monotonic() < end:
            # unshare's one child is pid 1 of the new namespace.
            try:
                with open(f"/proc/{process.pid}/task/{process.pid}/children") as f:
                    children = f.read().split()
                if children:
                    with open(f"/proc/{children[0]}/comm") as f:
                        if f.read().strip() == "sleep":
                            return int(children[0])
            except OSError:
                pass
            if process.poll() is not None:
                break
            time.sleep(0.05)
        raise RuntimeError(f"the machine of {namespace} did not start")

    def command(self, init_pid, argv, gate=None):
        """`argv` run on an endpoint's machine (all its namespaces); with a
        gate (FIFO, arrival file) it waits there first."""
        line = ["nsenter", "-t", str(init_pid), "--net", "--mount", "--uts", "--pid", "--"]
        if gate:
            line += ["sh", "-c", GATE, "gate", *gate]
        return line + list(argv)

    def hub_command(self, argv):
        return ["ip", "netns", "exec", self.hub, *argv]

    def veth_bytes(self):
        """Bytes each endpoint's link carried, both ways: {index: bytes}."""
        counts = {}
        for link in json.loads(ip("-n", self.hub, "-s", "-j", "link", "show").stdout):
            found = re.fullmatch(r"ve(\d+)", link.get("ifname", ""))
            stats = link.get("stats64")
            if found and stats:
                counts[int(found.group(1))] = stats["rx"]["bytes"] + stats["tx"]["bytes"]
        return counts

    # --- ending -------------------------------------------------------------

    def kill_all(self, names=None, keep=()):
        """Ends every process of the given namespaces (default: the run's)
        but those in `keep`, SIGTERM first, SIGKILL for what is left after a
        bounded wait."""
        names = self.created if names is None else names
        for sig in (signal.SIGTERM, signal.SIGKILL):
            pids = [p for p in namespace_pids(names) if p not in keep]
            for pid in pids:
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
            end = time.monotonic() + KILL_WAIT_SECONDS
            while pids and time.monotonic() < end:
                time.sleep(0.2)
                pids = [p for p in namespace_pids(names) if p not in keep]
            if not pids:
                return

    def teardown(self):
        self.kill_all()
        for process in self.machines:
            try:
                process.wait(KILL_WAIT_SECONDS)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.machines = []
        for name in reversed(self.created):
            ip("netns", "del", name, check=False)
        self.created = []


def namespace_pids(names):
    pids = []
    for name in names:
        out = ip("netns", "pids", name, check=False).stdout
        pids.extend(int(p) for p in out.split() if p.isdigit() and int(p) != os.getpid())
    return pids


def remove_leftovers():
    """Namespaces of earlier runs whose harness is gone (killed outright):
    their processes are ended and they are deleted. Runs still alive and
    everybody else's namespaces are left alone."""
    stale = []
    for name in run_namespaces():
        found = re.match(rf"{PREFIX}(\d+)-", name)
        if found and not os.path.exists(f"/proc/{found.group(1)}"):
            stale.append(name)
    if stale:
        network = Network()
        network.created = stale
        network.teardown()
    return stale
