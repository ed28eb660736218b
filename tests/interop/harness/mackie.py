"""The few Mackie Control messages the interop tests send or look for."""

HEADER = bytes.fromhex("F0 00 00 66 14")
# What Ardour sends once per connection of its two surface ports.
DEVICE_QUERIES = [bytes.fromhex(h) for h in
                  ("F0 00 00 66 14 00 F7", "F0 00 00 66 15 00 F7",
                   "F0 00 00 66 10 00 F7", "F0 00 00 66 11 00 F7")]
# A surface's unsolicited host connection query: serial 01-07, challenge "ABCD".
HOST_CONNECTION_QUERY = bytes.fromhex("F0 00 00 66 14 01 01 02 03 04 05 06 07 41 42 43 44 F7")
UNITY_FADER_1 = bytes.fromhex("E0 08 64")
PLAY_NOTE = 0x5E


def note_on(note, velocity):
    return bytes([0x90, note, velocity])


def pitch_bend(channel, position):
    return bytes([0xE0 | channel, position & 0x7F, position >> 7])


def fader_value(message):
    """A fader's pitch bend as the remote's 0 to 1 value."""
    return (message[2] * 128 + message[1]) / 16383


def lcd_text(message):
    """(position, text) of an LCD update, or None for any other message."""
    if message[:6] != HEADER + b"\x12" or len(message) < 8:
        return None
    return message[6], message[7:-1].decode("latin-1")
