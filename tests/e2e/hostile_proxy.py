"""A hostile access server in front of quarnsim: a UDP relay on the server port
that passes every exchange on and, for the trade codes it is told to, answers
with a document of its own instead, framed and tagged as the server frames its
replies (the 20-byte header, fragments of at most 60,000 bytes, HMAC-SHA256
under CryptKey)."""

import hashlib
import hmac
import re
import socket
import struct
import threading
import time

HEADER = struct.Struct("<4sBBHIHHI")
FRAGMENT = 60000
TAG = 32


def frame(kind, message_id, payload, key):
    """The datagrams of one message."""
    count = max(1, (len(payload) + FRAGMENT - 1) // FRAGMENT)
    datagrams = []
    for index in range(count):
        piece = payload[index * FRAGMENT:(index + 1) * FRAGMENT]
        flags = 1 if key else 0
        datagram = HEADER.pack(b"TARN", 1, kind, flags, message_id, index, count, len(payload)) + piece
        if key:
            datagram += hmac.new(key.encode(), datagram, hashlib.sha256).digest()
        datagrams.append(datagram)
    return datagrams


def payload_of(datagram, key):
    """(message id, fragment index, fragment count, fragment bytes)."""
    magic, _, _, flags, message_id, index, count, _ = HEADER.unpack_from(datagram)
    end = len(datagram) - (TAG if flags & 1 else 0)
    return message_id, index, count, datagram[HEADER.size:end]


def trade_of(payload):
    found = re.search(rb"<TradeCode>\s*([^<\s]+)\s*</TradeCode>", payload)
    return found.group(1).decode() if found else ""


def document(body):
    """A reply document's text form as the server writes it (GBK)."""
    return ('<?xml version="1.0" encoding="gbk"?>\r\n<TARN>' + body + "</TARN>\r\n").encode("gbk")


class HostileServer:
    """Listens on `port` (the agent's server port) and relays to quarnsim on
    `upstream`. `rules[trade]` is a function of the request payload giving the
    reply payload, or None to pass the exchange on."""

    def __init__(self, port, upstream, key):
        self.key = key
        self.rules = {}
        self.upstream = ("127.0.0.1", upstream)
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.socket.bind(("127.0.0.1", port))
        self.socket.settimeout(0.5)
        self.running = True
        self.replaced = []  # trade codes answered by a rule, in order
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def stop(self):
        self.running = False
        self.thread.join(5)
        self.socket.close()

    def _serve(self):
        while self.running:
            try:
                datagram, agent = self.socket.recvfrom(70000)
            except socket.timeout:
                continue
            except OSError:
                return
            if len(datagram) < HEADER.size:
                continue
            message_id, _, _, payload = payload_of(datagram, self.key)
            rule = self.rules.get(trade_of(payload))
            reply = rule(payload) if rule else None
            if reply is None:
                self._relay(datagram, agent)
                continue
            self.replaced.append(trade_of(payload))
            for piece in frame(2, message_id, reply, self.key):
                self.socket.sendto(piece, agent)
                time.sleep(0.005)  # a megabyte at once would overrun the agent's socket buffer

    def _relay(self, datagram, agent):
        """One request to quarnsim and its reply fragments back to the agent."""
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as relay:
            relay.settimeout(2)
            relay.sendto(datagram, self.upstream)
            try:
                while True:
                    answer, _ = relay.recvfrom(70000)
                    self.socket.sendto(answer, agent)
                    _, index, count, _ = payload_of(answer, self.key)
                    if index + 1 >= count:
                        return
            except socket.timeout:
                return
