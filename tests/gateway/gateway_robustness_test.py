#!/usr/bin/python3
"""The gateway from outside when libraries, clients, pipes and signals misbehave: the native
gateway with the simulator linked in, on loopback."""
import argparse
import fcntl
import os
import re
import select
import signal
import socket
import subprocess
import sys
import tempfile
import termios
import time
import unittest
import warnings

if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("gateway", help="taverix-gateway, the native build")
    arguments = parser.parse_args()

import gateway_client_test  # noqa: E402
from gateway_client_test import START_SECONDS, WAIT_SECONDS, Gateway, raw_query, wait_until  # noqa: E402


class BusReadsAndWrites(unittest.TestCase):
    """A library that fills the whole read buffer loses no byte; a failed write is followed by a
    device clear."""

    def test_a_reply_of_several_full_buffers_arrives_whole_from_either_kind_of_library(self):
        reply = b"".join(b"%03d," % i for i in range(150)) + b"\n"   # 601 bytes: 3 reads of 256
        for full_reads in ("0", "1"):
            with self.subTest(full_reads=full_reads):
                g = Gateway(env={"TAVERIX_SIM_FULL_READS": full_reads,
                                 "TAVERIX_SIM_REPLIES": ":DATA?=" + reply.decode().replace("\n", "\\n")})
                try:
                    g.wait_listening()
                    s = g.raw_socket()
                    self.assertEqual(raw_query(s, b":DATA?\n"), reply)
                    self.assertEqual(raw_query(s, b"*OPC?\n"), b"1\n")
                    s.close()
                finally:
                    g.kill()

    def test_a_failed_write_is_followed_by_a_device_clear(self):
        g = Gateway(env={"TAVERIX_SIM_FAULTS": "gp_wrt#1=-5"})
        try:
            g.wait_listening()
            s = g.raw_socket()
            s.sendall(b":FREQ 2000;:FREQ?\n")   # no reply: the client's own time-out tells it
            g.wait_log(r'":FREQ 2000;:FREQ\?" gp_wrt failed \[-5\], gp_clr \[0\]', "the failed write in the log")
            self.assertEqual(raw_query(s, b"*OPC?\n"), b"1\n")
            trace = g.trace()
            failed = trace.index('gp_wrt("4", ":FREQ 2000;:FREQ?") = -5')
            self.assertEqual(trace[failed + 1], 'gp_clr("4") = 0')
            s.close()
        finally:
            g.kill()


def started(command, env, **popen):
    """A gateway whose output the test handles itself: the process, its trace path and port,
    once stdout said it listens (stdout is read with select, so that its pipe can be closed)."""
    fd, trace_path = tempfile.mkstemp(prefix="gateway-trace-", suffix=".txt")
    os.close(fd)
    process = subprocess.Popen([gateway_client_test.GATEWAY, "--port", "0", "--no-vxi11", "--no-web", *command], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               env=dict(os.environ, TAVERIX_SIM_TRACE=trace_path, **env), **popen)
    seen = b""
    deadline = time.monotonic() + START_SECONDS
    while b"\n" not in seen.partition(b"listening on ")[2] and time.monotonic() < deadline:
        ready, _, _ = select.select([process.stdout], [], [], 0.2)
        if ready:
            piece = os.read(process.stdout.fileno(), 4096)
            if not piece:
                break
            seen += piece
    match = re.search(rb"listening on 127\.0\.0\.1:(\d+)\n", seen)
    if not match:
        process.kill()
        raise AssertionError("no listening line: %r" % seen)
    return process, trace_path, int(match.group(1))


def trace_of(path):
    with open(path, encoding="latin-1") as f:
        return f.read().splitlines()


def ended(process, seconds):
    """The exit code, or None when the process is still running after seconds (then killed)."""
    try:
        return process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout=WAIT_SECONDS)
        return None


