#!/usr/bin/python3
"""The gateway from outside: pyvisa clients (pyvisa-py) on loopback against taverix-gateway with the
simulated instrument behind it.

GATEWAY is the program; WINE_RUN (tools/wine-run.sh) runs a Windows build under Wine."""
import argparse
import os
import queue
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import warnings

GATEWAY = WINE_RUN = ""   # set from the command line, or by a test that imports this one
if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("gateway", help="taverix-gateway, native or .exe")
    parser.add_argument("wine_run", nargs="?", default="", help="tools/wine-run.sh for a Windows build")
    arguments = parser.parse_args()
    GATEWAY, WINE_RUN = arguments.gateway, arguments.wine_run

import pyvisa  # noqa: E402
START_SECONDS = 120      # Wine, and the emulated 32-bit Wine, may start slowly on a loaded machine
WAIT_SECONDS = 60        # for anything else the gateway must do
CLIENT_TIMEOUT_MS = 20000


def wait_until(check, what, seconds=WAIT_SECONDS):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if check():
            return
        time.sleep(0.02)
    raise AssertionError("waited %d s for %s" % (seconds, what))


class Gateway:
    """One gateway process, its trace file and its log lines."""
    protocols = ("--no-vxi11", "--no-web")   # the raw socket alone: ports 111 and 80 are not the test's here

    def __init__(self, *args, env=None, prefix=(), preexec_fn=None):
        fd, self.trace_path = tempfile.mkstemp(prefix="gateway-trace-", suffix=".txt")
        os.close(fd)
        environment = dict(os.environ, TAVERIX_SIM_TRACE=self.trace_path)
        environment.update(env or {})
        command = [*prefix] + ([WINE_RUN] if WINE_RUN else []) + [GATEWAY, "--port", "0", *self.protocols, *args]
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, env=environment, preexec_fn=preexec_fn)
        self.log = []
        self.out = queue.Queue()
        self.readers = [threading.Thread(target=self._read, args=(self.process.stderr, self.log.append), daemon=True),
                        threading.Thread(target=self._read, args=(self.process.stdout, self.out.put), daemon=True)]
        for reader in self.readers:
            reader.start()
        self.port = None

    @staticmethod
    def _read(stream, keep):
        for raw in iter(stream.readline, b""):
            keep(raw.decode("latin-1").rstrip("\r\n"))
        keep(None)

    def wait_listening(self):
        line = self.out.get(timeout=START_SECONDS)
        match = re.fullmatch(r"listening on 127\.0\.0\.1:(\d+)", line or "")
        if not match:
            raise AssertionError("first output line %r; log: %s" % (line, self.log))
        self.port = int(match.group(1))
        return self

    def ended(self, seconds=WAIT_SECONDS):
        code = self.process.wait(timeout=seconds)
        for reader in self.readers:
            reader.join(timeout=seconds)
        return code

    def windows_processes(self):
        """Under Wine a 32-bit program runs in a process of its own, started by the 64-bit
        start.exe that Popen started: it is the one holding this gateway's trace path in its
        environment and the program's name in its command line."""
        mark = ("TAVERIX_SIM_TRACE=" + self.trace_path).encode()
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if mark not in f.read().split(b"\0"):
                        continue
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    command = f.read()
            except OSError:
                continue
            if b"taverix-gateway" in command and b"start.exe" not in command:
                found.append(int(entry))
        return found

    def stop(self):
        """Ctrl+C: SIGINT natively; under Wine the same signal reaches the program as a console
        Ctrl+C event, which Wine hands to the program's console control handler."""
        targets = self.windows_processes() if WINE_RUN else []
        for pid in targets or [self.process.pid]:
            os.kill(pid, signal.SIGINT)
        return self.ended()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=WAIT_SECONDS)
        for reader in self.readers:
            reader.join(timeout=WAIT_SECONDS)
        self.process.stdout.close()
        self.process.stderr.close()
        os.unlink(self.trace_path)

    def trace(self):
        with open(self.trace_path, encoding="latin-1") as f:
            return f.read().splitlines()

    def log_lines(self):
        return [line for line in list(self.log) if line is not None]

    def wait_log(self, pattern, what):
        wait_until(lambda: any(re.search(pattern, line) for line in self.log_lines()), what)

    def wait_clients_gone(self):
        """Every connection the gateway took has been logged as ended: a client closed here may
        still hold its slot for a moment, and a seventeenth would be turned away."""
        def count(word):
            return sum(word == line.split(" ")[-1] for line in self.log_lines())
        wait_until(lambda: count("connected") == count("disconnected"), "every earlier client gone")

    def resource(self, manager):
        r = manager.open_resource("TCPIP0::127.0.0.1::%d::SOCKET" % self.port, read_termination="\n",
                                  write_termination="\n")
        r.timeout = CLIENT_TIMEOUT_MS
        return r

    def raw_socket(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=WAIT_SECONDS)
        s.settimeout(WAIT_SECONDS)
        return s


