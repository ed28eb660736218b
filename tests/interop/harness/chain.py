"""The whole chain: remote, corvello, corvmidi-jack and Ardour on one jackd."""
from . import mackie
from .ardour import MACKIE_IN, MACKIE_OUT

MACKIE_CONTROL = (186, 1, 1)
FADER = 9
UNITY = mackie.fader_value(mackie.UNITY_FADER_1)


class Chain:
    """Everything started; Ardour's surface not yet wired to Corvello.

    Two JACK clients of the harness listen in from the start, one on what
    Ardour's surface sends and one on what Corvello sends towards Ardour, to
    tell a fault on Ardour's side from one on ours.
    """

    def __init__(self, stack):
        self.stack = stack
        self.jack = stack.start_jack()
        corvello = stack.start_corvello()
        self.corvmidi = stack.start_corvmidi_jack()
        self.ardour = stack.start_ardour()
        self.remote = stack.start_remote(corvello.port)
        self.ardour_sent = stack.start_midi_surface("interop-ardour-sent")
        self.jack.connect(MACKIE_OUT, self.ardour_sent.inport.name)
        self.corvello_sent = stack.start_midi_surface("interop-corvello-sent")
        self.jack.connect(self.corvmidi.to_daw, self.corvello_sent.inport.name)

    def wire_ardour_surface(self):
        """Connects Ardour's surface to corvmidi-jack's "Tamberlin" ports and
        waits for Ardour's device queries, which it sends once per connection."""
        self.jack.connect(MACKIE_OUT, self.corvmidi.from_daw)
        self.jack.connect(self.corvmidi.to_daw, MACKIE_IN)
        if not self.ardour_sent.wait_for(lambda m: m == mackie.DEVICE_QUERIES[-1], timeout=3):
            raise AssertionError(f"Ardour sent no device query: {self.ardour_sent.received()[:10]}")

    def select_mackie_control(self):
        """Selects Mackie Control on the remote; returns once Corvello's
        device query reply has left corvmidi-jack towards Ardour."""
        self.remote.send(*MACKIE_CONTROL)
        if not self.corvello_sent.wait_for(lambda m: m == mackie.HOST_CONNECTION_QUERY, timeout=3):
            raise AssertionError(self.diagnosis("selecting Mackie Control sent Ardour no device query reply"))

    def wait_for_fader_at_unity(self, strip, timeout):
        return self.remote.wait_for(
            lambda r: r.kind == FADER and r.index == strip and abs(r.value - UNITY) < 1e-3, timeout)

    def diagnosis(self, what, kind=None, status=None):
        """What Ardour sent and what the remote got, narrowed to one record kind
        and MIDI status when given (meters left out)."""
        def shown(surface):
            sent = [m.hex(" ") for m in surface.received() if m[0] != 0xD0 and status in (None, m[0])]
            return f"{len(sent)}: {sent[:20]}"
        got = [r for r in self.remote.records() if kind in (None, r.kind)]
        return (f"{what}.\nArdour sent {shown(self.ardour_sent)}\n"
                f"Corvello sent Ardour {shown(self.corvello_sent)}\n"
                f"the remote received {len(got)}: {got[:20]}\nlogs in {self.stack.work_dir}")
