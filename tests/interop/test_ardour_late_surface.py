"""Ardour's surface wired to Corvello only after the remote chose Mackie Control.

This is what a user meets who connects the remote first and starts Ardour
later, or restarts it. Ardour asks for the surface once per connection (the
device query) and wakes up on the surface's reply. Corvello replies only when
the remote selects Mackie Control; it also answers Ardour's device query with
the same reply, which wakes a surface wired later (one state dump, however
many of Ardour's four queries are answered).

Started for real, each by PID, as in test_ardour_corvello.py.
"""
import unittest

from harness.chain import FADER, Chain
from harness.fixture import PeerStack


class ArdourWiredAfterSelectionTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.chain = Chain(PeerStack.for_test_class(cls))

    def test_ardour_wakes_up_without_a_second_selection(self):
        self.chain.select_mackie_control()
        self.chain.wire_ardour_surface()
        self.assertTrue(self.chain.wait_for_fader_at_unity(0, timeout=5),
                        self.chain.diagnosis("Ardour did not wake up", FADER, 0xE0))


if __name__ == "__main__":
    unittest.main(verbosity=2)