def raw_query(s, line):
    s.sendall(line)
    reply = b""
    while not reply.endswith(b"\n"):
        piece = s.recv(4096)
        if not piece:
            return reply if reply else None
        reply += piece
    return reply


class GatewaySession(unittest.TestCase):
    """One gateway serves every case in turn, then is stopped with Ctrl+C. The simulator makes
    the second read of the session fail (code -7)."""

    @classmethod
    def setUpClass(cls):
        cls.gateway = Gateway(env={"TAVERIX_SIM_FAULTS": "gp_red#2=-7"}).wait_listening()
        cls.manager = pyvisa.ResourceManager("@py")

    @classmethod
    def tearDownClass(cls):
        cls.manager.close()
        cls.gateway.kill()

    def test_1_identity_then_a_failed_read_gets_no_reply_and_a_device_clear(self):
        r = self.gateway.resource(self.manager)
        self.assertEqual(r.query("*IDN?"), "QX-SIM,QX-7316,0,1.00")
        r.write(":FUNC?")   # its read fails: nothing comes back
        self.gateway.wait_log(r'":FUNC\?" gp_red failed \[-7\], gp_clr \[0\]', "the failed read in the log")
        self.assertEqual(r.query(":OUTP?"), "0")   # not a late :FUNC? reply
        trace = self.gateway.trace()
        failed = trace.index('gp_red("4", 256) = -7 ""')
        self.assertEqual(trace[failed - 1], 'gp_wrt("4", ":FUNC?") = 0')
        self.assertEqual(trace[failed + 1], 'gp_clr("4") = 0')
        r.close()

    def test_2_settings_and_their_read_back(self):
        r = self.gateway.resource(self.manager)
        for line in (":FUNC SQU", ":FREQ 2500", ":AMPL 1.25", ":OUTP ON"):
            r.write(line)
        self.assertEqual(r.query(":FUNC?"), "SQU")
        self.assertEqual(r.query(":FREQ?"), "+2.500000E+03")
        self.assertEqual(r.query(":AMPL?"), "+1.250000E+00")
        self.assertEqual(r.query(":OUTP?"), "1")
        # Several units with queries: one transaction, one reply.
        self.assertEqual(r.query(":FREQ 1234;:FREQ?;:AMPL 2;:AMPL?;*OPC?"), "+1.234000E+03;+2.000000E+00;1")
        # A question mark in a quoted string or a parameter makes no query: nothing is read.
        r.write(':FREQ 3000;:SYST:ERR "why?";:AMPL 3 ?')
        self.assertEqual(r.query(":FREQ?"), "+3.000000E+03")
        trace = self.gateway.trace()
        sent = trace.index('gp_wrt("4", ":FREQ 3000;:SYST:ERR \\"why?\\";:AMPL 3 ?") = 0')
        self.assertTrue(trace[sent + 1].startswith('gp_wrt("4", ":FREQ?")'), trace[sent + 1])
        r.write("*CLS")
        r.close()

    def test_3_four_clients_at_once_each_get_their_own_replies(self):
        rounds = 12
        results = {}

        def client(k):
            r = self.gateway.resource(self.manager)
            got = []
            for i in range(rounds):
                frequency = 1000 * (k + 1) + i
                got.append((frequency, r.query(":FREQ %d;:FREQ?;*IDN?;:FREQ?" % frequency)))
            r.close()
            results[k] = got

        threads = [threading.Thread(target=client, args=(k,)) for k in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=WAIT_SECONDS * 2)
        self.assertEqual(sorted(results), [0, 1, 2, 3])
        for k, got in results.items():
            for frequency, reply in got:
                value = "%+.6E" % frequency
                self.assertEqual(reply, "%s;QX-SIM,QX-7316,0,1.00;%s" % (value, value), "client %d" % k)

    def test_4_bad_input_is_refused_whole_and_the_connection_goes_on(self):
        s = self.gateway.raw_socket()
        over_long = b":FREQ 777;" + b" " * 240 + b":FREQ?"   # 256 bytes
        s.sendall(over_long + b"\n")
        self.assertEqual(raw_query(s, b":FREQ 555\r\n:FREQ?\r\n"), b"+5.550000E+02\n")
        s.sendall(b":FREQ 888\x00;:FREQ?\n")
        self.assertEqual(raw_query(s, b"*IDN?\n"), b"QX-SIM,QX-7316,0,1.00\n")
        self.assertEqual(raw_query(s, b":FREQ?\n"), b"+5.550000E+02\n")
        longest = b":FREQ 444;" + b" " * 239 + b":FREQ?"   # 255 bytes: served
        self.assertEqual(raw_query(s, longest + b"\r\n"), b"+4.440000E+02\n")
        self.gateway.wait_log(r'refused, over 255 bytes: ":FREQ 777;', "the over-long line refused")
        self.gateway.wait_log(r'refused, zero byte in line: ":FREQ 888\\x00;:FREQ\?"', "the zero byte refused")
        self.assertFalse(any("777" in line or "888" in line for line in self.gateway.trace()))

        # Half a line, then silence, holds up no one; nor does a client gone mid-transaction.
        stalled = self.gateway.raw_socket()
        stalled.sendall(b":FREQ 1")
        gone = self.gateway.raw_socket()
        gone.sendall(b"*IDN?\n")
        gone.close()
        self.assertEqual(raw_query(s, b"*OPC?\n"), b"1\n")
        stalled.close()
        s.close()

    def test_5_sixteen_clients_at_most_the_one_idle_longest_makes_room(self):
        self.gateway.wait_clients_gone()
        clients = []
        try:
            for _ in range(16):
                c = self.gateway.raw_socket()
                clients.append(c)
                self.assertEqual(raw_query(c, b"*OPC?\n"), b"1\n")
            extra = self.gateway.raw_socket()
            clients.append(extra)
            self.assertEqual(raw_query(extra, b"*OPC?\n"), b"1\n")
            self.gateway.wait_log(r"127\.0\.0\.1:%d closed after \d+ ms without a request: its slot goes to "
                                  r"127\.0\.0\.1:%d$" % (clients[0].getsockname()[1], extra.getsockname()[1]),
                                  "the first client, idle longest, closed for the 17th")
            try:
                self.assertIsNone(raw_query(clients[0], b"*OPC?\n"))
            except ConnectionResetError:
                pass
            self.assertEqual(raw_query(clients[1], b"*OPC?\n"), b"1\n")
        finally:
            for c in clients:
                c.close()
            self.gateway.wait_clients_gone()

    def test_6_ctrl_c_stops_with_the_bus_released(self):
        r = self.gateway.resource(self.manager)
        self.assertEqual(r.query("*OPC?"), "1")
        self.assertEqual(self.gateway.stop(), 0)
        self.assertEqual(self.gateway.trace()[-1], 'gp_lcl("") = 0')
        self.gateway.wait_log(r"^%s: stopping" % (r"Ctrl\+C" if WINE_RUN else "SIGINT"), "the stop request's name")
        self.assertIn("gp_llo() = 0", self.gateway.trace())   # the front panel locked, as the panel does
        log = self.gateway.log_lines()
        stamp = r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} 127\.0\.0\.1:\d+ "
        self.assertTrue(any(re.match(stamp + r'"\*IDN\?" -> "QX-SIM,QX-7316,0,1\.00\\n"$', l) for l in log), log)
        self.assertTrue(any(re.match(stamp + r'":FUNC SQU"$', l) for l in log), log)
        r.close()


