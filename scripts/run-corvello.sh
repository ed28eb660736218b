#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root), builds Corvello and runs it in
# the foreground. It advertises itself by DNS-SD when avahi-daemon runs, and
# prints its TCP listening port on stderr either way. Ctrl-C exits.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target corvello corvmidi-jack corvello-remote
exec build/linux/app/corvello "$@"