class SilentConnections(unittest.TestCase):
    def test_sixteen_silent_connections_make_room_for_a_working_client(self):
        g = Gateway().wait_listening()
        silent = []
        try:
            for k in range(16):   # half of them send half a line and stall
                silent.append(g.raw_socket())
                if k % 2:
                    silent[-1].sendall(b":FREQ 12")
            g.wait_log(r"connected$", "the silent connections")
            wait_until(lambda: sum(l.endswith(" connected") for l in g.log_lines()) == 16, "16 connections")
            working = g.raw_socket()
            self.assertEqual(raw_query(working, b":FREQ 4321;:FREQ?\n"), b"+4.321000E+03\n")
            g.wait_log(r"closed after \d+ ms without a request: its slot goes to 127\.0\.0\.1:%d$"
                       % working.getsockname()[1], "a silent connection closed for it, with why")
            for c in silent:
                c.close()
            working.close()
            self.assertEqual(g.stop(), 0)
        finally:
            g.kill()


class LogThatCannotBeWritten(unittest.TestCase):
    def test_a_reader_gone_as_after_grep_m1_neither_ends_the_gateway_nor_skips_the_release(self):
        process, trace_path, port = started([], {}, stderr=subprocess.STDOUT)
        try:
            process.stdout.close()   # what grep -m1 listening does once it has its line
            with socket.create_connection(("127.0.0.1", port), timeout=WAIT_SECONDS) as s:
                for _ in range(3):   # each logged, into a pipe without a reader
                    self.assertEqual(raw_query(s, b"*OPC?\n"), b"1\n")
            process.send_signal(signal.SIGINT)
            self.assertEqual(ended(process, WAIT_SECONDS), 0)
            self.assertEqual(trace_of(trace_path)[-1], 'gp_lcl("") = 0')
        finally:
            if process.poll() is None:
                process.kill()
            os.unlink(trace_path)

    def test_a_full_log_pipe_holds_up_neither_clients_nor_ctrl_c(self):
        process, trace_path, port = started([], {}, stderr=subprocess.PIPE)   # never read
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=WAIT_SECONDS) as s:
                s.sendall((b"X" * 300 + b"\n") * 400)   # 400 refused lines, over 64 KiB of log
                self.assertEqual(raw_query(s, b"*OPC?\n"), b"1\n")
                full = bytearray(4)
                def pipe_full():
                    fcntl.ioctl(process.stderr.fileno(), termios.FIONREAD, full)
                    return int.from_bytes(full, sys.byteorder) >= 65536
                wait_until(pipe_full, "the log pipe full")
                self.assertEqual(raw_query(s, b"*OPC?\n"), b"1\n")
            process.send_signal(signal.SIGINT)
            self.assertEqual(ended(process, WAIT_SECONDS), 0)
            self.assertEqual(trace_of(trace_path)[-1], 'gp_lcl("") = 0')
        finally:
            if process.poll() is None:
                process.kill()
            process.stderr.close()
            os.unlink(trace_path)


