#!/usr/bin/python3
"""Soak of the native gateway (simulator linked in) on loopback: many clients at once doing what
clients do, raw socket and VXI-11 (hand-made ONC RPC over TCP), and some that misbehave (silent
connections and abort channels, a client asking for ever more links, a stranger's aborts, output
left unread), while the simulator injects faults
and answers late. Called by tools/soak.sh, in a network namespace of its own so that the gateway may
take port 111.

Invariants, checked throughout: every reply is one the client asked for on that connection, in
order (VXI-11: the reply's xid is the call's), carrying that client's own value; VXI-11 calls answer
with the errors their situation allows (a lock held by another link, the simulator's faults), and
locks, taken, held and dropped with the connection, never keep another client waiting past the
limits; no client is handed output another client's message left, one connection holds at most 8
links, and a stranger's abort (from another address) is refused and aborts nothing;
a malformed record closes only its own connection; a working client's reply comes within WAIT_LIMIT_S of its
request, and no working client goes longer than GAP_LIMIT_S without an answer (turned away, closed or
not); the gateway's memory and file descriptors stay flat; at the end Ctrl+C, with a VXI-11 link
holding the lock, releases the instrument (gp_lcl in the trace) and the gateway exits 0."""
import argparse
import os
import random
import re
import select
import struct
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

WORKING = 8              # raw socket clients that query and set
VXI11 = 6                # VXI-11 clients that query and set, lock, clear, vanish, send garbage
SILENT = 8               # raw connections that say nothing, or half a line, and stall
SILENT_ABORT = 8         # abort channel connections that say nothing: 30 in all for 16 slots
# Clients that misbehave besides: one that asks for links until refused, a stranger (another
# address, 127.0.0.2) aborting others' links, a raw client leaving output no one asked for, and
# two that ask for long replies and never read them (raw socket, VXI-11).
MISBEHAVING = 5
NON_READERS = 2
LONG_QUERY = b":DATA?"   # about 1 KB of reply: a few dozen fill the buffers towards a client
LONG_REPLY = ",".join("%04d" % i for i in range(199))
STRANGER = "127.0.0.2"
# A message that is no query by the gateway's quote-aware rule, yet the instrument answers it.
LEAVES_OUTPUT = b":FUNC 'x;*IDN?;'"
# The longest a working client may wait: 1 s for a slot, or up to 5 s for a raw line while VXI-11
# links hold the instrument's lock, then its turn on the bus.
WAIT_LIMIT_S = 6.0
NO_REPLY_AFTER_S = 1.0   # a request unanswered this long is taken as failed (its next request goes out)
# The longest a working client may go without any answer: turned away or closed, it connects again;
# a request or two may fail (faults); most of what it asks is answered.
GAP_LIMIT_S = WAIT_LIMIT_S + 2 * NO_REPLY_AFTER_S
RSS_GROWTH_LIMIT_KB = 2048
IDN = b"QX-SIM,QX-7316,0,1.00\n"
# Faults: every 41st read times out with its reply left pending (a late reply, which the gateway
# must clear), every 97th fails outright, every 89th write fails; each reply comes 2 ms after its
# message, so every read waits for it; a read times out after 5 x 10 ms.
SIM_ENV = {
    "TAVERIX_SIM_FAULTS": "gp_red%41=4,gp_red%97=-7,gp_wrt%89=-5",
    "TAVERIX_SIM_REPLY_DELAY_MS": "2",
    "TAVERIX_SIM_TIMEOUT_MS": "10",
    "TAVERIX_SIM_REPLIES": "%s=%s\\n" % (LONG_QUERY.decode(), LONG_REPLY),
}


# VXI-11: the core channel's program and the procedures used; the errors a call may answer with
# here besides 0 (11: locked by another link; 15, 17: the simulator's faults).
CORE = (0x0607AF, 1)
ABORT = (0x0607B0, 1)
CREATE_LINK, DEVICE_WRITE, DEVICE_READ, DEVICE_CLEAR, DEVICE_LOCK, DEVICE_UNLOCK, DESTROY_LINK = 10, 11, 12, 15, 18, 19, 23
DEVICE_ABORT = 1
WAIT_LOCK, END = 0x01, 0x08
INVALID_LINK, OUT_OF_RESOURCES, LOCKED, IO_TIMEOUT, IO_ERROR = 4, 9, 11, 15, 17
LINKS_PER_CONNECTION = 8
IO_TIMEOUT_MS, LOCK_TIMEOUT_MS = 3000, 2000


