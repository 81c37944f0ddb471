#!/usr/bin/python3
"""The gateway's VXI-11 side from outside, in a network namespace of the test's own (run through
tests/gateway/in-netns.sh, so that the gateway may take port 111): pyvisa-py and lxi-tools as users
meet them, and hand-made ONC RPC records for what no client exposes. Bus effects are read from the
simulator's trace.

GATEWAY is the program; WINE_RUN (tools/wine-run.sh) runs a Windows build under Wine, '' natively;
unittest's own arguments may follow, e.g. GATEWAY '' -k test_4."""
import os
import re
import socket
import struct
import subprocess
import sys
import argparse
import threading
import time
import unittest
import warnings

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
if __name__ == "__main__":
    # Before anything imports pyvisa: --help answers where it is missing.
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("gateway", help="taverix-gateway, native or .exe")
    parser.add_argument("wine_run", nargs="?", default="", help="tools/wine-run.sh for a Windows build")
    arguments, unittest_arguments = parser.parse_known_args()
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gateway_client_test as base   # noqa: E402  the gateway process, its trace and its log
if __name__ == "__main__":
    base.GATEWAY, base.WINE_RUN = arguments.gateway, arguments.wine_run
from gateway_client_test import WAIT_SECONDS, START_SECONDS, CLIENT_TIMEOUT_MS, raw_query, wait_until   # noqa: E402

import pyvisa   # noqa: E402

NAMESPACE_ADDRESS = "10.73.16.1"   # the namespace's own interface (tests/gateway/in-netns.sh)
IDN = "QX-SIM,QX-7316,0,1.00"

PMAP, CORE, ABORT = 100000, 0x0607AF, 0x0607B0
TCP = 6
LAST = 0x80000000
# Core channel procedures
CREATE_LINK, WRITE, READ, READSTB, TRIGGER, CLEAR, REMOTE, LOCAL, LOCK, UNLOCK, ENABLE_SRQ, DOCMD, DESTROY_LINK = \
    10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 22, 23
WAITLOCK, END, TERMCHRSET = 1, 8, 128                   # operation flags
REQCNT, CHR, REASON_END = 1, 2, 4                       # read reasons
NOT_SUPPORTED, OUT_OF_RESOURCES, LOCKED, NO_LOCK, IO_TIMEOUT, ABORTED = 8, 9, 11, 12, 15, 23
IO_MS = 20000


def xdr(*items):
    """Numbers as 32-bit words, bytes and str as variable-length opaque data."""
    out = b""
    for item in items:
        if isinstance(item, str):
            item = item.encode("latin-1")
        if isinstance(item, bytes):
            out += struct.pack(">I", len(item)) + item + b"\0" * (-len(item) % 4)
        else:
            out += struct.pack(">I", item & 0xFFFFFFFF)
    return out


class Reply:
    def __init__(self, data):
        self.data, self.at = data, 0

    def word(self):
        (value,) = struct.unpack_from(">I", self.data, self.at)
        self.at += 4
        return value

    def opaque(self):
        size = self.word()
        value = self.data[self.at:self.at + size]
        self.at += size + (-size % 4)
        return value


def call_record(xid, prog, vers, proc, body):
    return struct.pack(">10I", xid, 0, 2, prog, vers, proc, 0, 0, 0, 0) + body


def accepted(data, xid):
    """(accept_stat, the results) of a reply to call xid."""
    r = Reply(data)
    assert (r.word(), r.word(), r.word()) == (xid, 1, 0), "not an accepted reply to %d: %r" % (xid, data)
    r.word()
    r.opaque()   # verifier
    return r.word(), r


