"""A fresh JACK server per test, under a name no other test uses."""
import hashlib
import os

import jack

from .processes import StartedProcess, StartupError
from .waiting import eventually



class JackServer:
    """`jackd -d dummy`: a real JACK graph without sound hardware.

    JACK_DEFAULT_SERVER in `env` makes every child started with it join this
    server and no other, so concurrent tests never meet.

    The name comes from the work directory, not the process: jackd keeps a
    machine-wide table of eight server names, and a server that dies without
    shutting down keeps its entry until a server of the same name starts
    again. A per-process name would leak one entry per crashed run until no
    JACK server at all could start on the machine.

    Synchronous mode (--sync): the server waits for every client each cycle.
    On a loaded machine asynchronous mode lets a late client's MIDI output be
    overwritten by its next cycle, which loses part of Ardour's state dump.
    """

    def __init__(self, log_dir, sample_rate=48000, period=256):
        self.name = "corvello-interop-" + hashlib.sha1(str(log_dir).encode()).hexdigest()[:10]
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=self.name)
        self.process = StartedProcess(
            "jackd", ["jackd", "--no-realtime", "--sync", "-d", "dummy", "-r", str(sample_rate), "-p", str(period)],
            self.env, log_dir)
        self.process.wait_for_log("JACK server starting", timeout=5)
        self.client = self._connect_control_client(timeout=5)

    def _connect_control_client(self, timeout):
        client = eventually(self._try_control_client, timeout, interval=0.1)
        if not client:
            raise StartupError(f"jackd did not accept clients within {timeout} s:\n{self.process.log_tail()}")
        return client

    def _try_control_client(self):
        if self.process.popen.poll() is not None:
            raise StartupError(f"jackd exited:\n{self.process.log_tail()}")
        try:
            return jack.Client("interop-harness", no_start_server=True, servername=self.name)
        except jack.JackOpenError:
            return None

    def midi_ports(self, name_pattern, is_input=False, is_output=False):
        return [p.name for p in self.client.get_ports(
            name_pattern, is_midi=True, is_input=is_input, is_output=is_output)]

    def wait_for_midi_port(self, name_pattern, timeout, is_input=False, is_output=False):
        """The single MIDI port matching; waits for its owner to register it."""
        ports = eventually(lambda: self.midi_ports(name_pattern, is_input, is_output), timeout)
        if not ports:
            everything = [p.name for p in self.client.get_ports(is_midi=True)]
            raise StartupError(f"no MIDI port matches {name_pattern!r} within {timeout} s; MIDI ports: {everything}")
        if len(ports) > 1:
            raise StartupError(f"{name_pattern!r} is ambiguous: {ports}")
        return ports[0]

    def connect(self, source, destination):
        self.client.connect(source, destination)

    def stop(self):
        self.client.close()
        self.process.stop()