class Counts:
    def __init__(self):
        self.lock = threading.Lock()
        self.values = {}
        self.longest_wait = 0.0
        self.longest_waiter = ""
        self.longest_gap = 0.0
        self.violations = []
        self.live_links = set()   # the VXI-11 clients' links: what a stranger tries to abort

    def add(self, name, n=1):
        with self.lock:
            self.values[name] = self.values.get(name, 0) + n

    def waited(self, seconds, what):
        with self.lock:
            if seconds > self.longest_wait:
                self.longest_wait, self.longest_waiter = seconds, what
        if seconds > WAIT_LIMIT_S:
            self.violation("%s waited %.2f s (limit %.1f s)" % (what, seconds, WAIT_LIMIT_S))

    def gap(self, seconds, who):
        with self.lock:
            self.longest_gap = max(self.longest_gap, seconds)
        if seconds > GAP_LIMIT_S:
            self.violation("%s went %.2f s without an answer (limit %.1f s)" % (who, seconds, GAP_LIMIT_S))

    def answered(self, name, sent_at, last_answer, what="answered"):
        """A reply with the client's value, sent_at when it asked; last_answer: see Connection."""
        now = time.monotonic()
        self.add(what)
        self.waited(now - sent_at, name)
        self.gap(now - last_answer[0], name)
        last_answer[0] = now

    def violation(self, text):
        with self.lock:
            if len(self.violations) < 20:
                self.violations.append(text)
            self.values["violations"] = self.values.get("violations", 0) + 1


class Connection:
    """One working client's connection: requests go out, replies are matched in order against the
    replies expected; a request whose reply does not come is passed over (its transaction failed)."""

    def __init__(self, port, counts, name, last_answer):
        """last_answer: a one-element list, when the client last had an answer on any connection."""
        self.counts = counts
        self.name = name
        self.last_answer = last_answer
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=WAIT_LIMIT_S)
        self.pending = []   # (expected reply, sent at)
        self.passed = []    # those passed over: a reply may still come, late but in order
        self.buffer = b""
        self.closed = False

    def send(self, data, expected=()):
        now = time.monotonic()
        self.sock.sendall(data)
        self.pending += [(e, now) for e in expected]

    def settle(self, deadline):
        """Reads until every pending request is answered or passed over."""
        while self.pending and not self.closed:
            newest = self.pending[-1][1]
            wait = min(newest + NO_REPLY_AFTER_S, deadline) - time.monotonic()
            if b"\n" not in self.buffer:
                # Past the wait, what has come is still read first: this thread may have been held up.
                if wait <= 0 and not select.select([self.sock], [], [], 0)[0]:
                    self.counts.add("unanswered", len(self.pending))
                    self.passed = (self.passed + self.pending)[-8:]
                    self.pending = []
                    return
                ready, _, _ = select.select([self.sock], [], [], max(wait, 0))
                if not ready:
                    continue
                try:
                    piece = self.sock.recv(65536)
                except OSError:
                    piece = b""
                if not piece:
                    self.closed = True
                    self.counts.add("closed by the gateway")
                    return
                self.buffer += piece
                continue
            line, _, self.buffer = self.buffer.partition(b"\n")
            self.match(line + b"\n")

    def match(self, reply):
        # Replies come in order: one passed over comes before any asked for since.
        for i, (expected, sent_at) in enumerate(self.passed):
            if reply == expected:   # late (a VXI-11 lock held it up), its own, in order
                self.counts.add("late replies")
                self.counts.answered(self.name, sent_at, self.last_answer)
                del self.passed[:i + 1]
                return
        for i, (expected, sent_at) in enumerate(self.pending):
            if reply == expected:
                self.counts.add("unanswered", i)
                self.counts.answered(self.name, sent_at, self.last_answer)
                del self.pending[:i + 1]
                self.passed = []
                return
        self.counts.violation("%s got %r, expected one of %r" % (self.name, reply, [e for e, _ in self.pending]))
        self.pending = []

    def close(self):
        self.sock.close()


def frequency_reply(value):
    return ("%+.6E\n" % value).encode()


def own_values(k):
    """Client k's values, unlike any other client's."""
    serial = 0
    while True:
        serial = serial % 99999 + 1
        yield k * 100000 + serial


