#!/usr/bin/python3
"""Round trips of :FREQ? from one pyvisa client (pyvisa-py), through the gateway and through the
bare echo server, in turns within one run (tools/bench.sh runs it)."""
import argparse
import statistics
import subprocess
import tempfile
import time
import warnings

parser = argparse.ArgumentParser(description=__doc__)
parser.add_argument("gateway", help="taverix-gateway, native or .exe")
parser.add_argument("echo_server", help="echo_server of the same build")
parser.add_argument("wine_run", nargs="?", default="", help="tools/wine-run.sh for Windows builds")
parser.add_argument("queries", nargs="?", type=int, default=2000, help="queries per run (default %(default)s)")
parser.add_argument("rounds", nargs="?", type=int, default=3, help="runs of each (default %(default)s)")
arguments = parser.parse_args()

warnings.simplefilter("ignore", DeprecationWarning)
import pyvisa  # noqa: E402

gateway, echo = arguments.gateway, arguments.echo_server
runner = [arguments.wine_run] if arguments.wine_run else []
queries, rounds = arguments.queries, arguments.rounds
manager = pyvisa.ResourceManager("@py")


def measure(command):
    # The log is kept in a file, as with "2> gateway.log". (Under Wine, writing to /dev/null costs
    # milliseconds a write: it would measure Wine's device handling, not the gateway.)
    log = tempfile.TemporaryFile()
    process = subprocess.Popen(runner + command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=log)
    try:
        line = process.stdout.readline().decode()
        port = int(line.rsplit(":", 1)[1])
        r = manager.open_resource("TCPIP0::127.0.0.1::%d::SOCKET" % port, read_termination="\n",
                                  write_termination="\n")
        r.timeout = 10000
        for _ in range(100):
            r.query(":FREQ?")
        times = []
        start = time.perf_counter()
        for _ in range(queries):
            t = time.perf_counter()
            r.query(":FREQ?")
            times.append(time.perf_counter() - t)
        total = time.perf_counter() - start
        r.close()
        return statistics.median(times) * 1e6, queries / total
    finally:
        process.kill()
        process.wait()
        log.close()


results = {"gateway": [], "echo": []}
for _ in range(rounds):
    results["gateway"].append(measure([gateway, "--port", "0", "--no-vxi11", "--no-web"]))
    results["echo"].append(measure([echo]))
for name, runs in results.items():
    print("%-8s median round trip %7.1f us  %7.0f queries/s  (runs: %s)" % (
        name, statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs),
        ", ".join("%.1f us" % r[0] for r in runs)))
g = statistics.median(r[0] for r in results["gateway"])
e = statistics.median(r[0] for r in results["echo"])
print("ratio gateway / echo: %.2f (goal: at most 1.3)" % (g / e))
