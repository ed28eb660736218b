#!/usr/bin/env bash
# Runs the installer test in a Wine prefix of its own, made here and removed
# at the end, with its own wineserver (so global names never meet another
# test's). Wine's netsh is replaced by the recorder, loaded as a native
# program. Needs an X display (the tray icon, Corvello's window): run it
# under xvfb-run.
# Usage: run-in-fresh-prefix.sh <installer_tests.exe> <setup program> <netsh recorder>
set -euo pipefail
test_exe=$1 installer=$2 recorder=$3
for file in "$test_exe" "$installer" "$recorder"; do
  [ -f "$file" ] || { echo "missing $file: build the target installer_tests first"; exit 1; }
done

prefix=$(mktemp -d /tmp/wine-installer-test-XXXX)
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;netsh.exe=n"
cleanup() { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; rm -rf "$prefix"; }
trap cleanup EXIT

wineboot -i </dev/null >/dev/null 2>&1
cp "$recorder" "$prefix/drive_c/windows/system32/netsh.exe"
windows_path() { echo "Z:${1//\//\\}"; }
export CORVELLO_INSTALLER=$(windows_path "$(realpath "$installer")")
export CORVELLO_NETSH_LOG='C:\netsh-calls.txt'
wine "$test_exe" </dev/null
