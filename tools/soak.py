#!/usr/bin/python3
"""Soak of the native gateway (simulator linked in) on loopback: many clients at once doing what
clients do, while the simulator injects faults and answers late. Called by tools/soak.sh.

Invariants, checked throughout: every reply is one the client asked for on that connection, in
order, carrying that client's own value; a working client's reply comes within WAIT_LIMIT_S of its
request, and no working client goes longer than GAP_LIMIT_S without an answer (turned away, closed or
not); the gateway's memory and file descriptors stay flat; at the end Ctrl+C releases the instrument
(gp_lcl in the trace) and the gateway exits 0."""
import argparse
import os
import random
import re
import select
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

WORKING = 10             # clients that query and set
SILENT = 16              # connections that say nothing, or half a line, and stall: 26 in all for 16 slots
WAIT_LIMIT_S = 5.0       # the longest a working client may wait: 1 s for a slot, then its turn on the bus
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
}


class Counts:
    def __init__(self):
        self.lock = threading.Lock()
        self.values = {}
        self.longest_wait = 0.0
        self.longest_gap = 0.0
        self.violations = []

    def add(self, name, n=1):
        with self.lock:
            self.values[name] = self.values.get(name, 0) + n

    def waited(self, seconds, what):
        with self.lock:
            self.longest_wait = max(self.longest_wait, seconds)
        if seconds > WAIT_LIMIT_S:
            self.violation("%s waited %.2f s (limit %.1f s)" % (what, seconds, WAIT_LIMIT_S))

    def gap(self, seconds, who):
        with self.lock:
            self.longest_gap = max(self.longest_gap, seconds)
        if seconds > GAP_LIMIT_S:
            self.violation("%s went %.2f s without an answer (limit %.1f s)" % (who, seconds, GAP_LIMIT_S))

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
                if wait <= 0:
                    self.counts.add("unanswered", len(self.pending))
                    self.pending = []
                    return
                ready, _, _ = select.select([self.sock], [], [], wait)
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
        now = time.monotonic()
        for i, (expected, sent_at) in enumerate(self.pending):
            if reply == expected:
                self.counts.add("unanswered", i)
                self.counts.add("answered")
                self.counts.waited(now - sent_at, self.name)
                self.counts.gap(now - self.last_answer[0], self.name)
                self.last_answer[0] = now
                del self.pending[:i + 1]
                return
        self.counts.violation("%s got %r, expected one of %r" % (self.name, reply, [e for e, _ in self.pending]))
        self.pending = []

    def close(self):
        self.sock.close()


def frequency_reply(value):
    return ("%+.6E\n" % value).encode()


def working_client(k, port, end, counts, seed):
    rng = random.Random(seed)
    name = "client %d" % k
    serial = 0
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
        serial = (serial + 1) % 99999
        value = k * 100000 + serial + 1   # this client's own, unlike any other client's
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


def silent_client(k, port, end, counts):
    """Connects and stalls (every other one after half a line); connects again when closed."""
    while time.monotonic() < end:
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=WAIT_LIMIT_S)
        except OSError:
            time.sleep(0.05)
            continue
        counts.add("silent connections")
        try:
            if k % 2:
                s.sendall(b":FREQ 1")
            while time.monotonic() < end:
                ready, _, _ = select.select([s], [], [], min(0.5, max(0.0, end - time.monotonic())))
                if ready and not s.recv(4096):
                    counts.add("silent connections closed by the gateway")
                    break
        except OSError:
            pass
        s.close()


