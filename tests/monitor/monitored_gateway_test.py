#!/usr/bin/python3
"""The gateway from a test bed whose TAVERIX.dll is the bus monitor, in front of the simulator as
TAVERIX-real.dll: a pyvisa client gets the right replies through both, and the monitor's log, times
and durations aside, equals the simulator's trace line for line.

BED holds taverix-gateway.exe, the monitor as TAVERIX.dll and the simulator as TAVERIX-real.dll."""
import argparse
import os
import subprocess
import sys
import unittest
import warnings

parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
parser.add_argument("bed", help="the test bed folder (bin/monitored-gateway of a Windows build)")
parser.add_argument("wine_run", help="tools/wine-run.sh")
arguments = parser.parse_args()

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "gateway"))
sys.dont_write_bytecode = True   # no __pycache__ in the source tree
import gateway_client_test as gateway_client  # noqa: E402  (its Gateway class runs and reads the program)

import pyvisa  # noqa: E402

BED = arguments.bed
gateway_client.GATEWAY = os.path.join(BED, "taverix-gateway.exe")
gateway_client.WINE_RUN = arguments.wine_run
LOG = os.path.join(BED, "gateway-monitor.log")
LOG_CALLS = os.path.join(HERE, "monitor-log-calls.sh")
IDENTITY = "QX-SIM,QX-7316,0,1.00"


class GatewayThroughTheMonitor(unittest.TestCase):
    def test_replies_are_right_and_the_log_equals_the_trace(self):
        if os.path.exists(LOG):
            os.unlink(LOG)
        # The log as the Windows program sees it (Wine's drive Z: is the root).
        gateway = gateway_client.Gateway(env={"TAVERIX_MONITOR_LOG": "Z:" + LOG.replace("/", "\\")})
        manager = pyvisa.ResourceManager("@py")
        try:
            gateway.wait_listening()
            r = gateway.resource(manager)
            self.assertEqual(r.query("*IDN?"), IDENTITY)
            r.write(":FUNC SQU;:FREQ 2500;:AMPL 1.25")
            self.assertEqual(r.query(":FUNC?;:FREQ?;:AMPL?"), "SQU;+2.500000E+03;+1.250000E+00")
            r.close()

            # A line with a zero byte is refused whole: nothing of it reaches the bus.
            s = gateway.raw_socket()
            s.sendall(b":FREQ 888\x00;:FREQ?\n")
            self.assertEqual(gateway_client.raw_query(s, b":FREQ?\n"), b"+2.500000E+03\n")
            gateway.wait_log(r"refused, zero byte in line", "the bad line refused")
            s.close()

            self.assertEqual(gateway.stop(), 0)
            traced = [line for line in gateway.trace() if not line.startswith("# ")]
            self.assertEqual(traced[-1], 'gp_lcl("") = 0')
            self.assertIn('gp_wrt("4", ":FUNC SQU;:FREQ 2500;:AMPL 1.25") = 0', traced)
            self.assertIn('gp_red("4", 256) = 0 "%s\\n"' % IDENTITY, traced)
            self.assertFalse(any("888" in line for line in traced), traced)

            listed = subprocess.run([LOG_CALLS, LOG], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                    timeout=gateway_client.WAIT_SECONDS)
            self.assertEqual(listed.returncode, 0, listed.stderr.decode("latin-1"))
            calls = listed.stdout.decode("latin-1").splitlines()
            self.assertEqual(calls, traced)
            with open(LOG, encoding="latin-1") as f:
                self.assertRegex(f.read(), r'# target "[^"]*TAVERIX-real\.dll" loaded')
        finally:
            manager.close()
            gateway.kill()


if __name__ == "__main__":
    warnings.simplefilter("ignore", DeprecationWarning)
    unittest.main(argv=[sys.argv[0], "-v"])