class GatewayStart(unittest.TestCase):
    def test_bring_up_failure_shows_its_text_hands_the_instrument_back_and_exits_1(self):
        g = Gateway(env={"TAVERIX_SIM_FAULTS": "gp_clr=3"})
        try:
            self.assertEqual(g.ended(START_SECONDS), 1)
            self.assertIn("gp_clr error [3]", g.log_lines())
            self.assertTrue(g.out.empty() or g.out.get() is None)
            # Made remote before the failing call, the instrument is handed back before the end.
            trace = g.trace()
            self.assertIn("gp_ren() = 0", trace)
            self.assertEqual(trace[-2:], ['gp_clr("4") = 3', 'gp_lcl("") = 0'])
        finally:
            g.kill()

    def test_unreadable_command_line_shows_the_usage_and_exits_2(self):
        g = Gateway("--address", "31")
        try:
            self.assertEqual(g.ended(START_SECONDS), 2)
            self.assertEqual(g.log_lines()[0], "taverix-gateway: cannot take --address 31")
            self.assertTrue(g.log_lines()[1].startswith("usage: taverix-gateway"), g.log_lines())
        finally:
            g.kill()


class GatewayLogFile(unittest.TestCase):
    LIMIT = 1024
    QUERIES = 45

    def test_no_lockout_and_a_log_file_rotated_by_size(self):
        folder = tempfile.mkdtemp(prefix="gateway-log-")
        log = os.path.join(folder, "gateway.log")
        g = Gateway("--no-lockout", "--log-file", log, "--log-size", str(self.LIMIT)).wait_listening()
        try:
            self.assertEqual(g.out.get(timeout=WAIT_SECONDS),
                             "no local lockout (--no-lockout): the instrument's own keys stay usable")
            manager = pyvisa.ResourceManager("@py")
            r = g.resource(manager)
            for i in range(self.QUERIES):
                self.assertEqual(r.query(":FREQ %d;:FREQ?" % (1000 + i)), "%+.6E" % (1000 + i))
            r.close()
            manager.close()
            self.assertEqual(g.stop(), 0)
            trace = g.trace()
            self.assertNotIn("gp_llo() = 0", trace)
            self.assertEqual(trace[-1], 'gp_lcl("") = 0')
            self.assertEqual(g.log_lines(), [], "the log goes to the file alone")

            names = ["gateway.log.3", "gateway.log.2", "gateway.log.1", "gateway.log"]
            self.assertFalse(os.path.exists(log + ".4"))
            lines = []
            for name in names:
                with open(os.path.join(folder, name), "rb") as f:
                    data = f.read()
                self.assertLessEqual(len(data), self.LIMIT, name)
                self.assertTrue(data.endswith(b"\n"), name)
                lines += data.decode("latin-1").splitlines()
            stamp = r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} "
            for line in lines:
                self.assertRegex(line, stamp)
            self.assertRegex(lines[-1], stamp + "stopped$")
            # The oldest lines went with the fourth-oldest file; the rest are there, whole, in order.
            queried = [int(m.group(1)) for m in (re.search(r'":FREQ (\d+);:FREQ\?" -> ', l) for l in lines) if m]
            self.assertGreater(len(queried), 10)
            self.assertEqual(queried, list(range(1000 + self.QUERIES - len(queried), 1000 + self.QUERIES)))
        finally:
            g.kill()
            for name in os.listdir(folder):
                os.unlink(os.path.join(folder, name))
            os.rmdir(folder)


if __name__ == "__main__":
    warnings.simplefilter("ignore", DeprecationWarning)
    unittest.main(argv=[sys.argv[0], "-v"])
