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

from harness import mackie
from harness.ardour import MACKIE_IN, MACKIE_OUT
from harness.fixture import PeerStack
from harness.waiting import eventually

MACKIE_CONTROL = (186, 1, 1)
FADER, TIME_DISPLAY, METER, LCD, TRANSPORT = 9, 4, 96, 185, 193
PLAY = 3
UNITY = (0x64 * 128 + 0x08) / 16383  # Ardour's 0 dB fader position
# A fader position the MIDI path carries exactly (12288 after truncation),
# which Ardour maps to -1.0 dB.
FADER_AT_MINUS_1_DB = 0.750046
GAIN_AT_MINUS_1_DB = 0.8917


class ArdourThroughCorvelloTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.stack = PeerStack(cls.__name__)
        cls.addClassCleanup(cls.stack.stop)
        jack = cls.stack.start_jack()
        corvello = cls.stack.start_corvello()
        corvmidi = cls.stack.start_corvmidi_jack()
        cls.ardour = cls.stack.start_ardour()
        cls.remote = cls.stack.start_remote(corvello.port)
        cls.ardour_sent = cls.stack.start_midi_surface()
        jack.connect(MACKIE_OUT, cls.ardour_sent.inport.name)
        jack.connect(MACKIE_OUT, corvmidi.from_daw)
        jack.connect(corvmidi.to_daw, MACKIE_IN)
        if not cls.ardour_sent.wait_for(lambda m: m == mackie.DEVICE_QUERIES[-1], timeout=3):
            raise AssertionError(f"Ardour sent no device query: {cls.ardour_sent.received()[:10]}")
        cls.remote.send(*MACKIE_CONTROL)
        # Ardour zeroes every fader, then sends the tracks' positions. Until
        # strip 1's 0 dB has reached the remote, a fader move of the tests
        # could overtake Ardour's own update and be coalesced with it.
        if not cls.remote.wait_for(lambda r: cls.is_fader_at_unity(r, 0), timeout=8):
            raise AssertionError(cls.diagnosis("selecting Mackie Control did not bring fader 1 at 0 dB", FADER, 0xE0))

    @staticmethod
    def is_fader_at_unity(record, strip):
        return record.kind == FADER and record.index == strip and abs(record.value - UNITY) < 1e-3

    @classmethod
    def diagnosis(cls, what, kind=None, status=None):
        """What Ardour sent and what the remote got, narrowed to one record kind
        and MIDI status when given (meters left out)."""
        sent = [m for m in cls.ardour_sent.received() if m[0] != 0xD0 and status in (None, m[0])]
        got = [r for r in cls.remote.records() if kind in (None, r.kind)]
        return (f"{what}.\nArdour sent {len(sent)}: {[m.hex(' ') for m in sent[:20]]}\n"
                f"the remote received {len(got)}: {got[:20]}\nlogs in {cls.stack.work_dir}")

    def test_selection_brings_lcd_faders_and_timecode(self):
        # Ardour's strip shows the track name without blanks, cut to six characters.
        strip_name = self.ardour.track_name(1).replace(" ", "")[:6]
        self.assertTrue(self.remote.wait_for(
            lambda r: r.kind == LCD and r.index == 0 and r.text.strip() == strip_name, timeout=3),
            self.diagnosis(f"no LCD text {strip_name!r} at position 0", LCD, 0xF0))
        self.assertTrue(self.remote.wait_for(lambda r: self.is_fader_at_unity(r, 1), timeout=3),
                        self.diagnosis("fader 2 did not come at 0 dB", FADER, 0xE0))
        self.assertTrue(self.remote.wait_for(lambda r: r.kind == TIME_DISPLAY, timeout=3),
                        self.diagnosis("no timecode digits", TIME_DISPLAY, 0xB0))

    def test_fader_move_sets_track_gain(self):
        self.remote.send(FADER, 0, FADER_AT_MINUS_1_DB)
        self.assertTrue(eventually(lambda: abs(self.ardour.track_gain(1) - GAIN_AT_MINUS_1_DB) < 1e-3, timeout=3),
                        self.diagnosis(f"track 1's gain stayed {self.ardour.track_gain(1)}", FADER, 0xE0))

    def test_play_rolls_transport_and_lights_play_lamp(self):
        self.remote.send(TRANSPORT, PLAY, 1)
        self.remote.send(TRANSPORT, PLAY, 0)
        self.assertTrue(eventually(self.ardour.transport_rolling, timeout=3),
                        self.diagnosis("the transport did not roll", TRANSPORT, 0x90))
        self.assertTrue(self.remote.wait_for(
            lambda r: r.kind == TRANSPORT and r.index == PLAY and r.value == 1.0, timeout=3),
            self.diagnosis("the play lamp did not come back lit", TRANSPORT, 0x90))

    def test_meters_arrive_on_metering_channel(self):
        meter = self.remote.wait_for(lambda r: r.kind == METER, timeout=3)
        self.assertIsNotNone(meter, self.diagnosis("no meter record", METER))
        self.assertEqual(meter.channel, self.remote.METERING_CHANNEL)


if __name__ == "__main__":
    unittest.main(verbosity=2)
