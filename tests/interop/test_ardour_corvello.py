"""Ardour drives, and is driven by, the remote through Corvello.

Started for real, each by PID: `jackd -d dummy` (fresh, uniquely named),
`corvello` (the daemon, with a private XDG_RUNTIME_DIR), `corvmidi-jack`
(the driver's devices as JACK ports), Ardour 7 headless (`ardour7-lua`,
pinned to one CPU, new two-track session, Mackie surface enabled) and
`corvello-remote` acting as the remote on the daemon's TCP port. Ardour's
surface ports are wired to corvmidi-jack's "Tamberlin" ports, and a JACK
client of this test listens in on what Ardour sends, to tell a fault on
Ardour's side from one on ours.
"""
import unittest

from harness.chain import FADER, Chain
from harness.fixture import PeerStack
from harness.waiting import eventually

TIME_DISPLAY, METER, LCD, TRANSPORT = 4, 96, 185, 193
PLAY = 3
# A fader position the MIDI path carries exactly (12288 after truncation),
# which Ardour maps to -1.0 dB.
FADER_AT_MINUS_1_DB = 0.750046
GAIN_AT_MINUS_1_DB = 0.8917


class ArdourThroughCorvelloTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.chain = Chain(PeerStack.for_test_class(cls))
        cls.ardour, cls.remote = cls.chain.ardour, cls.chain.remote
        cls.chain.wire_ardour_surface()
        cls.chain.select_mackie_control()
        # Ardour zeroes every fader, then sends the tracks' positions. Until
        # strip 1's 0 dB has reached the remote, a fader move of the tests
        # could overtake Ardour's own update and be coalesced with it.
        if not cls.chain.wait_for_fader_at_unity(0, timeout=8):
            raise AssertionError(cls.chain.diagnosis("selecting Mackie Control did not bring fader 1 at 0 dB", FADER, 0xE0))

    def test_selection_brings_lcd_faders_and_timecode(self):
        # Ardour's strip shows the track name without blanks, cut to six characters.
        strip_name = self.ardour.track_name(1).replace(" ", "")[:6]
        self.assertTrue(self.remote.wait_for(
            lambda r: r.kind == LCD and r.index == 0 and r.text.strip() == strip_name, timeout=3),
            self.chain.diagnosis(f"no LCD text {strip_name!r} at position 0", LCD, 0xF0))
        self.assertTrue(self.chain.wait_for_fader_at_unity(1, timeout=3),
                        self.chain.diagnosis("fader 2 did not come at 0 dB", FADER, 0xE0))
        self.assertTrue(self.remote.wait_for(lambda r: r.kind == TIME_DISPLAY, timeout=3),
                        self.chain.diagnosis("no timecode digits", TIME_DISPLAY, 0xB0))

    def test_fader_move_sets_track_gain(self):
        self.remote.send(FADER, 0, FADER_AT_MINUS_1_DB)
        self.assertTrue(eventually(lambda: abs(self.ardour.track_gain(1) - GAIN_AT_MINUS_1_DB) < 1e-3, timeout=3),
                        self.chain.diagnosis(f"track 1's gain stayed {self.ardour.track_gain(1)}", FADER, 0xE0))

    def test_play_rolls_transport_and_lights_play_lamp(self):
        self.remote.send(TRANSPORT, PLAY, 1)
        self.remote.send(TRANSPORT, PLAY, 0)
        self.assertTrue(eventually(self.ardour.transport_rolling, timeout=3),
                        self.chain.diagnosis("the transport did not roll", TRANSPORT, 0x90))
        self.assertTrue(self.remote.wait_for(
            lambda r: r.kind == TRANSPORT and r.index == PLAY and r.value == 1.0, timeout=3),
            self.chain.diagnosis("the play lamp did not come back lit", TRANSPORT, 0x90))

    def test_meters_arrive_on_metering_channel(self):
        meter = self.remote.wait_for(lambda r: r.kind == METER, timeout=3)
        self.assertIsNotNone(meter, self.chain.diagnosis("no meter record", METER))
        self.assertEqual(meter.channel, self.remote.METERING_CHANNEL)


if __name__ == "__main__":
    unittest.main(verbosity=2)