def working_client(k, port, end, seed, counts):
    rng = random.Random(seed)
    name = "client %d" % k
    values = own_values(k)
    c = None
    last_answer = [time.monotonic()]
    while time.monotonic() < end:
        if c is None or c.closed:
            if c is not None:
                c.close()
            try:
                c = Connection(port, counts, name, last_answer)
                counts.add("connections")
            except OSError:
                counts.add("connect failed")
                c = None
                time.sleep(0.05)
                continue
        value = next(values)
        what = rng.randrange(100)
        try:
            if what < 45:
                c.send(b":FREQ %d;:FREQ?\n" % value, [frequency_reply(value)])
            elif what < 55:   # split in pieces
                line = b":FREQ %d;:FREQ?\r\n" % value
                cut = rng.randrange(1, len(line))
                c.send(line[:cut])
                c.send(line[cut:], [frequency_reply(value)])
            elif what < 65:   # two lines joined in one piece, a command between them
                c.send(b":FREQ %d;:FREQ?\n:OUTP OFF\n*IDN?\n" % value, [frequency_reply(value), IDN])
            elif what < 72:
                c.send(b"*IDN?\n", [IDN])
            elif what < 78:   # commands only
                c.send(b":OUTP OFF\n*CLS\n\n")
                counts.add("commands", 2)
            elif what < 83:   # over 255 bytes: refused whole
                c.send(b":FREQ %d;" % value + b" " * 300 + b":FREQ?\n")
                counts.add("refused lines sent")
            elif what < 88:   # a zero byte: refused whole
                c.send(b":FREQ %d\0;:FREQ?\n" % value)
                counts.add("refused lines sent")
            elif what < 94:   # gone mid-line
                c.send(b":FREQ %d;:FR" % value)
                c.close()
                c = None
                counts.add("disconnects mid-line")
                continue
            else:             # gone mid-transaction
                c.send(b":FREQ %d;:FREQ?\n" % value)
                c.close()
                c = None
                counts.add("disconnects mid-transaction")
                continue
            c.settle(end + WAIT_LIMIT_S)
        except OSError:
            c.closed = True
            counts.add("closed by the gateway")
    counts.gap(time.monotonic() - last_answer[0], name + ", at the end,")
    if c is not None:
        c.close()


def xdr(*fields):
    """XDR of unsigned ints and opaque byte strings (padded to 4)."""
    out = b""
    for f in fields:
        out += struct.pack(">I", f) if isinstance(f, int) else struct.pack(">I", len(f)) + f + b"\0" * (-len(f) % 4)
    return out


class RpcConnection:
    """A VXI-11 core channel connection: one call record out, one reply record back, with the call's
    xid. Answers are the results' words; a reply that is not the call's is a violation."""

    def __init__(self, port, counts, name, program=CORE, source="127.0.0.1"):
        self.counts = counts
        self.name = name
        self.program = program
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=WAIT_LIMIT_S + 1, source_address=(source, 0))
        self.xid = random.getrandbits(31)

    def send(self, procedure, arguments):
        self.xid += 1
        body = xdr(self.xid, 0, 2, self.program[0], self.program[1], procedure, 0, 0, 0, 0) + arguments
        self.sock.sendall(struct.pack(">I", 0x80000000 | len(body)) + body)

    def receive(self, n):
        data = b""
        while len(data) < n:
            piece = self.sock.recv(n - len(data))
            if not piece:
                raise EOFError
            data += piece
        return data

    def call(self, procedure, arguments):
        """The results after the RPC header, or None when the connection closed."""
        sent_at = time.monotonic()
        self.counts.add("vxi11 calls")
        try:
            self.send(procedure, arguments)
            body = b""
            last = False
            while not last:
                mark = struct.unpack(">I", self.receive(4))[0]
                last = bool(mark & 0x80000000)
                body += self.receive(mark & 0x7FFFFFFF)
        except (EOFError, OSError):
            return None
        self.counts.waited(time.monotonic() - sent_at, self.name)
        xid, kind, replied, _, verifier = struct.unpack(">5I", body[:20])
        header = 20 + verifier + (-verifier % 4)
        accepted = struct.unpack(">I", body[header:header + 4])[0]
        if (xid, kind, replied, accepted) != (self.xid, 1, 0, 0):
            self.counts.violation("%s: reply xid %d, kind %d, %d, %d to call xid %d" % (self.name, xid, kind, replied, accepted, self.xid))
            return None
        return body[header + 4:]

    def error(self, procedure, arguments, allowed):
        """A call answering with an error code: the code, None when closed; a code not in allowed is a violation."""
        results = self.call(procedure, arguments)
        if results is None:
            return None
        code = struct.unpack(">i", results[:4])[0]
        if code not in allowed:
            self.counts.violation("%s: procedure %d answered error %d" % (self.name, procedure, code))
        return code

    def close(self):
        self.sock.close()


