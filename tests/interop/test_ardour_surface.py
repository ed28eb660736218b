"""Ardour's own Mackie Control surface against a test surface of ours.

Pins down the peer's behaviour that the end-to-end test relies on, so that a
change in Ardour shows up here rather than as a puzzle in our own test.
Started for real: `jackd -d dummy` (fresh, uniquely named server), Ardour 7
headless (`ardour7-lua`, pinned to one CPU) with a new two-track session, and
a JACK MIDI client of this test playing the surface.
"""
import time
import unittest

from harness.ardour import MACKIE_IN, MACKIE_OUT
from harness.fixture import PeerStack
from harness import mackie
from harness.waiting import eventually


class ArdourMackieSurfaceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.stack = PeerStack.for_test_class(cls)
        jack = cls.stack.start_jack()
        cls.ardour = cls.stack.start_ardour()
        cls.surface = cls.stack.start_midi_surface()
        # Half-connected first: Ardour must stay silent until both directions exist.
        jack.connect(MACKIE_OUT, cls.surface.inport.name)
        time.sleep(0.5)
        cls.before_both_connected = cls.surface.received()
        jack.connect(cls.surface.outport.name, MACKIE_IN)
        cls.surface.wait_for(lambda m: m == mackie.DEVICE_QUERIES[-1], timeout=3)
        time.sleep(0.5)
        cls.after_connection = cls.surface.received()
        cls.surface.send(mackie.HOST_CONNECTION_QUERY)
        if not cls.surface.wait_for(lambda m: m == mackie.UNITY_FADER_1, timeout=3):
            raise AssertionError("Ardour did not activate on the host connection query")

    def test_device_queries_are_sent_once_after_both_ports_are_connected(self):
        self.assertEqual(self.before_both_connected, [])
        self.assertEqual(self.after_connection, mackie.DEVICE_QUERIES)

    def test_activation_dumps_lcd_and_meters(self):
        self.assertIsNotNone(self.surface.wait_for(lambda m: mackie.lcd_text(m) == (0, "Audio1 "), timeout=3))
        self.assertIsNotNone(self.surface.wait_for(lambda m: m[0] == 0xD0, timeout=3), "no meters")

    def test_fader_move_sets_track_gain(self):
        self.surface.send(mackie.pitch_bend(0, 0x3000))
        self.assertTrue(eventually(lambda: abs(self.ardour.track_gain(1) - 0.8917) < 1e-3, timeout=3),
                        f"gain stayed {self.ardour.track_gain(1)}")

    def test_play_press_rolls_transport_and_lights_lamp(self):
        self.surface.send(mackie.note_on(mackie.PLAY_NOTE, 0x7F))
        self.surface.send(mackie.note_on(mackie.PLAY_NOTE, 0))
        self.assertTrue(eventually(self.ardour.transport_rolling, timeout=3), "transport did not roll")
        self.assertIsNotNone(self.surface.wait_for(
            lambda m: m == mackie.note_on(mackie.PLAY_NOTE, 0x7F), timeout=3))


if __name__ == "__main__":
    unittest.main(verbosity=2)
