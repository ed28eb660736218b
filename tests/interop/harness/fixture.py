"""Everything one test class starts, stopped in reverse order whatever happens."""
import os
import shutil
from pathlib import Path

from .ardour import Ardour
from .jack_server import JackServer
from .midi_surface import MidiSurface


class PeerStack:
    """Starts peers on demand inside a fresh work directory.

    The work directory (logs, Ardour's configuration and session) lives under
    CORVELLO_INTEROP_WORK, or /tmp, and is kept after the run for inspection.
    """

    def __init__(self, name):
        root = Path(os.environ.get("CORVELLO_INTEROP_WORK", "/tmp/corvello-interop"))
        self.work_dir = root / name
        shutil.rmtree(self.work_dir, ignore_errors=True)
        self.work_dir.mkdir(parents=True)
        self._started = []
        self.jack = None

    def _started_now(self, component):
        self._started.append(component)
        return component

    def start_jack(self):
        self.jack = self._started_now(JackServer(self.work_dir))
        return self.jack

    def start_ardour(self):
        return self._started_now(Ardour(self.jack.env, self.work_dir))

    def start_midi_surface(self):
        return self._started_now(MidiSurface(self.jack.name))

    def stop(self):
        while self._started:
            self._started.pop().stop()