def vxi11_query(c, link, value, wait_lock, last_answer):
    """Sets the client's value and reads it back: True when answered, False when locked out or on a
    fault, None when the connection closed."""
    flags = END | (WAIT_LOCK if wait_lock else 0)
    sent_at = time.monotonic()
    code = c.error(DEVICE_WRITE, xdr(link, IO_TIMEOUT_MS, LOCK_TIMEOUT_MS, flags, b":FREQ %d;:FREQ?\n" % value),
                   (0, LOCKED, IO_ERROR))
    if code is None:
        return None
    if code != 0:
        c.counts.add("vxi11 locked out" if code == LOCKED else "vxi11 failed writes")
        return False
    results = c.call(DEVICE_READ, xdr(link, 256, IO_TIMEOUT_MS, LOCK_TIMEOUT_MS, WAIT_LOCK if wait_lock else 0, 0))
    if results is None:
        return None
    code, reason, length = struct.unpack(">iiI", results[:12])
    if code in (IO_TIMEOUT, IO_ERROR):
        c.counts.add("vxi11 failed reads")
        return False
    if code == LOCKED:   # another link took the lock before the reply was read: not handed out meanwhile
        c.counts.add("vxi11 locked out")
        return False
    data = results[12:12 + length]
    if code != 0 or data != frequency_reply(value) or not reason & 4:
        c.counts.violation("%s got error %d, reason %d, %r; expected %r" % (c.name, code, reason, data, frequency_reply(value)))
        return False
    c.counts.answered(c.name, sent_at, last_answer, "vxi11 answered")
    return True


def vxi11_client(k, port, end, seed, counts):
    """Links to inst0 or gpib0,4 and sets and reads back its own values; now and then under a lock
    (device_lock waiting, two values, device_unlock), a device_clear, a new link, or it vanishes
    mid-call holding the lock, or sends a malformed record."""
    rng = random.Random(seed)
    name = "vxi11 client %d" % k
    values = own_values(k)
    last_answer = [time.monotonic()]
    c = None
    while time.monotonic() < end:
        if c is None:
            try:
                c = RpcConnection(port, counts, name)
            except OSError:
                counts.add("connect failed")
                time.sleep(0.05)
                continue
            counts.add("vxi11 connections")
            results = c.call(CREATE_LINK, xdr(k, 0, 0, rng.choice((b"inst0", b"gpib0,4"))))
            if results is None or struct.unpack(">i", results[:4])[0] != 0:
                code = None if results is None else struct.unpack(">i", results[:4])[0]
                if code == 9:
                    # Turned away while all 16 connections were at work: like a raw client, it
                    # connects again, and the gap check bounds how long that may go on.
                    counts.add("vxi11 turned away")
                    time.sleep(0.05)
                elif code is not None:
                    counts.violation("%s: create_link answered error %d" % (name, code))
                c.close()
                c = None
                continue
            link = struct.unpack(">I", results[4:8])[0]
            counts.live_links.add(link)
            left_output = False
        what = rng.randrange(100)
        still_open = True
        if what < 5:      # leaves output no one reads but this link
            code = c.error(DEVICE_WRITE, xdr(link, IO_TIMEOUT_MS, LOCK_TIMEOUT_MS, END, LEAVES_OUTPUT), (0, LOCKED, IO_ERROR))
            still_open = code is not None
            left_output = code == 0
            counts.add("vxi11 output left")
        elif what < 10:   # a read with no message of its own: only what its own message left
            results = c.call(DEVICE_READ, xdr(link, 256, IO_TIMEOUT_MS, LOCK_TIMEOUT_MS, 0, 0))
            still_open = results is not None
            if still_open:
                code, _, length = struct.unpack(">iiI", results[:12])
                data = results[12:12 + length]
                if code == 0 and not (left_output and IDN.startswith(data)):
                    counts.violation("%s: a read with no message of its own got %r" % (name, data))
                elif code not in (0, LOCKED, IO_TIMEOUT, IO_ERROR):
                    counts.violation("%s: a read with no message of its own answered error %d" % (name, code))
                counts.add("vxi11 reads without a message" if code != 0 else "vxi11 own output read")
            left_output = False
        elif what < 55:
            left_output = False
            still_open = vxi11_query(c, link, next(values), rng.randrange(2), last_answer) is not None
        elif what < 75:
            code = c.error(DEVICE_LOCK, xdr(link, WAIT_LOCK, LOCK_TIMEOUT_MS), (0, LOCKED))
            if code is not None:
                counts.add("vxi11 locks taken" if code == 0 else "vxi11 locks not granted in time")
            still_open = code is not None
            for _ in range(2 if code == 0 else 0):
                still_open = still_open and vxi11_query(c, link, next(values), False, last_answer) is not None
            if code == 0 and still_open:
                still_open = c.error(DEVICE_UNLOCK, xdr(link), (0,)) is not None
        elif what < 83:
            still_open = c.error(DEVICE_CLEAR, xdr(link, WAIT_LOCK, LOCK_TIMEOUT_MS, IO_TIMEOUT_MS), (0,)) is not None
            counts.add("vxi11 device_clear")
        elif what < 88:
            c.error(DESTROY_LINK, xdr(link), (0,))
            counts.live_links.discard(link)
            c.close()
            c = None
            continue
        elif what < 95:   # gone mid-call, holding the lock
            try:
                if c.error(DEVICE_LOCK, xdr(link, WAIT_LOCK, LOCK_TIMEOUT_MS), (0, LOCKED)) == 0:
                    c.send(DEVICE_WRITE, xdr(link, IO_TIMEOUT_MS, 0, END, b":FREQ %d;:FREQ?\n" % next(values)))
                    counts.add("vxi11 disconnects mid-call holding the lock")
            except OSError:
                pass
            still_open = False
        else:             # not an RPC call, or a record over 8192 bytes: the gateway closes the connection
            try:
                c.sock.sendall(rng.choice((b"\x80\x00\x00\x08" + b"\0" * 8, b"\x80\x01\x00\x00" + b"\0" * 64)))
                counts.add("vxi11 malformed records sent")
                if c.sock.recv(64):
                    counts.violation("%s: an answer to a malformed record" % name)
            except socket.timeout:
                counts.violation("%s: a malformed record left the connection open" % name)
            except OSError:
                pass
            still_open = False
        if not still_open:
            counts.live_links.discard(link)
            c.close()
            c = None
    counts.gap(time.monotonic() - last_answer[0], name + ", at the end,")
    if c is not None:
        c.close()


