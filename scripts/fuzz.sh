#!/usr/bin/env bash
# Builds every libFuzzer target (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a bounded time; an input that takes over 10 s counts as a
# hang. A crash or hang stops the script with the
# reproducer in build/fuzz/artifacts/; replay it with
#   build/fuzz/tests/<area>/<target> build/fuzz/artifacts/<file>
# Usage: scripts/fuzz.sh [seconds per target, default 20] [target name...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift || true
build=build/fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCORVELLO_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzzers -j"$(nproc)"

# A crash's stack is only readable with a symbolizer.
symbolizer=$(command -v llvm-symbolizer || ls /usr/lib/llvm-*/bin/llvm-symbolizer 2>/dev/null | head -1 || true)
[ -n "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH="$symbolizer"

mkdir -p "$build/artifacts"
while read -r executable; do
  target=$(basename "$executable")
  if (($#)) && [[ " $* " != *" $target "* ]]; then continue; fi
  echo "=== $target for ${seconds}s"
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  "$executable" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -artifact_prefix="$build/artifacts/$target-" "$corpus"
done < "$build/fuzzers.txt"
