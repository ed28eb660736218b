"""Corvello's own programs: the daemon, the JACK host of the driver, and the
reference remote."""
import os
import re
import subprocess

from .processes import StartedProcess, StartupError
from .waiting import eventually, first_match


def program(variable):
    """Path of one of our programs, handed in by CTest."""
    path = os.environ.get(variable)
    if not path or not os.access(path, os.X_OK):
        raise StartupError(f"{variable} does not name an executable program: {path!r}")
    return path


class CorvelloDaemon:
    """`corvello` in the foreground; it names its TCP port on stderr."""

    def __init__(self, env, log_dir):
        self.process = StartedProcess("corvello", [program("CORVELLO_BIN")], env, log_dir)
        found = self.process.wait_for_log(r"TCP port (\d+)", timeout=5)
        self.port = int(found.group(1))

    def stop(self):
        return self.process.stop()


class CorvmidiJack:
    """`corvmidi-jack`: the driver's devices as JACK MIDI ports."""

    def __init__(self, env, log_dir, jack, port_name="Tamberlin"):
        self.process = StartedProcess("corvmidi-jack", [program("CORVMIDI_JACK_BIN")], env, log_dir)
        # The DAW's output feeds our JACK input port and the other way round.
        self.from_daw = jack.wait_for_midi_port(port_name, timeout=5, is_input=True)
        self.to_daw = jack.wait_for_midi_port(port_name, timeout=5, is_output=True)

    def stop(self):
        return self.process.stop()


class RemoteRecord:
    """One record as corvello-remote prints it:
    `main|metering KIND INDEX VALUE`, `... "TEXT"` or `... hex:BYTES`."""

    LINE = re.compile(r'^(?P<channel>main|metering) (?P<kind>\d+) (?P<index>-?\d+) (?P<rest>.*)$')

    def __init__(self, channel, kind, index, value=None, text=None):
        self.channel, self.kind, self.index, self.value, self.text = channel, kind, index, value, text

    @classmethod
    def parse(cls, line):
        found = cls.LINE.match(line)
        if not found:
            return None
        rest = found["rest"]
        record = cls(found["channel"], int(found["kind"]), int(found["index"]))
        if rest.startswith('"'):
            record.text = rest[1:-1]
        elif rest.startswith("hex:"):
            record.text = bytes.fromhex(rest[4:]).decode("latin-1")
        else:
            record.value = float(rest)
        return record

    def __repr__(self):
        shown = repr(self.text) if self.text is not None else self.value
        return f"<{self.channel} {self.kind} {self.index} {shown}>"


class Remote:
    """`corvello-remote host:port`: records in on stdin, out on stdout."""

    METERING_CHANNEL = "metering"

    def __init__(self, env, log_dir, port):
        self.process = StartedProcess(
            "corvello-remote", [program("CORVELLO_REMOTE_BIN"), f"127.0.0.1:{port}"],
            env, log_dir, stdin=subprocess.PIPE)
        self._records = []
        self._read_up_to = 0

    def send(self, kind, index, value):
        self.process.popen.stdin.write(f"{kind} {index} {value}\n".encode())
        self.process.popen.stdin.flush()

    def records(self):
        """Every record printed so far (meters make the log long: read only what is new)."""
        with open(self.process.log_path, "rb") as log:
            log.seek(self._read_up_to)
            complete, newline, _ = log.read().rpartition(b"\n")
        if newline:
            self._read_up_to += len(complete) + 1
            parsed = (RemoteRecord.parse(line) for line in complete.decode(errors="replace").splitlines())
            self._records.extend(record for record in parsed if record)
        return list(self._records)

    def wait_for(self, predicate, timeout):
        """The first received record for which predicate holds, or None."""
        return eventually(lambda: first_match(self.records(), predicate), timeout)

    def stop(self):
        self.process.popen.stdin.close()
        return self.process.stop()