def many_links_client(core_port, end, counts):
    """Asks one connection for links until refused: 8 at most, then out of resources; gives them
    back and does it again."""
    while time.monotonic() < end:
        try:
            c = RpcConnection(core_port, counts, "many-links client")
        except OSError:
            time.sleep(0.05)
            continue
        counts.add("many-links connections")
        links = []
        for _ in range(LINKS_PER_CONNECTION + 2):
            results = c.call(CREATE_LINK, xdr(77, 0, 0, b"inst0"))
            if results is None:
                break
            code = struct.unpack(">i", results[:4])[0]
            if code != 0:
                if code != OUT_OF_RESOURCES or 0 < len(links) < LINKS_PER_CONNECTION:
                    counts.violation("many-links client: create_link answered error %d after %d links" % (code, len(links)))
                counts.add("links refused past 8 on a connection" if links else "many-links turned away")
                break
            links.append(struct.unpack(">I", results[4:8])[0])
        if len(links) > LINKS_PER_CONNECTION:
            counts.violation("one connection got %d links" % len(links))
        for link in links:
            if c.error(DESTROY_LINK, xdr(link), (0,)) is None:
                break
        c.close()
        time.sleep(0.05)


def stranger_client(abort_port, end, counts):
    """From another address, aborts the VXI-11 clients' links (and ids made up): every abort is
    refused as for an unknown link, and no client's call ends aborted."""
    rng = random.Random(7)
    c = None
    while time.monotonic() < end:
        if c is None:
            try:
                c = RpcConnection(abort_port, counts, "stranger", ABORT, STRANGER)
            except OSError:
                time.sleep(0.05)
                continue
        known = list(counts.live_links)
        link = rng.choice(known) if known and rng.randrange(4) else rng.getrandbits(32)
        code = c.error(DEVICE_ABORT, xdr(link), (INVALID_LINK,))
        if code is None:
            c.close()
            c = None
        else:
            counts.add("stranger's aborts refused")
        time.sleep(0.02)
    if c is not None:
        c.close()


def leftover_client(port, end, counts):
    """A raw client whose messages leave output that it never reads (no query by the gateway's
    rule): no one else may be handed it."""
    s = None
    while time.monotonic() < end:
        try:
            if s is None:
                s = socket.create_connection(("127.0.0.1", port), timeout=WAIT_LIMIT_S)
            s.sendall(LEAVES_OUTPUT + b"\n")
            counts.add("raw output left")
        except OSError:
            if s is not None:
                s.close()
            s = None
        time.sleep(0.05)
    if s is not None:
        s.close()


