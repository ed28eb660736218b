"""A JACK MIDI client that plays a control surface: it records what it is sent
and sends what the test asks for."""
import threading

import jack

from .waiting import eventually, first_match


class MidiSurface:
    def __init__(self, server_name, name="interop-surface"):
        self.client = jack.Client(name, no_start_server=True, servername=server_name)
        self.inport = self.client.midi_inports.register("in")
        self.outport = self.client.midi_outports.register("out")
        self._lock = threading.Lock()
        self._received = []
        self._outgoing = []
        self.client.set_process_callback(self._process)
        self.client.activate()

    def _process(self, frames):
        with self._lock:
            for _, data in self.inport.incoming_midi_events():
                self._received.append(bytes(data))
            self.outport.clear_buffer()
            for message in self._outgoing:
                self.outport.write_midi_event(0, message)
            self._outgoing.clear()

    def send(self, *messages):
        with self._lock:
            self._outgoing.extend(bytes(m) for m in messages)

    def received(self):
        with self._lock:
            return list(self._received)

    def wait_for(self, predicate, timeout):
        """Waits until predicate(message) holds for a received message; returns it or None."""
        return eventually(lambda: first_match(self.received(), predicate), timeout)

    def stop(self):
        self.client.deactivate()
        self.client.close()
