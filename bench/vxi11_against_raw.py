#!/usr/bin/python3
"""Requests through VXI-11 against the same requests through the raw socket, one gateway, in turns
within one run: `lxi benchmark` (lxi-tools, C, *IDN? per request), then pyvisa-py's *IDN? queries
for information. Runs in a network namespace where the gateway has port 111 and its raw socket 5025:

usage: tests/gateway/in-netns.sh [--wine] vxi11_against_raw.py GATEWAY [WINE_RUN] [COUNT] [ROUNDS]"""
import re
import statistics
import subprocess
import sys
import tempfile
import time
import warnings

warnings.simplefilter("ignore", DeprecationWarning)
import pyvisa  # noqa: E402

gateway = sys.argv[1]
runner = [sys.argv[2]] if len(sys.argv) > 2 and sys.argv[2] else []
count = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 3


def lxi_scpi_answers():
    done = subprocess.run(["lxi", "scpi", "-t", "10", "-a", "127.0.0.1", "*IDN?"], capture_output=True, text=True)
    return done.returncode == 0 and done.stdout.strip() != ""


def lxi_benchmark(raw):
    """Microseconds a request."""
    done = subprocess.run(["lxi", "benchmark", "-t", "10", "-a", "127.0.0.1", "-c", str(count)] + (["-r"] if raw else []),
                          capture_output=True, text=True, check=True)
    match = re.search(r"Result: ([\d.]+) requests/second", done.stdout)
    if not match:
        raise SystemExit("lxi benchmark said: " + done.stdout + done.stderr)
    return 1e6 / float(match.group(1))


def pyvisa_query(manager, resource):
    """Median microseconds of one *IDN? query."""
    r = manager.open_resource(resource, read_termination="\n", write_termination="\n")
    r.timeout = 10000
    for _ in range(50):
        r.query("*IDN?")
    times = []
    for _ in range(count):
        t = time.perf_counter()
        r.query("*IDN?")
        times.append(time.perf_counter() - t)
    r.close()
    return statistics.median(times) * 1e6


# The log is kept in a file: under Wine a write to /dev/null costs milliseconds.
log = tempfile.TemporaryFile()
process = subprocess.Popen(runner + [gateway, "--port", "5025"], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=log)
try:
    deadline = time.monotonic() + 120
    while not lxi_scpi_answers():
        if process.poll() is not None or time.monotonic() > deadline:
            raise SystemExit("the gateway does not answer through VXI-11")
        time.sleep(0.2)
    results = {"vxi11": [], "raw": []}
    for _ in range(rounds):
        results["vxi11"].append(lxi_benchmark(raw=False))
        results["raw"].append(lxi_benchmark(raw=True))
    for name, label in (("vxi11", "VXI-11 (port 111, core channel)"), ("raw", "raw socket (port 5025)")):
        print("lxi benchmark, %-32s %7.1f us a request  (runs: %s)" % (
            label, statistics.median(results[name]), ", ".join("%.1f" % t for t in results[name])))
    ratio = statistics.median(results["vxi11"]) / statistics.median(results["raw"])
    print("ratio VXI-11 / raw socket: %.2f (goal: at most 1.5)" % ratio)
    manager = pyvisa.ResourceManager("@py")
    instr = pyvisa_query(manager, "TCPIP0::127.0.0.1::INSTR")
    socket_ = pyvisa_query(manager, "TCPIP0::127.0.0.1::5025::SOCKET")
    print("pyvisa-py *IDN?, for information (the client's own cost dominates): INSTR %.1f us, SOCKET %.1f us" % (
        instr, socket_))
    manager.close()
finally:
    process.kill()
    process.wait()
    log.close()
