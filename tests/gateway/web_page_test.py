#!/usr/bin/python3
"""The gateway's web page as people meet it, in a network namespace of the test's own (run through
tests/gateway/in-netns.sh, so that the gateway may take ports 80 and 111): headless Chromium on the
page, pyvisa-py and the raw socket beside it, and plain HTTP for what a browser never sends. One
gateway and one browser serve the whole scenario. Bus effects are read from the simulator's trace.

GATEWAY is the program; WINE_RUN (tools/wine-run.sh) runs a Windows build under Wine, '' natively;
SCREENSHOT, when given, is where the page's picture goes."""
import argparse
import http.client
import json
import os
import re
import socket
import sys
import tempfile
import threading
import time
import unittest
import xml.etree.ElementTree as ElementTree

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
SCREENSHOT = ""
if __name__ == "__main__":
    # Before anything imports pyvisa or selenium: --help answers where they are missing.
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("gateway", help="taverix-gateway, native or .exe")
    parser.add_argument("wine_run", nargs="?", default="", help="tools/wine-run.sh for a Windows build")
    parser.add_argument("--screenshot", default="", help="PNG file for a picture of the page")
    arguments, unittest_arguments = parser.parse_known_args()
    SCREENSHOT = arguments.screenshot
    sys.argv[1:] = unittest_arguments
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gateway_client_test as base   # noqa: E402  the gateway process, its trace and its log
if __name__ == "__main__":
    base.GATEWAY, base.WINE_RUN = arguments.gateway, arguments.wine_run
from gateway_client_test import WAIT_SECONDS, START_SECONDS, CLIENT_TIMEOUT_MS, wait_until   # noqa: E402

import pyvisa   # noqa: E402
from selenium import webdriver   # noqa: E402
from selenium.webdriver.chrome.service import Service   # noqa: E402
from selenium.webdriver.common.by import By   # noqa: E402
from selenium.webdriver.support.ui import Select   # noqa: E402

IDN = "QX-SIM,QX-7316,0,1.00"
SCRIPT_REPLY = "<script>document.title='ran'</script><img src=x onerror=\"document.title='ran'\">"
LXI = "{http://www.lxistandard.org/InstrumentIdentification/1.0}"
ON_MESSAGE = 'gp_wrt("4", ":FUNC SQU;:FREQ 2500.000000;:OFFS:STAT OFF;:AMPL 1.500000;:OUTP ON") = 0'


class Gateway(base.Gateway):
    protocols = ()   # every protocol, the web page on port 80

    def wait_started(self):
        self.started = []
        while not any(line.startswith("web page on ") for line in self.started):
            line = self.out.get(timeout=START_SECONDS)
            if line is None:
                raise AssertionError("ended while starting; output %s, log %s" % (self.started, self.log_lines()))
            self.started.append(line)
        self.port = int(re.search(r"^listening on [\d.]+:(\d+)$", "\n".join(self.started), re.M).group(1))
        return self


class RawSocketAndWeb(base.Gateway):
    protocols = ("--no-vxi11",)   # the raw socket on a port of its own, and the web page


def request(method, path, body=None, headers=None, port=80):
    """(status, headers, body) of one plain request on a connection of its own."""
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=WAIT_SECONDS)
    try:
        c.request(method, path, body=body, headers=headers or {})
        r = c.getresponse()
        return r.status, dict(r.getheaders()), r.read().decode("utf-8")
    finally:
        c.close()


def raw_request(data, read=True):
    """Bytes sent as they are on a connection of their own; the reply's status line."""
    with socket.create_connection(("127.0.0.1", 80), timeout=WAIT_SECONDS) as s:
        s.sendall(data)
        return s.makefile("rb").readline().decode("latin-1").strip() if read else ""


def closed_by_peer(s):
    try:
        return s.recv(1) == b""
    except (ConnectionResetError, socket.timeout):
        return True


class WebPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        env = {"TAVERIX_SIM_TIMEOUT_MS": "200", "TAVERIX_SIM_REPLIES": ":SCRIPT?=%s\\n" % SCRIPT_REPLY}
        cls.gateway = Gateway("--listen", "0.0.0.0", env=env).wait_started()
        options = webdriver.ChromeOptions()
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                         "--window-size=1280,1600", "--user-data-dir=" + tempfile.mkdtemp(prefix="web-page-chromium-")):
            options.add_argument(argument)
        options.binary_location = "/usr/bin/chromium"
        cls.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.browser.set_page_load_timeout(START_SECONDS)
        cls.manager = pyvisa.ResourceManager("@py")
        # A request never finished, a header line every 3 s, checked last: its 10 s pass while the
        # rest is tested.
        cls.slow = socket.create_connection(("127.0.0.1", 80), timeout=WAIT_SECONDS)
        cls.slow_since = time.monotonic()
        cls.slow_closed = []
        cls.slow_thread = threading.Thread(target=cls.trickle, daemon=True)
        cls.slow_thread.start()

    @classmethod
    def trickle(cls):
        """The slow client: the request's lines one at a time, 3 s apart, until the gateway closes."""
        cls.slow.sendall(b"GET / HTTP/1.1\r\n")
        for line in (b"Host: 127.0.0.1\r\n", b"Accept: */*\r\n", b"X-Slow: 1\r\n", b"X-Slow: 2\r\n"):
            cls.slow.settimeout(3)
            try:
                if cls.slow.recv(1) == b"":
                    break
            except socket.timeout:
                cls.slow.sendall(line)
            except OSError:
                break
        else:
            cls.slow.settimeout(WAIT_SECONDS)
            try:
                cls.slow.recv(1)
            except OSError:
                pass
        cls.slow_closed.append(time.monotonic() - cls.slow_since)

    @classmethod
    def tearDownClass(cls):
        cls.slow.close()
        cls.browser.quit()
        cls.manager.close()
        print("\n-- the gateway's last lines:", *cls.gateway.log_lines()[-20:], sep="\n", file=sys.stderr)
        code = cls.gateway.stop()
        cls.gateway.kill()
        assert code == 0, "the gateway's exit code %s" % code

    def text(self, element_id):
        return self.browser.find_element(By.ID, element_id).text

    def wait_text(self, element_id, check, what):
        seen = []

        def shown():
            seen[:] = [self.text(element_id)]
            return check(seen[0])
        try:
            wait_until(shown, "%s (#%s)" % (what, element_id))
        except AssertionError as e:
            raise AssertionError("%s; it showed %r" % (e, seen[0] if seen else None)) from None

    def trace_after(self, mark):
        return self.gateway.trace()[mark:]

    def token(self):
        status, _, page = request("GET", "/")
        return re.search(r'<meta name="token" content="([0-9a-f]{32})">', page).group(1)

    def test_1_plain_http(self):
        """Refusals with nothing on the bus, the limits, the identification document, and a browser's
        worth of web connections beside raw-socket and VXI-11 clients."""
        token = self.token()
        mark = len(self.gateway.trace())
        form = {"Content-Type": "application/x-www-form-urlencoded"}
        on = "waveform=SQU&frequency=2500&amplitude=1.5"
        refused = [
            ({}, 403), ({"X-Token": "0" * 32}, 403), ({"X-Token": token, "Origin": "http://attacker.example"}, 403),
            ({"X-Token": token, "Host": "attacker.example"}, 421), ({"X-Token": token, "Origin": "null"}, 403),
        ]
        for headers, status in refused:
            for path in ("/api/panel/on", "/api/io/clear", "/api/find"):
                got = request("POST", path, on + "&address=4", dict(form, **headers))
                self.assertEqual(got[0], status, (path, headers, got[2]))
        self.assertEqual(request("GET", "/", headers={"Host": "attacker.example"})[0], 421)
        self.assertEqual(self.trace_after(mark), [])
        # Limits: header, body, a request never finished.
        self.assertTrue(raw_request(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + b"p" * 9000 + b"\r\n\r\n")
                        .startswith("HTTP/1.1 431 "))
        self.assertTrue(raw_request(b"POST /api/idn HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5000\r\n\r\n")
                        .startswith("HTTP/1.1 413 "))
        status, headers, _ = request("GET", "/")
        self.assertEqual(status, 200)
        self.assertIn("default-src 'self'", headers["Content-Security-Policy"])
        self.assertIn("frame-ancestors 'none'", headers["Content-Security-Policy"])
        self.assertEqual(headers["X-Content-Type-Options"], "nosniff")
        # The identification document parses, its elements in the schema's order.
        status, headers, document = request("GET", "/lxi/identification")
        self.assertEqual((status, headers["Content-Type"].split(";")[0]), (200, "text/xml"))
        root = ElementTree.fromstring(document)
        self.assertEqual(root.tag, LXI + "LXIDevice")
        self.assertEqual([e.tag[len(LXI):] for e in root if e.tag != LXI + "Interface"],
                         ["Manufacturer", "Model", "SerialNumber", "FirmwareRevision", "ManufacturerDescription",
                          "HomepageURL", "DriverURL", "ConnectedDevices", "LXIVersion"])
        self.assertEqual(root.find(LXI + "Manufacturer").text, "QX7316 SAMPLE")
        self.assertEqual([d.text for d in root.find(LXI + "ConnectedDevices")], ["http://127.0.0.1/gpib0,4"])
        interfaces = root.findall(LXI + "Interface")
        self.assertEqual(sorted(i.find(LXI + "IPAddress").text for i in interfaces), ["10.73.16.1", "127.0.0.1"])
        for interface in interfaces:
            address = interface.find(LXI + "IPAddress").text
            self.assertEqual(interface.get("{http://www.w3.org/2001/XMLSchema-instance}type"), "NetworkInformation")
            self.assertEqual((interface.get("InterfaceType"), interface.get("IPType")), ("LXI", "IPv4"))
            self.assertEqual([e.tag[len(LXI):] for e in interface],
                             ["InstrumentAddressString"] * 3 + ["Hostname", "IPAddress", "SubnetMask", "MACAddress",
                                                                "Gateway", "DHCPEnabled", "AutoIPEnabled"])
            self.assertEqual([e.text for e in interface.findall(LXI + "InstrumentAddressString")],
                             ["TCPIP0::%s::inst0::INSTR" % address, "TCPIP0::%s::gpib0,4::INSTR" % address,
                              "TCPIP0::%s::%d::SOCKET" % (address, self.gateway.port)])
        device = ElementTree.fromstring(request("GET", "/gpib0,4/lxi/identification")[2])
        self.assertEqual([device.find(LXI + n).text for n in ("Manufacturer", "Model", "SerialNumber", "FirmwareRevision")],
                         IDN.split(","))

        # Nine web connections, eight of them waiting for a request to come or to finish (one is the
        # slow one): the ninth is closed, and a raw-socket and a VXI-11 client are served meanwhile.
        # First the connections above have ended: the pool holds the slow one and this poller, which
        # the seventh waiting connection then displaces, being idle.
        poller = http.client.HTTPConnection("127.0.0.1", 80, timeout=WAIT_SECONDS)

        def web_connections():
            poller.request("GET", "/api/state")
            return json.loads(poller.getresponse().read())["counts"]["web_connections"]
        wait_until(lambda: web_connections() == 2, "the slow connection and the poller alone")
        busy = []
        for _ in range(7):
            s = socket.create_connection(("127.0.0.1", 80), timeout=WAIT_SECONDS)
            s.sendall(b"GET / HTTP/1.1\r\n")
            busy.append(s)
        raw = socket.create_connection(("127.0.0.1", self.gateway.port), timeout=WAIT_SECONDS)
        instrument = self.manager.open_resource("TCPIP0::127.0.0.1::gpib0,4::INSTR", read_termination="\n",
                                                write_termination="\n")
        instrument.timeout = CLIENT_TIMEOUT_MS
        ninth = socket.create_connection(("127.0.0.1", 80), timeout=WAIT_SECONDS)
        started = time.monotonic()
        raw.sendall(b"*IDN?\n")
        self.assertEqual(raw.makefile("rb").readline(), (IDN + "\n").encode())
        self.assertEqual(instrument.query("*IDN?"), IDN)
        self.assertLess(time.monotonic() - started, 5)
        self.assertTrue(closed_by_peer(ninth))
        instrument.close()
        raw.close()
        for s in busy + [ninth]:
            s.close()
        # Idle connections make room for new ones, the one idle longest first: once the seven have
        # ended, the slow one, a new poller and seven idle connections fill the pool; the eighth
        # takes the poller's place, the next request the first idle one's.
        poller = http.client.HTTPConnection("127.0.0.1", 80, timeout=WAIT_SECONDS)
        wait_until(lambda: web_connections() == 2, "the waiting connections ended")
        idle = []
        for _ in range(8):
            s = socket.create_connection(("127.0.0.1", 80), timeout=WAIT_SECONDS)
            s.sendall(b"GET /page.css HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
            s.recv(65536)
            idle.append(s)
        self.assertEqual(request("GET", "/lxi/identification")[0], 200)
        self.assertTrue(closed_by_peer(idle[0]))
        self.assertRaises(http.client.RemoteDisconnected, web_connections)   # the poller's place went first
        for s in idle:
            s.close()

    def test_2_browser(self):
        """The page in Chromium: the panel, the message box, Find, the clients, a lock, texts that
        hold markup, and a picture of it all."""
        b = self.browser
        b.get("http://127.0.0.1/")
        self.assertEqual(b.title.split(" on ")[0], "QX7316 SAMPLE gateway")
        self.wait_text("idn", lambda t: t == IDN, "the instrument's identity")
        strings = self.text("resource-strings")
        for resource in ("TCPIP0::127.0.0.1::inst0::INSTR", "TCPIP0::127.0.0.1::gpib0,4::INSTR",
                         "TCPIP0::127.0.0.1::%d::SOCKET" % self.gateway.port):
            self.assertIn(resource, b.find_element(By.ID, "resource-strings").get_attribute("innerHTML"), strings)
        self.assertEqual([o.get_attribute("value") for o in Select(b.find_element(By.ID, "panel-waveform")).options],
                         ["SIN", "TRI", "SQU", "PULS", "RAMP", "DC"])

        # ON with SQU, 2500 and 1.5: the program's message, then its three read-backs.
        mark = len(self.gateway.trace())
        Select(b.find_element(By.ID, "panel-waveform")).select_by_value("SQU")
        for element_id, value in (("panel-frequency", "2500"), ("panel-amplitude", "1.5")):
            field = b.find_element(By.ID, element_id)
            field.clear()
            field.send_keys(value)
        b.find_element(By.ID, "panel-on").click()
        self.wait_text("panel-readback-frequency", lambda t: t == "+2.500000E+03", "the frequency read back")
        self.assertEqual(self.text("panel-readback-waveform"), "SQU")
        self.assertEqual(self.text("panel-readback-amplitude"), "+1.500000E+00")
        self.assertEqual(self.trace_after(mark), [
            ON_MESSAGE, 'gp_wrt("4", ":FUNC?") = 0', 'gp_red("4", 256) = 0 "SQU\\n"', 'gp_wrt("4", ":AMPL?") = 0',
            'gp_red("4", 256) = 0 "+1.500000E+00\\n"', 'gp_wrt("4", ":FREQ?") = 0', 'gp_red("4", 256) = 0 "+2.500000E+03\\n"'])
        self.assertFalse(b.find_element(By.ID, "panel-on").is_enabled())
        b.find_element(By.ID, "panel-self-test").click()
        self.wait_text("panel-verdict", lambda t: t == "OK", "the self test's verdict")

        # The message box's query, and a reply holding markup shown as text.
        field = b.find_element(By.ID, "io-message")
        field.clear()
        field.send_keys(":FREQ?")
        b.find_element(By.ID, "io-query").click()
        self.wait_text("io-reply", lambda t: t == "+2.500000E+03\\n", "the query's reply")
        field.clear()
        field.send_keys(":SCRIPT?")
        b.find_element(By.ID, "io-query").click()
        self.wait_text("io-reply", lambda t: t == SCRIPT_REPLY + "\\n", "the reply with markup, as text")

        # Find instruments lists address 4.
        b.find_element(By.ID, "find-start").click()
        self.wait_text("find-results", lambda t: "TCPIP0::127.0.0.1::gpib0,4::INSTR" in t and IDN in t, "address 4 found")

        # A pyvisa-py session and a raw-socket line holding markup show in the clients and the log.
        instrument = self.manager.open_resource("TCPIP0::127.0.0.1::gpib0,4::INSTR", read_termination="\n",
                                                write_termination="\n")
        instrument.timeout = CLIENT_TIMEOUT_MS
        self.assertEqual(instrument.query("*IDN?"), IDN)
        self.wait_text("clients", lambda t: re.search(r"vxi11 core link \d+ gpib0,4", t), "the VXI-11 session")
        with socket.create_connection(("127.0.0.1", self.gateway.port), timeout=WAIT_SECONDS) as raw:
            raw.sendall(b"*CLS;<script>document.title='ran'</script>\n")
            self.wait_text("log", lambda t: "<script>document.title='ran'</script>" in t, "the raw line in the log")
            self.wait_text("clients", lambda t: "raw socket address 4" in t, "the raw-socket client")

        # A lock taken with pyvisa-py: the page's OFF is refused at once, nothing on the bus.
        instrument.lock_excl()
        self.wait_text("clients", lambda t: re.search(r"link \d+ gpib0,4 address 4", t), "the lock in the clients")
        mark = len(self.gateway.trace())
        b.find_element(By.ID, "panel-off").click()
        self.wait_text("panel-status", lambda t: re.fullmatch(r"locked by 127\.0\.0\.1:\d+ link \d+", t),
                       "the page's OFF refused for the lock")
        self.assertEqual(self.trace_after(mark), [])
        instrument.unlock()
        instrument.close()

        # Nothing that came from outside ran: no title changed, one script element (the page's own).
        self.assertEqual(b.title.split(" on ")[0], "QX7316 SAMPLE gateway")
        self.assertEqual(b.execute_script("return document.scripts.length"), 1)
        self.assertEqual(b.execute_script("return document.images.length"), 0)

        # OFF, then ON again: the read-back fields emptied, then filled; the status line cleared.
        b.find_element(By.ID, "panel-off").click()
        self.wait_text("panel-readback-waveform", lambda t: t == "", "the read-back emptied by OFF")
        b.find_element(By.ID, "panel-on").click()
        self.wait_text("panel-readback-frequency", lambda t: t == "+2.500000E+03", "the frequency read back again")
        self.assertEqual(self.text("panel-status"), "")
        if SCREENSHOT:
            b.save_screenshot(SCREENSHOT)
    def test_3_a_request_never_finished_ends_its_connection_10_s_after_it_opened(self):
        self.slow_thread.join(WAIT_SECONDS)
        self.assertEqual(len(self.slow_closed), 1)
        # Not before its 10 s, and not later for the lines it sent meanwhile.
        self.assertGreater(self.slow_closed[0], 9.5)
        self.assertLess(self.slow_closed[0], 12.5)

    def test_4_a_web_port_held_by_another_program(self):
        """The port taken (here by the first gateway): one line says why and what to do, and the
        rest is served."""
        second = RawSocketAndWeb("--web-port", "80")
        try:
            second.wait_listening()
            wait_until(lambda: any(line.startswith("web not served: port 80 ") for line in second.log_lines()),
                       "the line saying that the web page is not served")
            line = next(line for line in second.log_lines() if line.startswith("web not served: "))
            self.assertIn("--web-port 8080", line)
            with socket.create_connection(("127.0.0.1", second.port), timeout=WAIT_SECONDS) as raw:
                raw.sendall(b"*IDN?\n")
                self.assertEqual(raw.makefile("rb").readline(), (IDN + "\n").encode())
            self.assertEqual(second.stop(), 0)
            printed = []
            while not second.out.empty():
                printed.append(second.out.get())
            self.assertFalse([line for line in printed if line and line.startswith("web page on ")], printed)
        finally:
            second.kill()


if __name__ == "__main__":
    unittest.main()