def process_figures(pid):
    with open("/proc/%d/status" % pid) as f:
        rss = int(re.search(r"VmRSS:\s+(\d+) kB", f.read()).group(1))
    return rss, len(os.listdir("/proc/%d/fd" % pid))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("gateway", help="taverix-gateway, the native build")
    parser.add_argument("seconds", type=float, help="how long the clients run")
    arguments = parser.parse_args()
    gateway, seconds = arguments.gateway, arguments.seconds
    folder = tempfile.mkdtemp(prefix="gateway-soak-")
    trace_path = os.path.join(folder, "trace.txt")
    log_path = os.path.join(folder, "log.txt")
    log = open(log_path, "wb")
    process = subprocess.Popen([gateway, "--port", "0", "--no-vxi11"], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=log, env=dict(os.environ, TAVERIX_SIM_TRACE=trace_path, **SIM_ENV),
                               preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    counts = Counts()
    ok = False
    try:
        line = b""
        deadline = time.monotonic() + 60
        while b"\n" not in line and time.monotonic() < deadline:
            if select.select([process.stdout], [], [], 0.2)[0]:
                piece = os.read(process.stdout.fileno(), 256)
                if not piece:
                    break
                line += piece
        port = int(re.fullmatch(rb"listening on 127\.0\.0\.1:(\d+)\n", line).group(1))
        rss_start, fds_idle = process_figures(process.pid)

        end = time.monotonic() + seconds
        threads = [threading.Thread(target=working_client, args=(k, port, end, counts, 1000 + k)) for k in range(WORKING)]
        threads += [threading.Thread(target=silent_client, args=(k, port, end, counts)) for k in range(SILENT)]
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
        # The 16 connections, one waiting for a slot, the trace file open for a line.
        if fds_most > fds_idle + 16 + 2:
            counts.violation("file descriptors: %d at most, %d idle" % (fds_most, fds_idle))
        if rss_end - rss_warm > RSS_GROWTH_LIMIT_KB:
            counts.violation("memory grew from %d kB (a quarter in) to %d kB" % (rss_warm, rss_end))

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
        if code != 0:
            counts.violation("Ctrl+C: exit code %s, not 0" % code)
        if not trace or trace[-1] != 'gp_lcl("") = 0':
            counts.violation("Ctrl+C: the trace ends %r, not with gp_lcl" % (trace[-1:] or ""))
        log.flush()
        with open(log_path, "rb") as f:
            log_text = f.read()
        v = counts.values
        print("soak: %.0f s, %d clients at once (%d working, %d silent), 16 slots" % (seconds, WORKING + SILENT, WORKING, SILENT))
        print("  transactions answered %d, unanswered %d, commands %d, refused lines sent %d"
              % (v.get("answered", 0), v.get("unanswered", 0), v.get("commands", 0), v.get("refused lines sent", 0)))
        print("  working connections %d, disconnects mid-line %d, mid-transaction %d, closed by the gateway %d"
              % (v.get("connections", 0), v.get("disconnects mid-line", 0), v.get("disconnects mid-transaction", 0),
                 v.get("closed by the gateway", 0)))
        print("  silent connections %d, closed for a newcomer %d (log: %d), turned away (log) %d"
              % (v.get("silent connections", 0), v.get("silent connections closed by the gateway", 0),
                 log_text.count(b" without a request: its slot goes to "), log_text.count(b" turned away: ")))
        print("  faults injected: " + ", ".join("%s %d" % (k, n) for k, n in faults.items())
              + "; bus calls %d" % sum(not l.startswith("#") for l in trace))
        print("  longest wait for a reply %.0f ms (limit %.0f ms); longest a working client went without an answer %.0f ms (limit %.0f ms)"
              % (counts.longest_wait * 1000, WAIT_LIMIT_S * 1000, counts.longest_gap * 1000, GAP_LIMIT_S * 1000))
        print("  memory (RSS) %d kB at start, %d kB a quarter in, %d kB at the end; descriptors %d idle, %d at most, %d at the end"
              % (rss_start, rss_warm, rss_end, fds_idle, fds_most, fds_end))
        print("  Ctrl+C: exit code %s, last bus call %s" % (code, trace[-1] if trace else "none"))
        if v.get("answered", 0) == 0:
            counts.violation("no transaction answered")
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
