#!/usr/bin/python3
"""Raw-socket round trips of :FREQ? from one pyvisa client (pyvisa-py) through one gateway, with its
web page open in headless Chromium (which polls the gateway every 500 ms) and without it (the browser
on a blank page), in turns within one run (tools/bench.sh runs it)."""
import argparse
import re
import statistics
import subprocess
import tempfile
import time
import warnings

parser = argparse.ArgumentParser(description=__doc__)
parser.add_argument("gateway", help="taverix-gateway, native or .exe")
parser.add_argument("wine_run", nargs="?", default="", help="tools/wine-run.sh for Windows builds")
parser.add_argument("seconds", nargs="?", type=float, default=1.5, help="seconds of queries per run, three polls or more "
                    "(default %(default)s)")
parser.add_argument("rounds", nargs="?", type=int, default=10, help="runs of each (default %(default)s)")
arguments = parser.parse_args()

warnings.simplefilter("ignore", DeprecationWarning)
import pyvisa  # noqa: E402
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402

runner = [arguments.wine_run] if arguments.wine_run else []
log = tempfile.TemporaryFile()   # the log in a file, as with "2> gateway.log"
process = subprocess.Popen(runner + [arguments.gateway, "--port", "0", "--no-vxi11", "--web-port", "0"],
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=log)
options = webdriver.ChromeOptions()
for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--user-data-dir=" + tempfile.mkdtemp(prefix="web-bench-chromium-")):
    options.add_argument(argument)
options.binary_location = "/usr/bin/chromium"
browser = None
try:
    started = ""
    while "web page on " not in started:
        line = process.stdout.readline().decode()
        if not line:
            raise SystemExit("the gateway ended while starting")
        started += line
    raw_port = int(re.search(r"listening on [\d.]+:(\d+)", started).group(1))
    page = "http://127.0.0.1:%s/" % re.search(r"web page on http://[\d.]+:(\d+)/", started).group(1)
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    manager = pyvisa.ResourceManager("@py")
    r = manager.open_resource("TCPIP0::127.0.0.1::%d::SOCKET" % raw_port, read_termination="\n",
                              write_termination="\n")
    r.timeout = 10000

    polls = []

    def measure(url):
        browser.get(url)
        for _ in range(100):
            r.query(":FREQ?")
        times = []
        end = time.perf_counter() + arguments.seconds
        while time.perf_counter() < end:
            t = time.perf_counter()
            r.query(":FREQ?")
            times.append(time.perf_counter() - t)
        if url == page:
            polls.append(browser.execute_script(
                "return performance.getEntriesByType('resource').filter(e => e.name.includes('/api/state')).length"))
        return statistics.median(times) * 1e6, len(times)

    results = {"page open": [], "no page": []}
    for _ in range(arguments.rounds):
        results["page open"].append(measure(page))
        results["no page"].append(measure("about:blank"))
    r.close()
    for name, runs in results.items():
        print("%-9s median round trip %7.1f us  (runs: %s; %d queries in all)" % (
            name, statistics.median(t for t, _ in runs), ", ".join("%.1f us" % t for t, _ in runs), sum(n for _, n in runs)))
    ratio = statistics.median(t for t, _ in results["page open"]) / statistics.median(t for t, _ in results["no page"])
    print("ratio page open / no page: %.3f (goal: at most 1.05); the page polled %s times in its runs" % (
        ratio, "/".join(str(n) for n in polls)))
finally:
    if browser is not None:
        browser.quit()
    process.kill()
    process.wait()
    log.close()
