#!/usr/bin/python3
"""The gateway as a Windows service under Wine, driven with Wine's sc and net as a user would:
install (a refused option first), a failed bring-up, install over an installed one, reinstall,
start, pyvisa-py clients on the raw socket and VXI-11, the log file, stop, uninstall.

Runs inside tests/gateway/in-netns.sh --wine: the Wine prefix is a copy of the run's own, so that
its services, its registry and its wineserver go with it, and the gateway may take port 111.
GATEWAY is the Windows program."""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest
import warnings

GATEWAY = ""
if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("gateway", help="taverix-gateway.exe")
    GATEWAY = parser.parse_args().gateway

import pyvisa  # noqa: E402

SERVICE = "qx7316-gateway"
WAIT_SECONDS = 120       # Wine, and the emulated 32-bit Wine, may be slow on a loaded machine
IDN = "QX-SIM,QX-7316,0,1.00"
ENVIRONMENT_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"
NOT_INSTALLED = 1060
SERVICE_SPECIFIC = 1066
NEVER_STARTED = 1077
BRING_UP_FAILED = 1      # the gateway's own exit code for it


def windows_path(path):
    """Wine's Z: drive is the root of the file system."""
    return "Z:" + path.replace("/", "\\")


def wine(*args, check_ok=False):
    """Output through files, not pipes: Wine's background processes started by the call (the
    server, services.exe) would hold a pipe open long after the program ended."""
    with tempfile.TemporaryFile() as out_file, tempfile.TemporaryFile() as err_file:
        code = subprocess.run([os.environ["WINELOADER"], *args], stdin=subprocess.DEVNULL, stdout=out_file,
                              stderr=err_file, timeout=WAIT_SECONDS).returncode
        out_file.seek(0)
        err_file.seek(0)
        out = out_file.read().decode("cp932", "replace").replace("\r", "")
        err = err_file.read().decode("cp932", "replace").replace("\r", "")
    if check_ok and code != 0:
        raise AssertionError("wine %s: exit %d\n%s%s" % (" ".join(args), code, out, err))
    return code, out, err


def gateway(*args):
    return wine(GATEWAY, *args)


def service_state():
    """sc query's STATE, WIN32_EXIT_CODE and SERVICE_EXIT_CODE; None when not installed."""
    code, out, _ = wine("sc", "query", SERVICE)
    if code == NOT_INSTALLED or "STATE" not in out:
        return None
    numbers = {name: int(re.search(name + r"\s*:\s*(\d+)", out).group(1))
               for name in ("STATE", "WIN32_EXIT_CODE", "SERVICE_EXIT_CODE")}
    return numbers["STATE"], numbers["WIN32_EXIT_CODE"], numbers["SERVICE_EXIT_CODE"]


def wait_until(check, what):
    deadline = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("waited %d s for %s" % (WAIT_SECONDS, what))


def wait_state(state):
    return wait_until(lambda: (s := service_state()) and s[0] == state and s, "the service's state %d" % state)


def binary_path():
    """The installed command line (Wine's sc has no qc)."""
    _, out, _ = wine("reg", "query", r"HKLM\System\CurrentControlSet\Services\%s" % SERVICE, "/v", "ImagePath")
    return re.search(r"ImagePath\s+REG_\w+\s+(.*)", out).group(1).strip()


def new_server_session(variables):
    """A service sees the environment in the registry when the wineserver started: set it, then
    start the prefix's wineserver afresh (ending every service of the old one)."""
    for name, value in variables.items():
        if value is None:
            wine("reg", "delete", ENVIRONMENT_KEY, "/v", name, "/f")
        else:
            wine("reg", "add", ENVIRONMENT_KEY, "/v", name, "/d", value, "/f", check_ok=True)
    server = os.environ["WINESERVER"]
    for option in ("-k", "-w", "-p"):
        subprocess.run([server, option], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=WAIT_SECONDS)


def read(path):
    try:
        with open(path, encoding="latin-1") as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


