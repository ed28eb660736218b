"""One started program: its PID, its log file, and a clean stop."""
import os
import re
import signal
import subprocess
import time
from pathlib import Path


class StartupError(RuntimeError):
    """A peer did not come up; the message says which and quotes its log."""


class StartedProcess:
    """A child whose stdout and stderr go to one log file.

    Reading the log file (not a pipe) keeps a chatty child from ever blocking
    on a full pipe while the test looks elsewhere.
    """

    def __init__(self, name, argv, env, log_dir, stdin=None):
        self.name = name
        self.log_path = Path(log_dir) / f"{name}.log"
        self._log = open(self.log_path, "wb")
        self.popen = subprocess.Popen(
            argv, env=env, stdin=stdin, stdout=self._log,
            stderr=subprocess.STDOUT, start_new_session=True)

    @property
    def pid(self):
        return self.popen.pid

    def log_text(self):
        return self.log_path.read_text(errors="replace")

    def log_tail(self, lines=25):
        return "\n".join(self.log_text().splitlines()[-lines:])

    def wait_for_log(self, pattern, timeout, fail_pattern=None):
        """Waits until the log matches pattern; returns the match.

        Raises StartupError when the process exits, when fail_pattern shows
        up first, or on time-out.
        """
        wanted = re.compile(pattern)
        failed = re.compile(fail_pattern) if fail_pattern else None
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            text = self.log_text()
            if failed and failed.search(text):
                raise StartupError(f"{self.name} logged {fail_pattern!r}:\n{self.log_tail()}")
            found = wanted.search(text)
            if found:
                return found
            if self.popen.poll() is not None:
                raise StartupError(
                    f"{self.name} exited with {self.popen.returncode} before logging "
                    f"{pattern!r}:\n{self.log_tail()}")
            time.sleep(0.05)
        raise StartupError(f"{self.name} did not log {pattern!r} within {timeout} s:\n{self.log_tail()}")

    def stop(self, timeout=5):
        """SIGTERM by PID, then SIGKILL if it does not end in time."""
        if self.popen.poll() is None:
            os.kill(self.pid, signal.SIGTERM)
            try:
                self.popen.wait(timeout)
            except subprocess.TimeoutExpired:
                os.kill(self.pid, signal.SIGKILL)
                self.popen.wait()
        self._log.close()
        return self.popen.returncode
