#!/usr/bin/python3
"""The gateway from outside when libraries, clients, pipes and signals misbehave: the native
gateway with the simulator linked in, on loopback."""
import argparse
import sys
import unittest
import warnings

if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("gateway", help="taverix-gateway, the native build")
    arguments = parser.parse_args()

import gateway_client_test  # noqa: E402
from gateway_client_test import Gateway, raw_query  # noqa: E402


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


if __name__ == "__main__":
    gateway_client_test.GATEWAY = arguments.gateway
    warnings.simplefilter("ignore", DeprecationWarning)
    unittest.main(argv=[sys.argv[0], "-v"])
