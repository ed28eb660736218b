"""Starts real peers (jackd, Ardour, Corvello's programs) for interop tests.

Every process is started by this package, remembered by PID and stopped by
that PID; nothing is ever looked up or killed by name.
"""