class StopRequests(unittest.TestCase):
    def test_an_inherited_ignored_sighup_stays_ignored(self):
        g = Gateway(preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN)).wait_listening()
        try:
            os.kill(g.process.pid, signal.SIGHUP)
            for _ in range(3):   # new connections: the listener is still open
                with g.raw_socket() as s:
                    self.assertEqual(raw_query(s, b"*OPC?\n"), b"1\n")
            self.assertIsNone(g.process.poll())
            self.assertFalse(any("SIGHUP" in line for line in g.log_lines()), g.log_lines())
            self.assertEqual(g.stop(), 0)
        finally:
            g.kill()

    def test_each_stop_signal_releases_the_instrument_before_the_connections_close(self):
        for stop in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=stop.name):
                g = Gateway().wait_listening()
                try:
                    s = g.raw_socket()
                    self.assertEqual(raw_query(s, b"*OPC?\n"), b"1\n")
                    os.kill(g.process.pid, stop)
                    self.assertEqual(s.recv(1), b"")   # closed by the gateway
                    self.assertEqual(g.trace()[-1], 'gp_lcl("") = 0')
                    s.close()
                    self.assertEqual(g.ended(), 0)
                    g.wait_log(r"^%s: stopping" % stop.name, "the request's name in the log")
                finally:
                    g.kill()

    def test_a_second_ctrl_c_during_a_long_read_stops_at_once_and_says_the_instrument_was_not_released(self):
        # The instrument never answers: the read takes 60 s.
        g = Gateway("--timeout", "600", env={"TAVERIX_SIM_NO_REPLY": "1"}).wait_listening()
        try:
            s = g.raw_socket()
            s.sendall(b"*IDN?\n")
            wait_until(lambda: 'gp_wrt("4", "*IDN?") = 0' in g.trace(), "the query written, its read under way")
            os.kill(g.process.pid, signal.SIGINT)

            def listener_closed():
                try:
                    socket.create_connection(("127.0.0.1", g.port), timeout=WAIT_SECONDS).close()
                    return False
                except (ConnectionRefusedError, ConnectionResetError):   # reset: taken into the backlog, then closed
                    return True
            wait_until(listener_closed, "the first Ctrl+C taken: no new connections")
            os.kill(g.process.pid, signal.SIGINT)
            self.assertEqual(ended(g.process, 20), 1)   # well before the read's 60 s
            g.ended()
            g.wait_log(r"^SIGINT again: stopped at once, the instrument was NOT released", "the second Ctrl+C's word")
            self.assertNotIn('gp_lcl("") = 0', g.trace())
            s.close()
        finally:
            g.kill()

    def test_ctrl_c_during_the_bring_up_waits_for_it_and_releases_the_instrument(self):
        """The trace goes to a FIFO read one line at a time: each bus call waits until the test
        takes its line, and Ctrl+C comes right after gp_llo, while the next call (gp_tmout of
        --timeout 7) waits."""
        folder = tempfile.mkdtemp(prefix="gateway-fifo-")
        fifo = os.path.join(folder, "trace")
        os.mkfifo(fifo)
        process = subprocess.Popen([gateway_client_test.GATEWAY, "--port", "0", "--no-vxi11", "--no-web", "--timeout", "7"], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   env=dict(os.environ, TAVERIX_SIM_TRACE=fifo),
                                   # Ctrl+C as in a terminal, whatever this test's parent ignores
                                   preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        lines = []
        interrupted = False
        try:
            deadline = time.monotonic() + START_SECONDS
            while process.poll() is None and time.monotonic() < deadline and 'gp_lcl("") = 0' not in lines:
                reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
                text = b""
                poller = select.poll()
                poller.register(reader, select.POLLIN)
                while time.monotonic() < deadline and process.poll() is None:
                    events = poller.poll(200)
                    if not events:
                        continue
                    try:
                        piece = os.read(reader, 4096)
                    except BlockingIOError:
                        continue   # the last writer closed and the next one opened between poll and read
                    if not piece:
                        break   # the line's writer closed the FIFO
                    text += piece
                os.close(reader)
                lines += text.decode("latin-1").splitlines()
                if "gp_llo() = 0" in lines and not interrupted:
                    process.send_signal(signal.SIGINT)
                    interrupted = True
            self.assertTrue(interrupted, lines)
            self.assertEqual(ended(process, WAIT_SECONDS), 0)
            self.assertEqual(lines[-2:], ["gp_tmout(7) = 0", 'gp_lcl("") = 0'])
        finally:
            if process.poll() is None:
                process.kill()
            os.unlink(fifo)
            os.rmdir(folder)


class StartUpWarnings(unittest.TestCase):
    def test_allow_ranges_that_cannot_matter_or_do_not_say_what_they_mean_are_warned_of(self):
        cannot_matter = ("warning: --allow has no effect: listening on 127.0.0.1 (loopback), every client is on "
                         "this machine and always allowed; --listen 0.0.0.0 or an address of this machine serves others")
        cases = [
            ([], []),
            (["--allow", "192.168.1.0/24"], [cannot_matter]),
            (["--allow", "10.1.2.3/8", "--allow", "10.0.0.0/8", "--allow", "172.16.5.9"],
             [cannot_matter, "warning: --allow 10.1.2.3/8 has bits set past its /8: taken as 10.0.0.0/8"]),
        ]
        for args, warnings_expected in cases:
            with self.subTest(args=args):
                g = Gateway(*args).wait_listening()
                try:
                    self.assertEqual(g.stop(), 0)
                    self.assertEqual([l for l in g.log_lines() if l.startswith("warning:")], warnings_expected)
                finally:
                    g.kill()


if __name__ == "__main__":
    gateway_client_test.GATEWAY = arguments.gateway
    warnings.simplefilter("ignore", DeprecationWarning)
    unittest.main(argv=[sys.argv[0], "-v"])