def non_reading_client(k, port, end, counts):
    """Asks for long replies and never reads them (raw socket, or VXI-11 when k is odd): the
    gateway's sends stop, so the connection gives way to a newcomer or ends at the send limit. A
    request every half second finds it closed; then it connects again."""
    while time.monotonic() < end:
        try:
            if k % 2:
                c = RpcConnection(port, counts, "non-reading VXI-11 client")
                s = c.sock
                results = c.call(CREATE_LINK, xdr(k, 0, 0, b"inst0"))
                if results is None or struct.unpack(">i", results[:4])[0] != 0:   # turned away: 9
                    s.close()
                    time.sleep(0.05)
                    continue
                link = struct.unpack(">I", results[4:8])[0]

                def ask():
                    c.send(DEVICE_WRITE, xdr(link, IO_TIMEOUT_MS, 0, END, LONG_QUERY))
                    c.send(DEVICE_READ, xdr(link, 1024, IO_TIMEOUT_MS, 0, 0, 0))
            else:
                s = socket.create_connection(("127.0.0.1", port), timeout=WAIT_LIMIT_S)

                def ask():
                    s.sendall(LONG_QUERY + b"\n")
        except OSError:
            time.sleep(0.05)
            continue
        counts.add("non-reading connections")
        try:
            for _ in range(100):
                ask()
            while time.monotonic() < end:
                time.sleep(0.5)
                ask()
        except OSError:
            counts.add("non-reading connections closed by the gateway")
        s.close()


def silent_client(k, port, end, what="silent connections", counts=None):
    """Connects and stalls (on the raw socket every other one after half a line); connects again
    when closed."""
    while time.monotonic() < end:
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=WAIT_LIMIT_S)
        except OSError:
            time.sleep(0.05)
            continue
        counts.add(what)
        try:
            if k % 2 and what == "silent connections":
                s.sendall(b":FREQ 1")
            while time.monotonic() < end:
                ready, _, _ = select.select([s], [], [], min(0.5, max(0.0, end - time.monotonic())))
                if ready and not s.recv(4096):
                    counts.add(what + " closed by the gateway")
                    break
        except OSError:
            pass
        s.close()


def client_thread(counts, client, *arguments):
    """A client's thread: an exception in it (a reply too short to read, say) is a violation."""
    def run():
        try:
            client(*arguments, counts=counts)
        except Exception as e:
            counts.violation("%s %r ended by %r" % (client.__name__, arguments[:1], e))
    return threading.Thread(target=run)