class GatewayService(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="gateway-service-")
        # A service's %ProgramData% under Wine.
        self.log = os.path.join(os.environ["WINEPREFIX"], "drive_c/users/Public/QX7316/gateway.log")
        # The prefix's files are hard links to the test prefix's: a log left there is unlinked, never
        # appended to.
        for n in ("", ".1", ".2", ".3"):
            if os.path.exists(self.log + n):
                os.unlink(self.log + n)

    def tearDown(self):
        if os.environ.get("QX_KEEP_SERVICE_LOG"):
            print("\n".join(read(self.log)))
        gateway("--uninstall-service")
        for name in os.listdir(self.folder):
            os.unlink(os.path.join(self.folder, name))
        os.rmdir(self.folder)

    def expect_stopped(self, win32_exit, own_exit):
        state = wait_state(1)
        self.assertEqual(state[1:], (win32_exit, own_exit))

    def test_install_fail_reinstall_serve_stop_uninstall(self):
        failing_trace = os.path.join(self.folder, "failing-trace.txt")
        trace = os.path.join(self.folder, "trace.txt")
        new_server_session({"TAVERIX_SIM_TRACE": windows_path(failing_trace), "TAVERIX_SIM_FAULTS": "gp_init=3"})

        # An option that would not start installs nothing, and says why.
        code, _, err = gateway("--install-service", "--address", "31")
        self.assertEqual(code, 2)
        self.assertIn("cannot take --address 31; nothing was installed", err)
        self.assertIsNone(service_state())

        code, out, err = gateway("--install-service", "--timeout", "7")
        self.assertEqual(code, 0, err)
        self.assertIn("installed service %s" % SERVICE, out)
        self.assertIn("net start %s" % SERVICE, out)
        installed = binary_path()
        self.assertRegex(installed, r'^"[A-Z]:\\.*taverix-gateway\.exe" --service --timeout 7$')
        self.assertEqual(service_state(), (1, NEVER_STARTED, 0))   # installed, not started

        # A failed bring-up: stopped with the gateway's own exit code, its text in the log.
        self.assertEqual(wine("net", "start", SERVICE)[0], 0)   # Wine's net says 0 either way
        self.expect_stopped(SERVICE_SPECIFIC, BRING_UP_FAILED)
        self.assertRegex(read(self.log)[-1], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} gp_init\(\) error \[3\]$")
        # Handed back on the way out, as after any failed bring-up (the simulator, never opened, says 1).
        self.assertEqual(read(failing_trace), ["gp_init(1, 0, 0) = 3", 'gp_lcl("") = 1'])

        # Over an installed one: refused, nothing changed.
        code, _, err = gateway("--install-service", "--port", "6000")
        self.assertEqual(code, 1)
        self.assertIn("installed already; nothing was changed", err)
        self.assertEqual(binary_path(), installed)

        # Started automatically with the system: here, with the next wineserver session.
        new_server_session({"TAVERIX_SIM_TRACE": windows_path(trace), "TAVERIX_SIM_FAULTS": None})
        wait_state(4)
        code, out, err = gateway("--reinstall-service", "--core-port", "9020")
        self.assertEqual(code, 0, err)
        self.assertIn("stopping %s" % SERVICE, out)
        self.assertIn("reinstalled service", out)
        self.assertEqual(read(trace)[-1], 'gp_lcl("") = 0')
        self.assertRegex(binary_path(), r" --service --core-port 9020$")

        # RUNNING only once the listeners are open: a client gets through at once.
        wine("net", "start", SERVICE, check_ok=True)
        wait_state(4)
        manager = pyvisa.ResourceManager("@py")
        try:
            raw = manager.open_resource("TCPIP0::127.0.0.1::5025::SOCKET", read_termination="\n",
                                        write_termination="\n")
            raw.timeout = 20000
            self.assertEqual(raw.query("*IDN?"), IDN)
            raw.write(":FREQ 2500")
            raw.close()
            vxi = manager.open_resource("TCPIP0::127.0.0.1::inst0::INSTR", read_termination="\n")
            vxi.timeout = 20000
            self.assertEqual(vxi.query(":FREQ?"), "+2.500000E+03")
            vxi.close()
        finally:
            manager.close()
        wait_until(lambda: any('":FREQ 2500"' in line for line in read(self.log)), "the log's lines in its file")

        # net stop returns before the service has stopped: the state says when.
        self.assertEqual(wine("net", "stop", SERVICE)[0], 0)
        self.expect_stopped(0, 0)
        self.assertEqual(read(trace)[-1], 'gp_lcl("") = 0')
        self.assertIn("gp_llo() = 0", read(trace))
        log = read(self.log)
        started = max(i for i, line in enumerate(log) if line.endswith("listening on 127.0.0.1:5025"))
        self.assertRegex(log[started + 2], r" vxi11 core on 127\.0\.0\.1:9020$")
        self.assertRegex(log[-3], r" service stop: stopping$")
        self.assertRegex(log[-2], r" instrument released \(gp_lcl\)$")
        self.assertRegex(log[-1], r" stopped$")

        code, out, _ = gateway("--uninstall-service")
        self.assertEqual(code, 0)
        self.assertIn("removed service %s" % SERVICE, out)
        self.assertIsNone(service_state())
        code, _, err = gateway("--uninstall-service")
        self.assertEqual(code, 1)
        self.assertIn("is not installed; nothing was changed", err)


if __name__ == "__main__":
    warnings.simplefilter("ignore", DeprecationWarning)
    unittest.main(argv=[sys.argv[0], "-v"])
