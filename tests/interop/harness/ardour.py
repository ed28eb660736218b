"""Ardour 7 without a GUI (ardour7-lua), its Mackie Control surface enabled."""
import itertools
import subprocess
from pathlib import Path

from .processes import StartedProcess, StartupError

HERE = Path(__file__).resolve().parent.parent / "ardour"
MACKIE_IN = "ardour:mackie control in"
MACKIE_OUT = "ardour:mackie control out"
# jackd2 now and then drops a client while a session is being created; the
# engine then reports this and nothing else is wrong with the set-up.
ENGINE_HALTED = "JACK HALTED"


class Ardour:
    """A running ardour7-lua with a fresh two-track session.

    The surface can only be enabled through the user configuration, so each
    instance gets its own XDG_CONFIG_HOME holding just that setting. Ardour is
    pinned to one CPU: unpinned, jackd2 drops it during session creation in
    about one start of five.
    """

    def __init__(self, jack_env, work_dir, cpu=0, attempts=3, start_timeout=20):
        self.work_dir = Path(work_dir)
        self._tags = itertools.count(1)
        for attempt in range(1, attempts + 1):
            try:
                self._start(jack_env, cpu, attempt, start_timeout)
                return
            except StartupError as error:
                self.process.stop()
                if ENGINE_HALTED not in str(error) or attempt == attempts:
                    raise

    def _start(self, jack_env, cpu, attempt, start_timeout):
        config_home = self.work_dir / f"ardour-config-{attempt}"
        (config_home / "ardour7").mkdir(parents=True)
        (config_home / "ardour7" / "config").write_text((HERE / "config.xml").read_text())
        env = dict(jack_env, XDG_CONFIG_HOME=str(config_home))
        self.process = StartedProcess(
            f"ardour-{attempt}",
            ["taskset", "-c", str(cpu), "ardour7-lua", "--exit-when-halted", "--interactive",
             str(HERE / "interop_session.lua")],
            env, self.work_dir, stdin=subprocess.PIPE)
        self._lua(f'interop_open_session("{self.work_dir / f"session-{attempt}"}", "interop")')
        self.process.wait_for_log(r"(?m)^@@ready ", start_timeout, fail_pattern=ENGINE_HALTED)

    def _lua(self, line):
        self.process.popen.stdin.write(line.encode() + b"\n")
        self.process.popen.stdin.flush()

    def _ask(self, function, *args, timeout=5):
        tag = f"q{next(self._tags)}"
        quoted = ", ".join([f'"{tag}"', *map(str, args)])
        self._lua(f"{function}({quoted})")
        found = self.process.wait_for_log(rf"(?m)^@@{tag} (.*)$", timeout)
        return found.group(1)

    def track_gain(self, n):
        """Gain factor of the n-th strip's track (1 is unity)."""
        return float(self._ask("interop_track_gain", n))

    def track_name(self, n):
        return self._ask("interop_track_name", n)

    def transport_rolling(self):
        return self._ask("interop_transport_rolling") == "true"

    def stop(self):
        if self.process.popen.poll() is None:
            self._lua("close_session()")
            self._lua("AudioEngine:stop()")
            self._lua("quit()")
            self.process.popen.stdin.close()
            try:
                self.process.popen.wait(3)
            except subprocess.TimeoutExpired:
                pass
        return self.process.stop()
