#!/usr/bin/python3
"""The gateway from outside when libraries, clients, pipes and signals misbehave: the native
gateway with the simulator linked in, on loopback.

usage: gateway_robustness_test.py GATEWAY"""
import sys
import unittest
import warnings

from gateway_client_test import Gateway, raw_query


class BusReadsAndWrites(unittest.TestCase):
    """A library that fills the whole read buffer loses no byte."""

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


if __name__ == "__main__":
    warnings.simplefilter("ignore", DeprecationWarning)
    unittest.main(argv=[sys.argv[0], "-v"])
