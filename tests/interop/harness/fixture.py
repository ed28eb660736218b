"""Everything one test class starts, stopped in reverse order whatever happens."""
import os
import shutil
import tempfile
from pathlib import Path

from .ardour import Ardour
from .corvello import CorvelloDaemon, CorvmidiJack, Remote
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
        self._runtime_dir = None

    @classmethod
    def for_test_class(cls, test_class):
        """A stack named after a unittest class, stopped when the class is done."""
        stack = cls(test_class.__name__)
        test_class.addClassCleanup(stack.stop)
        return stack

    def corvello_env(self):
        """Environment shared by corvello and corvmidi-jack.

        A private XDG_RUNTIME_DIR gives them their own lock, port list and
        pipes. It lives in /tmp, not in the work directory, because the pipe
        paths must fit a Unix socket address (108 bytes).
        """
        if not self._runtime_dir:
            self._runtime_dir = tempfile.mkdtemp(prefix="corvello-interop-")
        return dict(self.jack.env, XDG_RUNTIME_DIR=self._runtime_dir, AVAHI_COMPAT_NOWARN="1")

    def _started_now(self, component):
        self._started.append(component)
        return component

    def start_jack(self):
        self.jack = self._started_now(JackServer(self.work_dir))
        return self.jack

    def start_ardour(self):
        return self._started_now(Ardour(self.jack.env, self.work_dir))

    def start_midi_surface(self, name="interop-surface"):
        return self._started_now(MidiSurface(self.jack.name, name))

    def start_corvello(self):
        return self._started_now(CorvelloDaemon(self.corvello_env(), self.work_dir))

    def start_corvmidi_jack(self):
        return self._started_now(CorvmidiJack(self.corvello_env(), self.work_dir, self.jack))

    def start_remote(self, port):
        return self._started_now(Remote(self.jack.env, self.work_dir, port))

    def stop(self):
        """Stops everything, even when one stop fails; then reports the first failure."""
        failures = []
        while self._started:
            try:
                self._started.pop().stop()
            except Exception as error:  # the others must still stop
                failures.append(error)
        if self._runtime_dir:
            shutil.rmtree(self._runtime_dir, ignore_errors=True)
        if failures:
            raise failures[0]