class Rpc:
    """One TCP connection speaking record-marked ONC RPC."""

    def __init__(self, port, host="127.0.0.1", receive_buffer=0, source=None):
        self.s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if source:
            self.s.bind((source, 0))
        if receive_buffer:   # before connecting: the window it offers stays that small
            self.s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        self.s.settimeout(WAIT_SECONDS)
        self.s.connect((host, port))
        self.replies = self.s.makefile("rb")
        self.xid = 0

    def close(self):
        self.replies.close()
        self.s.close()

    def send(self, prog, vers, proc, body, pieces=1):
        """The call as one record in `pieces` fragments."""
        self.xid += 1
        record = call_record(self.xid, prog, vers, proc, body)
        step = -(-len(record) // pieces)
        parts = [record[i:i + step] for i in range(0, len(record), step)]
        self.s.sendall(b"".join(struct.pack(">I", len(p) | (LAST if k == len(parts) - 1 else 0)) + p
                                for k, p in enumerate(parts)))
        return self.xid

    def _exactly(self, size):
        data = self.replies.read(size)
        if len(data) < size:
            raise ConnectionError("closed by the gateway")
        return data

    def receive(self, xid):
        data, last = b"", False
        while not last:
            (mark,) = struct.unpack(">I", self._exactly(4))
            last = bool(mark & LAST)
            data += self._exactly(mark & ~LAST)
        return accepted(data, xid)

    def call(self, prog, vers, proc, body, pieces=1):
        status, reply = self.receive(self.send(prog, vers, proc, body, pieces))
        assert status == 0, "call %d of %#x: accept_stat %d" % (proc, prog, status)
        return reply

    def closed_by_peer(self):
        try:
            return self.s.recv(1) == b""
        except ConnectionResetError:
            return True

    # The core channel
    def create_link(self, device, lock=False, lock_timeout=0):
        r = self.call(CORE, 1, CREATE_LINK, xdr(7316, int(lock), lock_timeout, device))
        return r.word(), r.word(), r.word(), r.word()   # error, link, abort port, max receive size

    def write(self, link, data, flags=END, lock_timeout=0, io_timeout=IO_MS):
        r = self.call(CORE, 1, WRITE, xdr(link, io_timeout, lock_timeout, flags, data))
        return r.word(), r.word()

    def read(self, link, size=1024, flags=0, term=0, io_timeout=IO_MS, lock_timeout=0):
        r = self.call(CORE, 1, READ, xdr(link, size, io_timeout, lock_timeout, flags, term))
        return r.word(), r.word(), r.opaque()

    def generic(self, proc, link, flags=0, lock_timeout=0, io_timeout=IO_MS):
        return self.call(CORE, 1, proc, xdr(link, flags, lock_timeout, io_timeout)).word()

    def lock(self, link, flags=0, lock_timeout=0):
        return self.call(CORE, 1, LOCK, xdr(link, flags, lock_timeout)).word()

    def unlock(self, link):
        return self.call(CORE, 1, UNLOCK, xdr(link)).word()

    def query(self, link, message):
        assert self.write(link, message) == (0, len(message))
        error, reason, data = self.read(link)
        assert (error, reason) == (0, REASON_END), (error, reason, data)
        return data


def getport(prog, vers=1, proto=TCP, udp=False, host="127.0.0.1"):
    body = xdr(prog, vers, proto, 0)
    if not udp:
        pm = Rpc(111, host)
        try:
            return pm.call(PMAP, 2, 3, body).word()
        finally:
            pm.close()
    status, reply, _, _ = udp_call(3, body, host)
    assert status == 0
    return reply.word()


def udp_call(proc, body, host):
    """A portmapper call in one datagram: (accept_stat, the results, the call's size, the address
    the reply came from)."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(WAIT_SECONDS)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        call = call_record(99, PMAP, 2, proc, body)
        s.sendto(call, (host, 111))
        data, source = s.recvfrom(65536)
        status, reply = accepted(data, 99)
        return status, reply, len(call), source[0]


class FakePortmapper:
    """Another program on port 111 (TCP and UDP): a portmapper that takes registrations or refuses
    them, answering rpcbind's versions 3 and 4 with PROG_MISMATCH as a version 2 one does."""

    def __init__(self, accept):
        self.accept, self.calls, self.ports = accept, [], {}
        self.tcp = socket.create_server(("0.0.0.0", 111))
        self.udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.udp.bind(("0.0.0.0", 111))
        self.threads = [threading.Thread(target=self._serve_udp, daemon=True),
                        threading.Thread(target=self._serve_tcp, daemon=True)]
        for thread in self.threads:
            thread.start()

    def _answer(self, data):
        r = Reply(data)
        xid, _, _, prog, vers, proc = (r.word() for _ in range(6))
        for _ in range(2):   # credential and verifier
            r.word()
            r.opaque()
        head = struct.pack(">6I", xid, 1, 0, 0, 0, 0)
        if prog != PMAP or vers != 2:
            return struct.pack(">6I", xid, 1, 0, 0, 0, 2) + xdr(2, 2)
        mapping = tuple(r.word() for _ in range(4)) if proc in (1, 2, 3) else None
        self.calls.append((proc, mapping))
        if proc == 1:
            if self.accept:
                self.ports[mapping[:3]] = mapping[3]
            return head + xdr(int(self.accept))
        if proc == 2:
            return head + xdr(int(self.ports.pop(mapping[:3], None) is not None))
        if proc == 3:
            return head + xdr(self.ports.get(mapping[:3], 0))
        return head + (xdr(0) if proc == 4 else b"")

    def _serve_udp(self):
        try:
            while True:
                data, peer = self.udp.recvfrom(65536)
                if not data:
                    return
                self.udp.sendto(self._answer(data), peer)
        except OSError:
            return

    def _serve_tcp(self):
        try:
            while True:
                conn, _ = self.tcp.accept()
                threading.Thread(target=self._serve_connection, args=(conn,), daemon=True).start()
        except OSError:
            return

    def _serve_connection(self, conn):
        with conn:
            f = conn.makefile("rb")
            while True:
                mark = f.read(4)
                if len(mark) < 4:
                    return
                (size,) = struct.unpack(">I", mark)
                reply = self._answer(f.read(size & ~LAST))
                conn.sendall(struct.pack(">I", len(reply) | LAST) + reply)

    def close(self):
        for s in (self.tcp, self.udp):
            try:
                s.shutdown(socket.SHUT_RDWR)   # wakes the thread waiting on it (ENOTCONN for UDP, done all the same)
            except OSError:
                pass
        for thread in self.threads:   # port 111 is free once they are out of their calls
            thread.join(timeout=WAIT_SECONDS)
        for s in (self.tcp, self.udp):
            s.close()


class Gateway(base.Gateway):
    protocols = ("--no-web",)   # VXI-11 on, as by default; the web page has a test of its own
    host = "127.0.0.1"   # where the test reaches it

    def wait_started(self, vxi11=True):
        """Waits for the raw socket's line and, unless turned off, for the portmapper to give the
        core channel's port."""
        self.started = []
        while True:
            line = self.out.get(timeout=START_SECONDS)
            if line is None:
                raise AssertionError("ended while starting; output %s, log %s" % (self.started, self.log_lines()))
            self.started.append(line)
            match = re.fullmatch(r"listening on [\d.]+:(\d+)", line)
            if match:
                self.port = int(match.group(1))
                break
        if vxi11:
            def core_port():
                try:
                    self.core_port = getport(CORE, host=self.host)
                    return self.core_port
                except OSError:
                    return 0
            wait_until(core_port, "the core channel's port from the portmapper")
        return self

    def output(self):
        """Every line it printed so far, on both streams."""
        while not self.out.empty():
            line = self.out.get()
            if line is not None:
                self.started.append(line)
        return self.started + self.log_lines()

    def rpc(self, host=None, **options):
        return Rpc(self.core_port, host or self.host, **options)

    def link(self, device="gpib0,4", host=None):
        c = self.rpc(host)
        error, link, abort_port, _ = c.create_link(device)
        assert error == 0, "create_link %s: %d" % (device, error)
        return c, link, abort_port

    def instrument(self, manager, resource="TCPIP0::127.0.0.1::gpib0,4::INSTR"):
        r = manager.open_resource(resource, read_termination="\n", write_termination="\n")
        r.timeout = CLIENT_TIMEOUT_MS
        return r



def lxi(*args):
    done = subprocess.run(["lxi", *args], stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=START_SECONDS)
    return done.returncode, done.stdout + done.stderr


class Vxi11Session(unittest.TestCase):
    """One gateway, listening on every address of the namespace, serves every case in turn."""

    @classmethod
    def setUpClass(cls):
        cls.gateway = Gateway("--listen", "0.0.0.0", env={"TAVERIX_SIM_TIMEOUT_MS": "4000"}).wait_started()
        cls.manager = pyvisa.ResourceManager("@py")

    @classmethod
    def tearDownClass(cls):
        cls.manager.close()
        print("\n-- the gateway's last lines:", *cls.gateway.output()[-30:], sep="\n", file=sys.stderr)
        cls.gateway.kill()

    def test_1_pyvisa_query_settings_clear_and_close_on_both_device_names(self):
        for resource, frequency in (("TCPIP0::127.0.0.1::gpib0,4::INSTR", 2500), ("TCPIP0::127.0.0.1::INSTR", 1234)):
            r = self.gateway.instrument(self.manager, resource)
            self.assertEqual(r.query("*IDN?"), IDN)
            r.write(":FUNC SQU;:FREQ %d;:AMPL 1.25" % frequency)
            self.assertEqual(r.query(":FUNC?;:FREQ?;:AMPL?"), "SQU;%+.6E;+1.250000E+00" % frequency)
            r.clear()
            trace = self.gateway.trace()
            self.assertEqual(trace[-3], 'gp_wrt("4", ":FUNC?;:FREQ?;:AMPL?") = 0', resource)
            self.assertEqual(trace[-1], 'gp_clr("4") = 0', resource)
            self.assertEqual(r.query("*OPC?"), "1")
            r.close()

    def test_2_lxi_scpi_through_libtirpc_and_discovery_by_broadcast(self):
        code, out = lxi("scpi", "-t", "30", "-a", "127.0.0.1", "*IDN?")
        self.assertEqual((code, out.strip()), (0, IDN))
        code, out = lxi("discover", "-t", "10")
        self.assertEqual(code, 0, out)
        self.assertRegex(out, r'Found "%s" on address %s\b' % (re.escape(IDN), re.escape(NAMESPACE_ADDRESS)))

    def test_3_portmapper_answers(self):
        core = self.gateway.core_port
        for what, got, expected in (
                ("core over UDP", getport(CORE, udp=True), core),
                ("core version 2", getport(CORE, vers=2), 0),
                ("the abort channel", getport(ABORT), 0),
                ("by broadcast", getport(CORE, udp=True, host="10.73.16.255"), core)):
            self.assertEqual(got, expected, what)
        pm = Rpc(111)
        dump = pm.call(PMAP, 2, 4, b"")
        mappings = []
        while dump.word():
            mappings.append(tuple(dump.word() for _ in range(4)))
        self.assertIn((CORE, 1, TCP, core), mappings)
        pm.close()

    def test_4_reads_in_pieces_joined_writes_fragments_remote_local_and_clear(self):
        c, link, _ = self.gateway.link("GPIB0,4")
        self.assertEqual(c.write(link, "*ID", flags=0), (0, 3))
        self.assertEqual(c.call(CORE, 1, WRITE, xdr(link, IO_MS, 0, END, "N?"), pieces=3).word(), 0)
        pieces = []
        while True:
            error, reason, data = c.read(link, size=5)
            self.assertEqual(error, 0)
            pieces.append(data)
            if reason != REQCNT:
                break
        self.assertEqual(reason, REASON_END)
        self.assertEqual(b"".join(pieces), IDN.encode() + b"\n")
        self.assertTrue(all(len(p) == 5 for p in pieces[:-1]), pieces)
        writes = [line for line in self.gateway.trace() if line.startswith("gp_wrt")]
        self.assertEqual(writes[-1], 'gp_wrt("4", "*IDN?") = 0')
        self.assertNotIn('gp_wrt("4", "*ID") = 0', writes)

        self.assertEqual(c.write(link, ":FREQ 1234;:FREQ?;:AMPL 1.25;:AMPL?"), (0, 35))
        self.assertEqual(c.read(link, flags=TERMCHRSET, term=ord(";")), (0, CHR, b"+1.234000E+03;"))
        self.assertEqual(c.read(link), (0, REASON_END, b"+1.250000E+00\n"))

        for proc, line in ((REMOTE, 'gp_ren() = 0'), (LOCAL, 'gp_lcl("4") = 0')):
            self.assertEqual(c.generic(proc, link), 0)
            self.assertEqual(self.gateway.trace()[-1], line)
        # A clear drops the half-written message: the next message goes out alone.
        self.assertEqual(c.write(link, ":FREQ 9", flags=0), (0, 7))
        self.assertEqual(c.generic(CLEAR, link), 0)
        self.assertEqual(c.query(link, "*OPC?"), b"1\n")
        self.assertEqual(self.gateway.trace()[-3:-1], ['gp_clr("4") = 0', 'gp_wrt("4", "*OPC?") = 0'])
        self.assertEqual(c.call(CORE, 1, DESTROY_LINK, xdr(link)).word(), 0)
        c.close()

    def test_5_device_names_and_what_is_not_supported(self):
        c = self.gateway.rpc()
        links = []
        for device in ("inst0", "INST0", "gpib0,4", "Gpib0,4"):
            error, link, _, _ = c.create_link(device)
            self.assertEqual(error, 0, device)
            links.append(link)
        other, link, _ = self.gateway.link()
        links.append(link)
        self.assertEqual(len(set(links)), len(links), "link ids unique across connections")
        for device in ("gpib0,31", "gpib1,4", "gpib0,4,1", "gpib0,", "inst1", "x" * 40, ""):
            self.assertEqual(c.create_link(device)[0], 3, device)   # device not accessible
        link = links[0]
        for what, proc, body, expected in (
                ("readstb", READSTB, xdr(link, 0, 0, IO_MS), NOT_SUPPORTED),
                ("trigger", TRIGGER, xdr(link, 0, 0, IO_MS), NOT_SUPPORTED),
                ("docmd", DOCMD, xdr(link, 0, IO_MS, 0, 0x20000, 1, 0, b""), NOT_SUPPORTED),
                ("enable srq", ENABLE_SRQ, xdr(link, 1, b"handle"), NOT_SUPPORTED),
                ("disable srq", ENABLE_SRQ, xdr(link, 0, b""), 0),
                ("unlock without a lock", UNLOCK, xdr(link), NO_LOCK),
                ("write to an unknown link", WRITE, xdr(9999, IO_MS, 0, END, b":FREQ 6666"), 4),
                ("a message over 255 bytes", WRITE, xdr(link, IO_MS, 0, END, b":FREQ 7777;" + b" " * 245), 5),
                ("a zero byte", WRITE, xdr(link, IO_MS, 0, END, b":FREQ 8888\0"), 5)):
            self.assertEqual(c.call(CORE, 1, proc, body).word(), expected, what)
        self.assertFalse([line for line in self.gateway.trace() if re.search("6666|7777|8888", line)])
        c.close()
        other.close()

    def test_6_locks_between_two_pyvisa_sessions_and_a_killed_holder(self):
        a, b = self.gateway.instrument(self.manager), self.gateway.instrument(self.manager)
        a.lock_excl()
        with self.assertRaises(pyvisa.VisaIOError):
            b.write(":FREQ 4321")
        with self.assertRaises(pyvisa.VisaIOError):
            b.lock_excl()
        self.assertEqual(a.query(":FREQ 1111;:FREQ?"), "+1.111000E+03")
        self.assertNotIn("4321", " ".join(self.gateway.trace()))
        a.unlock()
        b.lock_excl()
        b.unlock()
        a.close()

        holder = subprocess.Popen([sys.executable, "-c", (
            "import pyvisa, time\n"
            "r = pyvisa.ResourceManager('@py').open_resource('TCPIP0::127.0.0.1::gpib0,4::INSTR')\n"
            "r.lock_excl()\nprint('locked', flush=True)\ntime.sleep(600)\n")],
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
        try:
            self.assertEqual(holder.stdout.readline(), "locked\n")
            with self.assertRaises(pyvisa.VisaIOError):
                b.lock_excl()
        finally:
            holder.kill()
            holder.wait()
            holder.stdout.close()

        def locks():
            try:
                b.lock_excl()
                return True
            except pyvisa.VisaIOError:
                return False
        wait_until(locks, "the killed holder's lock freed")
        b.unlock()
        b.close()

    def test_7_waiting_for_a_lock_or_the_bus_abort_io_timeout_and_raw_lines(self):
        holder, held, abort_port = self.gateway.link()
        waiter, link, _ = self.gateway.link()
        self.assertEqual(waiter.write(link, "*IDN?"), (0, 5))   # its reply waits in the gateway
        self.assertEqual(holder.lock(held), 0)
        self.assertEqual(waiter.lock(link, flags=WAITLOCK, lock_timeout=300), LOCKED)   # waited, then gave up
        # Not handed out, nor a message begun, while another link holds the lock; lock_timeout
        # bounds the wait for the lock, io_timeout only the bus after it.
        self.assertEqual(waiter.read(link, flags=WAITLOCK, lock_timeout=100), (LOCKED, 0, b""))
        self.assertEqual(waiter.write(link, ":FREQ 4444", flags=0), (LOCKED, 0))
        since = time.monotonic()
        self.assertEqual(waiter.write(link, ":FREQ 4444", flags=WAITLOCK, lock_timeout=600, io_timeout=100), (LOCKED, 0))
        self.assertGreaterEqual(time.monotonic() - since, 0.6)

        # A raw line for the locked address waits for the lock, a while at most, then is dropped.
        raw = self.gateway.raw_socket()
        raw.sendall(b":FREQ 2222;:FREQ?\n")
        self.assertEqual(holder.query(held, "*OPC?"), b"1\n")
        self.assertNotIn("2222", " ".join(self.gateway.trace()))
        self.assertEqual(holder.unlock(held), 0)
        self.assertEqual(raw_query(raw, b""), b"+2.222000E+03\n")
        self.assertEqual(holder.lock(held), 0)
        raw.sendall(b":FREQ 3333\n")
        self.gateway.wait_log(r'":FREQ 3333"', "the raw line dropped")
        self.assertNotIn("3333", " ".join(self.gateway.trace()))

        # A call waiting for the lock, or for the bus, ends with an abort from the abort channel.
        aborter = Rpc(abort_port)
        self.assertEqual(aborter.call(ABORT, 1, 1, xdr(9999)).word(), 4)

        def aborted_write(**options):
            result = []
            waiting = threading.Thread(target=lambda: result.append(waiter.write(link, "*CLS", **options)))
            waiting.start()

            def aborted():   # an abort that came before the write began waiting is not kept: again
                self.assertEqual(aborter.call(ABORT, 1, 1, xdr(link)).word(), 0)
                waiting.join(timeout=0.2)
                return not waiting.is_alive()
            wait_until(aborted, "the waiting write aborted")
            return result
        self.assertEqual(aborted_write(flags=END | WAITLOCK, lock_timeout=600000), [(ABORTED, 0)])
        self.assertEqual(holder.unlock(held), 0)
        self.assertEqual(waiter.read(link), (0, REASON_END, IDN.encode() + b"\n"))
        self.assertNotIn("4444", " ".join(self.gateway.trace()))

        # A raw query with no reply holds the bus for its time-out (5 x 4 s): a call waits for
        # the bus at most io_timeout, or until aborted.
        raw.sendall(b":NO:REPLY?\n")
        wait_until(lambda: 'gp_wrt("4", ":NO:REPLY?") = 0' in self.gateway.trace(), "the raw query on the bus")
        self.assertEqual(waiter.write(link, "*OPC?", io_timeout=300), (IO_TIMEOUT, 0))
        self.assertEqual(aborted_write(), [(ABORTED, 0)])
        self.assertNotIn('"*CLS"', " ".join(self.gateway.trace()))
        self.assertEqual(waiter.write(link, "*OPC?", io_timeout=WAIT_SECONDS * 1000), (0, 5))
        self.assertEqual(waiter.read(link), (0, REASON_END, b"1\n"))

        # destroy_link frees its lock.
        self.assertEqual(holder.lock(held), 0)
        self.assertEqual(holder.call(CORE, 1, DESTROY_LINK, xdr(held)).word(), 0)
        self.assertEqual((waiter.lock(link), waiter.unlock(link)), (0, 0))
        for c in (holder, waiter, aborter, raw):
            c.close()

    def test_8_bad_records_close_their_connection_only(self):
        for what, record in (
                ("a call shorter than its header", struct.pack(">I", LAST | 8) + b"\0" * 8),
                ("a record over the limit", struct.pack(">I", LAST | 100000) + b"\0" * 9000),
                ("fragments adding up over the limit", (struct.pack(">I", 4000) + b"\0" * 4000) * 3)):
            c = self.gateway.rpc()
            port = c.s.getsockname()[1]
            try:
                c.s.sendall(record)
            except (BrokenPipeError, ConnectionResetError):
                pass
            self.assertTrue(c.closed_by_peer(), what)
            self.gateway.wait_log(r"127\.0\.0\.1:%d closed" % port, "the log line of " + what)
            c.close()
        # Arguments that do not fit their record: the protocol's GARBAGE_ARGS, and the connection goes on.
        c = self.gateway.rpc()
        status, _ = c.receive(c.send(CORE, 1, CREATE_LINK, xdr(1, 0, 0, 0x7FFFFFF0)))
        self.assertEqual(status, 4)
        self.assertEqual(c.create_link("inst0")[0], 0)
        c.close()
        c, link, _ = self.gateway.link()
        self.assertEqual(c.query(link, "*OPC?"), b"1\n")
        c.close()

    def test_9_sixteen_connections_8_links_each_and_64_links_at_most(self):
        connections = []

        def one_more():
            c = self.gateway.rpc()
            try:
                if c.create_link("inst0")[0] == 0:
                    connections.append(c)
                    return True
            except OSError:
                pass
            c.close()
            return False
        try:
            for _ in range(16):   # earlier cases' connections may still be closing
                wait_until(one_more, "a connection with a link")
            self.assertFalse(one_more(), "a 17th connection served")
            errors = [c.create_link("inst0")[0] for c in connections for _ in range(3)]
            self.assertEqual(errors, [0] * 48)
            self.assertEqual(connections[0].create_link("inst0")[0], OUT_OF_RESOURCES, "a 65th link")
            for _ in range(2):
                connections.pop().close()
            wait_until(one_more, "a connection again once one closed")
            errors = [connections[0].create_link("inst0")[0] for _ in range(5)]
            self.assertEqual(errors, [0] * 4 + [OUT_OF_RESOURCES], "a ninth link on one connection")
            self.assertEqual(connections[1].create_link("inst0")[0], 0)
        finally:
            for c in connections:
                c.close()

    def test_10_silent_abort_channels_give_way_to_a_pyvisa_session(self):
        c, _, abort_port = self.gateway.link()
        c.close()
        silent = []
        try:
            for _ in range(16):
                silent.append(socket.create_connection(("127.0.0.1", abort_port), timeout=WAIT_SECONDS))
            ports = "|".join(str(s.getsockname()[1]) for s in silent)
            wait_until(lambda: len([line for line in self.gateway.log_lines()
                                    if re.search(r"127\.0\.0\.1:(%s) connected" % ports, line)]) == 16,
                       "every silent abort channel taken in")
            r = self.gateway.instrument(self.manager)
            self.assertEqual(r.query("*IDN?"), IDN)
            r.close()
            self.gateway.wait_log(r"127\.0\.0\.1:(%s) closed after \d+ ms without a request" % ports,
                                  "a silent abort channel closed to make room")
        finally:
            for s in silent:
                s.close()

    def test_11_one_pc_gets_8_connections_and_16_links_at_most_this_machine_more(self):
        pc = "TCPIP0::%s::gpib0,4::INSTR" % NAMESPACE_ADDRESS   # the peer is that address, not loopback
        sessions = []
        try:
            for _ in range(8):
                sessions.append(self.gateway.instrument(self.manager, pc))
            self.assertEqual(sessions[-1].query("*IDN?"), IDN)
            with self.assertRaises(Exception):   # its portmapper connection, or create_link, turned away
                sessions.append(self.gateway.instrument(self.manager, pc))
            self.gateway.wait_log(r"^\S+ \S+ %s:\d+ turned away: 8 connections from this address already, every one at work"
                                  % re.escape(NAMESPACE_ADDRESS), "the ninth connection turned away")
            local = self.gateway.instrument(self.manager)
            self.assertEqual(local.query("*IDN?"), IDN)
            local.close()
        finally:
            for r in sessions:
                r.close()
        connections = [self.gateway.rpc(NAMESPACE_ADDRESS) for _ in range(3)]
        try:
            errors = [c.create_link("inst0")[0] for c in connections[:2] for _ in range(9)]
            self.assertEqual(errors, ([0] * 8 + [OUT_OF_RESOURCES]) * 2)
            self.assertEqual(connections[2].create_link("inst0")[0], OUT_OF_RESOURCES, "a 17th link from one PC")
            connections.pop(0).close()
            wait_until(lambda: connections[1].create_link("inst0")[0] == 0, "a link again once 8 were freed")
        finally:
            for c in connections:
                c.close()

    def test_12_link_ids_unguessable_and_aborts_only_from_the_links_own_client(self):
        c = self.gateway.rpc()
        ids = [c.create_link("inst0")[1] for _ in range(8)]
        c.close()
        self.assertEqual(len(set(ids)), 8)
        self.assertGreater(max(ids) - min(ids), 8, "not in a row")
        self.assertGreaterEqual(max(ids), 1 << 24, "drawn from all 32 bits")

        holder, held, abort_port = self.gateway.link()
        owner, link, _ = self.gateway.link(host=NAMESPACE_ADDRESS)
        stranger, own = Rpc(abort_port), Rpc(abort_port, NAMESPACE_ADDRESS)
        try:
            for aborter, expected in ((stranger, 0), (own, ABORTED)):
                self.assertEqual(holder.lock(held), 0)
                result = []
                waiting = threading.Thread(
                    target=lambda: result.append(owner.lock(link, flags=WAITLOCK, lock_timeout=600000)))
                waiting.start()
                if aborter is stranger:
                    self.assertEqual(stranger.call(ABORT, 1, 1, xdr(link)).word(), 4)
                    self.assertEqual(holder.unlock(held), 0)   # the owner then gets the lock: not aborted
                    waiting.join(WAIT_SECONDS)
                    self.assertEqual(owner.unlock(link), 0)
                else:
                    def aborted():
                        self.assertEqual(own.call(ABORT, 1, 1, xdr(link)).word(), 0)
                        waiting.join(timeout=0.2)
                        return not waiting.is_alive()
                    wait_until(aborted, "the owner's wait aborted by its own client")
                    self.assertEqual(holder.unlock(held), 0)
                self.assertEqual(result, [expected])
        finally:
            for c in (holder, owner, stranger, own):
                c.close()

    def test_13_a_read_gets_only_what_follows_its_own_message(self):
        raw = self.gateway.raw_socket()
        leftover = ":FUNC 'x;*IDN?;'"   # no query by the quote-aware rule, yet the instrument answers
        raw.sendall(leftover.encode() + b"\n")
        written = 'gp_wrt("4", "%s") = 0' % leftover
        wait_until(lambda: written in self.gateway.trace(), "the raw line on the bus")
        r = self.gateway.instrument(self.manager)
        try:
            with self.assertRaises(pyvisa.VisaIOError):
                r.read()
            self.assertEqual(self.gateway.trace()[-1], written, "the bus untouched")
            self.gateway.wait_log(r"device_read .*another client wrote.*, error 15$", "the refused read logged")
            r.write(leftover)
            self.assertEqual(r.read(), IDN, "its own message's output")
        finally:
            r.close()
            raw.close()


def listening(kind):
    """The local addresses of the namespace's listening sockets, 'u' UDP or 't' TCP."""
    out = subprocess.run(["ss", "-Hln" + kind], capture_output=True, text=True, check=True).stdout
    return {line.split()[3] for line in out.splitlines()}


def unacknowledged(s):
    """Bytes s sent that its peer has not acknowledged (struct tcp_info's tcpi_unacked)."""
    return struct.unpack_from("I", s.getsockopt(socket.IPPROTO_TCP, socket.TCP_INFO, 104), 24)[0]


class OneInterface(unittest.TestCase):
    """A gateway serving one interface of the namespace, d0's 10.73.16.1, and clients on it: the
    portmapper's UDP side where the TCP side is, and clients that read nothing or vanish."""

    @classmethod
    def setUpClass(cls):
        reply = ",".join("%04d" % i for i in range(199))   # about 1 KB: a few dozen fill a send buffer
        cls.gateway = Gateway("--listen", NAMESPACE_ADDRESS, "--allow", "10.73.16.0/24",
                              env={"TAVERIX_SIM_REPLIES": ":DATA?=%s\\n" % reply})
        cls.gateway.host = NAMESPACE_ADDRESS
        cls.gateway.wait_started()
        cls.manager = pyvisa.ResourceManager("@py")

    @classmethod
    def tearDownClass(cls):
        cls.manager.close()
        print("\n-- the gateway's last lines:", *(l[:160] for l in cls.gateway.output()[-30:]), sep="\n", file=sys.stderr)
        cls.gateway.kill()

    def test_1_udp_served_where_tcp_is_null_and_getport_alone(self):
        g = self.gateway
        # Natively a second socket takes the subnet's broadcasts. Windows gives them to the socket
        # bound to the interface's address, and Wine binds such a socket to the interface (d0).
        self.assertIn("vxi11 portmapper on 10.73.16.1:111 (tcp, udp)" + (
            "" if base.WINE_RUN else " and 10.73.16.255:111 (udp broadcasts)"), g.output())
        self.assertEqual({a for a in listening("u") if a.endswith(":111")},
                         {"0.0.0.0%d0:111"} if base.WINE_RUN else {"10.73.16.1:111", "10.73.16.255:111"})
        self.assertEqual({a.rpartition(":")[0] for a in listening("t")}, {NAMESPACE_ADDRESS})
        for host in (NAMESPACE_ADDRESS, "10.73.16.255"):   # directly and by broadcast, answered from the address
            status, reply, _, source = udp_call(3, xdr(CORE, 1, TCP, 0), host)
            self.assertEqual((status, reply.word(), source), (0, g.core_port, NAMESPACE_ADDRESS), host)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:   # nothing bound on loopback
            s.settimeout(WAIT_SECONDS)
            s.connect(("127.0.0.1", 111))
            s.send(call_record(1, PMAP, 2, 3, xdr(CORE, 1, TCP, 0)))
            self.assertRaises(ConnectionRefusedError, s.recv, 100)
        # Over UDP no reply is larger than its call: NULL, and no DUMP (PROC_UNAVAIL).
        for proc, expected in ((0, 0), (4, 3)):
            status, reply, call_size, _ = udp_call(proc, b"", NAMESPACE_ADDRESS)
            self.assertEqual(status, expected, proc)
            self.assertLessEqual(len(reply.data), call_size, proc)
        pm = Rpc(111, NAMESPACE_ADDRESS)
        dump = pm.call(PMAP, 2, 4, b"")
        self.assertEqual(dump.word(), 1)   # over TCP DUMP is answered
        pm.close()

    def test_2_clients_that_read_nothing_give_way_then_go_as_does_one_that_vanished(self):
        g = self.gateway
        # A VXI-11 client vanishes, its address gone from the network, once the gateway has its
        # write and before the reply goes out: the write waits for another link's lock until then.
        # Not under Wine 8.0, which takes no limit for unacknowledged data (TCP_MAXRT) from a program.
        vanishing = None if base.WINE_RUN else self.vanish_with_a_reply_due()

        # Raw and VXI-11 clients take every other slot, from two PCs (8 connections an address at
        # most); each asks for far more than the buffers between it and the gateway hold, and reads
        # nothing: the gateway's sends to them stop.
        raws, rpcs = [], []
        for pc in ("10.73.16.3", "10.73.16.4"):
            subprocess.run(["ip", "addr", "add", pc + "/24", "dev", "d0"], check=True)
            self.addCleanup(subprocess.run, ["ip", "addr", "del", pc + "/24", "dev", "d0"], check=True)
        for k in range(16 - (1 if vanishing else 0)):
            pc = "10.73.16.%d" % (3 + k % 2)
            if k // 2 % 2:
                vxi = Rpc(g.core_port, g.host, receive_buffer=4096, source=pc)
                error, link, _, _ = vxi.create_link("inst0")
                self.assertEqual(error, 0)
                for _ in range(150):
                    vxi.send(CORE, 1, WRITE, xdr(link, IO_MS, 0, END, ":DATA?"))
                    vxi.send(CORE, 1, READ, xdr(link, 1024, IO_MS, 0, 0, 0))
                rpcs.append(vxi)
                continue
            raw = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            raw.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            raw.settimeout(WAIT_SECONDS)
            raw.bind((pc, 0))
            raw.connect((g.host, g.port))
            raw.sendall(b":DATA?\n" * 200)
            raws.append(raw)

        # Every slot is taken, none by a connection at work once its sends stop: working clients get
        # in, pyvisa's VXI-11 and a raw one (turned away while the gateway still sends, they try again).
        def served(attempt):
            try:
                return attempt()
            except Exception:   # pyvisa-py's create_link answered 9 is a plain Exception
                return False
        working = []
        wait_until(lambda: served(lambda: working.append(g.instrument(self.manager, "TCPIP0::%s::gpib0,4::INSTR" % g.host))
                                  or working[-1].query("*IDN?") == IDN), "pyvisa served")
        wait_until(lambda: served(lambda: working.append(socket.create_connection((g.host, g.port), timeout=WAIT_SECONDS))
                                  or raw_query(working[-1], b"*OPC?\n") == b"1\n"), "a raw client served")
        instrument, raw_client = working[-2], working[-1]

        def peers(sockets):
            return {"%s:%d" % c.getsockname() for c in sockets}

        def closed(why):
            return {m.group(1) for m in (re.search(r" ([\d.]+:\d+) closed" + why, line) for line in g.log_lines()) if m}
        evicted = r" after \d+ ms without a request: its slot goes to "
        stalled = r": a reply could not be sent for 10 s: the client reads nothing, or is gone$"
        wait_until(lambda: closed(evicted) & peers(raws + [v.s for v in rpcs]), "a client that reads nothing giving way")
        wait_until(lambda: closed(evicted) | closed(stalled) >= peers(raws + [v.s for v in rpcs]),
                   "every client that reads nothing closed, for a newcomer or at the send limit")
        self.assertTrue(closed(stalled) & peers(raws) and closed(stalled) & peers(v.s for v in rpcs), "both protocols")
        if vanishing:
            g.wait_log(r" 10\.73\.16\.2:%d closed: the client took nothing sent to it for 10 s: gone, or reading "
                       r"nothing$" % vanishing.s.getsockname()[1], "the vanished client closed")
        # The working clients were never held up.
        self.assertEqual(instrument.query(":FREQ 4321;:FREQ?"), "+4.321000E+03")
        self.assertEqual(raw_query(raw_client, b"*OPC?\n"), b"1\n")
        for c in working + raws + rpcs + ([vanishing] if vanishing else []):
            c.close()

    def vanish_with_a_reply_due(self):
        """A VXI-11 client whose write the gateway has and whose reply it has yet to send, gone."""
        g = self.gateway
        holder, held, _ = g.link()
        self.assertEqual(holder.lock(held), 0)
        subprocess.run(["ip", "addr", "add", "10.73.16.2/24", "dev", "d0"], check=True)
        vanishing = Rpc(g.core_port, g.host, source="10.73.16.2")
        error, link, _, _ = vanishing.create_link("inst0")
        self.assertEqual(error, 0)
        vanishing.send(CORE, 1, WRITE, xdr(link, IO_MS, WAIT_SECONDS * 1000, END | WAITLOCK, "*OPC?"))
        wait_until(lambda: unacknowledged(vanishing.s) == 0, "the write taken by the gateway")
        subprocess.run(["ip", "addr", "del", "10.73.16.2/24", "dev", "d0"], check=True)
        self.assertEqual(holder.unlock(held), 0)
        holder.close()
        return vanishing


class Vxi11Start(unittest.TestCase):
    """What is served when VXI-11 is turned off or port 111 cannot be had."""

    def served_raw_alone(self, g):
        s = g.raw_socket()
        self.assertEqual(raw_query(s, b"*IDN?\n"), IDN.encode() + b"\n")
        s.close()
        with self.assertRaises(OSError):
            socket.create_connection(("127.0.0.1", 9010), timeout=WAIT_SECONDS).close()

    def test_no_vxi11_serves_the_raw_socket_only(self):
        g = Gateway("--no-vxi11")
        try:
            g.wait_started(vxi11=False)
            self.served_raw_alone(g)
            with self.assertRaises(OSError):
                getport(CORE)
            self.assertFalse(any("vxi11" in line and "111" in line for line in g.output()), g.output())
        finally:
            g.kill()

    def test_port_111_taken_or_forbidden(self):
        rows = [("another portmapper that refuses registration", False, [], r"registration")]
        if not base.WINE_RUN:   # a process without the right to bind ports below 1024
            rows.append(("no right to bind it", None, ["setpriv", "--inh-caps=-net_bind_service", "--bounding-set=-net_bind_service"],
                         r"cap_net_bind_service"))
        for what, accept, prefix, fix in rows:
            with self.subTest(what):
                other = FakePortmapper(accept) if accept is not None else None
                g = Gateway(prefix=prefix)
                try:
                    g.wait_started(vxi11=False)
                    wait_until(lambda: [l for l in g.output() if "111" in l], "a line about port 111")
                    said = [l for l in g.output() if "111" in l]
                    self.assertEqual(len(said), 1, g.output())
                    self.assertRegex(said[0], r"^vxi11 .*" + fix)
                    self.served_raw_alone(g)
                    self.assertIsNone(g.process.poll())
                finally:
                    g.kill()
                    if other:
                        other.close()

    def test_registered_with_another_portmapper_and_unregistered_at_the_stop(self):
        other = FakePortmapper(True)
        g = Gateway()
        try:
            g.wait_started()
            self.assertIn((1, (CORE, 1, TCP, g.core_port)), other.calls)
            code, out = lxi("scpi", "-t", "30", "-a", "127.0.0.1", "*IDN?")
            self.assertEqual((code, out.strip()), (0, IDN))
            self.assertEqual(g.stop(), 0)
            self.assertEqual([c[0] for c in other.calls if c[1] and c[1][:2] == (CORE, 1)][-1], 2)
            self.assertEqual(other.ports, {})
        finally:
            g.kill()
            other.close()


if __name__ == "__main__":
    warnings.simplefilter("ignore", DeprecationWarning)
    unittest.main(argv=[sys.argv[0], "-v", *unittest_arguments])
