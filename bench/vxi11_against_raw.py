#!/usr/bin/python3
"""Requests through VXI-11 against the same requests through the raw socket, one gateway, in turns
within one run: `lxi benchmark` (lxi-tools, C, *IDN? per request), then pyvisa-py's *IDN? queries
for information. Runs in a network namespace where the gateway has port 111 and its raw socket 5025:

Run as tests/gateway/in-netns.sh [--wine] bench/vxi11_against_raw.py GATEWAY [WINE_RUN] [COUNT] [ROUNDS]."""
import argparse
import re
import statistics
import subprocess
import tempfile
import time
import warnings

parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
parser.add_argument("gateway", help="taverix-gateway, native or .exe")
parser.add_argument("wine_run", nargs="?", default="", help="tools/wine-run.sh for a Windows build, '' natively")
parser.add_argument("count", nargs="?", type=int, default=2000, help="requests per measurement (2000)")
parser.add_argument("rounds", nargs="?", type=int, default=5, help="measurements of each, in turns (5)")
arguments = parser.parse_args()   # before pyvisa is imported: --help answers where it is missing

warnings.simplefilter("ignore", DeprecationWarning)
import pyvisa  # noqa: E402
gateway, count, rounds = arguments.gateway, arguments.count, arguments.rounds
runner = [arguments.wine_run] if arguments.wine_run else []


def lxi_scpi_answers():
    done = subprocess.run(["lxi", "scpi", "-t", "10", "-a", "127.0.0.1", "*IDN?"], capture_output=True, text=True)
    return done.returncode == 0 and done.stdout.strip() != ""


def lxi_benchmark(raw, requests=count):
    """Microseconds a request."""
    done = subprocess.run(["lxi", "benchmark", "-t", "10", "-a", "127.0.0.1", "-c", str(requests)] + (["-r"] if raw else []),
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
    for raw in (False, True):   # not counted: the first run of each was seen several times slower
        lxi_benchmark(raw, requests=200)
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
