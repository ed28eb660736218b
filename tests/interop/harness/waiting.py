"""Polling for a condition that another process makes true."""
import time


def eventually(probe, timeout, interval=0.05):
    """Calls probe until it returns something truthy; returns that, or None on time-out."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result or time.monotonic() > deadline:
            return result or None
        time.sleep(interval)


def first_match(items, predicate):
    return next((item for item in items if predicate(item)), None)
