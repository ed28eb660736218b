#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root) and runs every test tier:
# native unit, end-to-end and interop tests; the Debian package in a fresh
# root; the unit and end-to-end tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer; a short run of
# each fuzz target; the MinGW build and the Windows tests under Wine (console
# tests first, then the desktop ones under Xvfb); the Windows setup program,
# installed and uninstalled in a fresh Wine prefix.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
failed=()
stage() { echo; echo "=== $*"; }
run_ctest() { # preset, extra args...
  local preset=$1; shift
  ctest --preset "$preset" -j"$jobs" "$@" || failed+=("$preset $*")
}

stage "native build"
cmake --preset linux -DCORVELLO_WERROR=ON >/dev/null
cmake --build --preset linux -j"$jobs"
stage "native tests"
run_ctest linux -LE interop
stage "interop tests (a real DAW)"
run_ctest linux -L interop -j1
stage "the Debian package, installed into a fresh Debian 12 root"
bash scripts/package-test.sh || failed+=("package")

stage "sanitizer build"
cmake --preset linux-asan -DCORVELLO_WERROR=ON >/dev/null
cmake --build --preset linux-asan -j"$jobs"
stage "sanitizer tests"
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 run_ctest linux-asan -L 'unit|e2e'

stage "fuzzing every parser fed from outside"
bash scripts/fuzz.sh 10 || failed+=("fuzz")

stage "Windows build"
cmake --preset windows -DCORVELLO_WERROR=ON >/dev/null
cmake --build --preset windows -j"$jobs"
stage "Windows tests under Wine"
export WINEPREFIX=/tmp/corvello-wineprefix-ci
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
wineserver -w
# One persistent wineserver per run spares every test process Wine's start-up.
# Its services are started first with no pipes attached: started by a test,
# they would hold that test's output open for as long as the server lives.
# The server is stopped between the two runs because the display is fixed
# when it starts.
start_wine='wineserver -p; wine cmd /c exit </dev/null >/dev/null 2>&1 || true'
bash -c "$start_wine"
run_ctest windows -LE 'desktop|installer' -j1
wineserver -k || true
wineserver -w
stage "Windows desktop tests under Wine and Xvfb"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
  "$start_wine; ctest --preset windows -L desktop -j1; status=\$?; wineserver -k; exit \$status" \
  || failed+=("windows desktop")
wineserver -w
stage "Windows setup program in a fresh Wine prefix"
cmake --build --preset windows -j"$jobs" --target installer_tests
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows -L installer || failed+=("installer")

echo
if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All test tiers passed."