def process_figures(pid):
    with open("/proc/%d/status" % pid) as f:
        rss = int(re.search(r"VmRSS:\s+(\d+) kB", f.read()).group(1))
    return rss, len(os.listdir("/proc/%d/fd" % pid))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("gateway", help="taverix-gateway, the native build")
    parser.add_argument("seconds", type=float, help="how long the clients run")
    parser.add_argument("--no-vxi11", action="store_true", help="the raw socket alone (no port 111 to be had)")
    arguments = parser.parse_args()
    gateway, seconds = arguments.gateway, arguments.seconds
    vxi11 = 0 if arguments.no_vxi11 else VXI11
    folder = tempfile.mkdtemp(prefix="gateway-soak-")
    trace_path = os.path.join(folder, "trace.txt")
    log_path = os.path.join(folder, "log.txt")
    log = open(log_path, "wb")
    command = [gateway, "--port", "0", "--no-web"] + (["--no-vxi11"] if not vxi11 else ["--core-port", "0", "--abort-port", "0"])
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=log, env=dict(os.environ, TAVERIX_SIM_TRACE=trace_path, **SIM_ENV),
                               preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    counts = Counts()
    ok = False
    try:
        lines = b""
        deadline = time.monotonic() + 60
        while lines.count(b"\n") < (4 if vxi11 else 1) and time.monotonic() < deadline:
            if select.select([process.stdout], [], [], 0.2)[0]:
                piece = os.read(process.stdout.fileno(), 256)
                if not piece:
                    break
                lines += piece
        port = int(re.search(rb"^listening on 127\.0\.0\.1:(\d+)$", lines, re.M).group(1))
        if vxi11:
            core_port = int(re.search(rb"^vxi11 core on 127\.0\.0\.1:(\d+)$", lines, re.M).group(1))
            abort_port = int(re.search(rb"^vxi11 abort on 127\.0\.0\.1:(\d+)$", lines, re.M).group(1))
            if b"vxi11 portmapper on 127.0.0.1:111" not in lines:
                counts.violation("the gateway does not serve the portmapper: %r" % lines)
        rss_start, fds_idle = process_figures(process.pid)

        end = time.monotonic() + seconds
        threads = [client_thread(counts, working_client, k, port, end, 1000 + k) for k in range(WORKING)]
        threads += [client_thread(counts, vxi11_client, WORKING + k, core_port, end, 2000 + k) for k in range(vxi11)]
        threads += [client_thread(counts, silent_client, k, port, end) for k in range(SILENT)]
        threads += [client_thread(counts, leftover_client, port, end)]
        if vxi11:
            threads += [client_thread(counts, silent_client, k, abort_port, end, "silent abort channels")
                        for k in range(SILENT_ABORT)]
            threads += [client_thread(counts, many_links_client, core_port, end),
                        client_thread(counts, stranger_client, abort_port, end)]
            threads += [client_thread(counts, non_reading_client, k, core_port if k % 2 else port, end)
                        for k in range(NON_READERS)]
        for t in threads:
            t.start()
        samples = []
        while time.monotonic() < end:
            samples.append(process_figures(process.pid))
            if process.poll() is not None:
                counts.violation("the gateway ended during the soak: %s" % process.returncode)
                break
            time.sleep(min(1.0, max(0.0, end - time.monotonic())))
        for t in threads:
            t.join(timeout=WAIT_LIMIT_S * 4)
            if t.is_alive():
                counts.violation("a client thread did not end")

        # Every connection gone: the descriptors are back where they were before the first client.
        give_up = time.monotonic() + 10
        while process_figures(process.pid)[1] > fds_idle and time.monotonic() < give_up:
            time.sleep(0.05)
        rss_end, fds_end = process_figures(process.pid)
        warm = samples[len(samples) // 4:] or samples
        rss_warm = warm[0][0] if warm else rss_start
        fds_most = max((f for _, f in samples), default=fds_idle)
        if fds_end != fds_idle:
            counts.violation("file descriptors: %d idle before, %d after" % (fds_idle, fds_end))
        # The 16 connections, one waiting for a slot on each listener the clients use (raw socket, core
        # and abort channels), the trace file open for a line.
        if fds_most > fds_idle + 16 + 4:
            counts.violation("file descriptors: %d at most, %d idle" % (fds_most, fds_idle))
        if rss_end - rss_warm > RSS_GROWTH_LIMIT_KB:
            counts.violation("memory grew from %d kB (a quarter in) to %d kB" % (rss_warm, rss_end))

        # Stopped with a VXI-11 link holding the lock: Ctrl+C still releases the instrument.
        holder = None
        if vxi11:
            holder = RpcConnection(core_port, counts, "lock holder")
            if holder.error(CREATE_LINK, xdr(99, 1, LOCK_TIMEOUT_MS, b"gpib0,4"), (0,)) != 0:
                counts.violation("create_link with the lock failed before Ctrl+C")
        process.send_signal(signal.SIGINT)
        try:
            code = process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            code = None
        with open(trace_path, encoding="latin-1") as f:
            trace = f.read().splitlines()
        faults = {
            "read time-outs, reply left pending (4)": sum(l.startswith('gp_red("4", 256) = 4 ') for l in trace),
            "failed reads (-7)": sum(l.startswith('gp_red("4", 256) = -7 ') for l in trace),
            "failed writes (-5)": sum(l.startswith('gp_wrt("4", ') and l.endswith(") = -5") for l in trace),
        }
        if holder is not None:
            holder.close()
        if code != 0:
            counts.violation("Ctrl+C: exit code %s, not 0" % code)
        if not trace or trace[-1] != 'gp_lcl("") = 0':
            counts.violation("Ctrl+C: the trace ends %r, not with gp_lcl" % (trace[-1:] or ""))
        log.flush()
        with open(log_path, "rb") as f:
            log_text = f.read()
        v = counts.values
        silent_abort = SILENT_ABORT if vxi11 else 0
        misbehaving = MISBEHAVING if vxi11 else 1
        print("soak: %.0f s, %d clients at once (%d raw socket, %d VXI-11, %d silent, %d silent abort channels, %d misbehaving), 16 slots"
              % (seconds, WORKING + vxi11 + SILENT + silent_abort + misbehaving, WORKING, vxi11, SILENT, silent_abort, misbehaving))
        print("  raw socket: transactions answered %d, unanswered %d, commands %d, refused lines sent %d"
              % (v.get("answered", 0), v.get("unanswered", 0), v.get("commands", 0), v.get("refused lines sent", 0)))
        print("  working connections %d, disconnects mid-line %d, mid-transaction %d, closed by the gateway %d"
              % (v.get("connections", 0), v.get("disconnects mid-line", 0), v.get("disconnects mid-transaction", 0),
                 v.get("closed by the gateway", 0)))
        if vxi11:
            print("  VXI-11: values set and read back %d, calls %d, connections %d, locks taken %d, not granted within %d ms %d, calls locked out %d, device_clear %d,"
                  " failed writes %d, failed reads %d, gone mid-call holding the lock %d, malformed records %d (log: %d),"
                  " turned away (create_link 9) %d"
                  % (v.get("vxi11 answered", 0), v.get("vxi11 calls", 0), v.get("vxi11 connections", 0), v.get("vxi11 locks taken", 0), LOCK_TIMEOUT_MS,
                     v.get("vxi11 locks not granted in time", 0), v.get("vxi11 locked out", 0), v.get("vxi11 device_clear", 0),
                     v.get("vxi11 failed writes", 0), v.get("vxi11 failed reads", 0),
                     v.get("vxi11 disconnects mid-call holding the lock", 0), v.get("vxi11 malformed records sent", 0),
                     log_text.count(b"closed: not an RPC call record") + log_text.count(b"closed: RPC record over 8192 bytes"),
                     v.get("vxi11 turned away", 0)))
        print("  silent connections %d, closed for a newcomer %d; silent abort channels %d, closed for a newcomer %d;"
              " closed for a newcomer (log) %d, turned away (log) %d"
              % (v.get("silent connections", 0), v.get("silent connections closed by the gateway", 0),
                 v.get("silent abort channels", 0), v.get("silent abort channels closed by the gateway", 0),
                 log_text.count(b" without a request: its slot goes to "), log_text.count(b" turned away: ")))
        print("  raw output left unread %d; VXI-11: output left %d, reads with no message of its own refused %d,"
              " its own output read %d; many-links connections %d (links refused past 8: %d, turned away %d);"
              " a stranger's aborts refused %d; non-reading connections %d, closed %d (at the send limit (log) %d)"
              % (v.get("raw output left", 0), v.get("vxi11 output left", 0), v.get("vxi11 reads without a message", 0),
                 v.get("vxi11 own output read", 0), v.get("many-links connections", 0),
                 v.get("links refused past 8 on a connection", 0), v.get("many-links turned away", 0),
                 v.get("stranger's aborts refused", 0), v.get("non-reading connections", 0),
                 v.get("non-reading connections closed by the gateway", 0),
                 log_text.count(b"closed: a reply could not be sent for 10 s")))
        print("  faults injected: " + ", ".join("%s %d" % (k, n) for k, n in faults.items())
              + "; bus calls %d" % sum(not l.startswith("#") for l in trace))
        print("  raw replies late (after %.0f s, in order) %d; raw lines dropped after waiting 5 s for a VXI-11 lock (log) %d"
              % (NO_REPLY_AFTER_S, v.get("late replies", 0), log_text.count(b"instrument locked by a VXI-11 link")))
        print("  longest wait for a reply %.0f ms (%s; limit %.0f ms); longest a working client went without an answer %.0f ms (limit %.0f ms)"
              % (counts.longest_wait * 1000, counts.longest_waiter, WAIT_LIMIT_S * 1000, counts.longest_gap * 1000, GAP_LIMIT_S * 1000))
        print("  memory (RSS) %d kB at start, %d kB a quarter in, %d kB at the end; descriptors %d idle, %d at most, %d at the end"
              % (rss_start, rss_warm, rss_end, fds_idle, fds_most, fds_end))
        print("  Ctrl+C: exit code %s, last bus call %s" % (code, trace[-1] if trace else "none"))
        if v.get("answered", 0) == 0 or (vxi11 and v.get("vxi11 answered", 0) == 0):
            counts.violation("no transaction answered on one side")
        if sum(faults.values()) == 0:
            counts.violation("no fault injected")
        for text in counts.violations:
            print("  VIOLATION: " + text)
        ok = not counts.violations
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        log.close()
    print("soak: %d passed, %d failed" % ((1, 0) if ok else (0, 1)))
    if ok:
        for name in (trace_path, log_path):
            os.unlink(name)
        os.rmdir(folder)
    else:
        print("soak: trace and log kept in " + folder)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
