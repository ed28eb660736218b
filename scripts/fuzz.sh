#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a bounded time. A crash stops the script with the
# reproducer in build/fuzz/artifacts/; replay it with
#   build/fuzz/tests/fuzz/<target> build/fuzz/artifacts/<file>
# Usage: scripts/fuzz.sh [seconds per target, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
build=build/fuzz
targets=(FuzzMackieControl FuzzHui FuzzPanner)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCORVELLO_FUZZ=ON >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)"

mkdir -p "$build/artifacts"
for target in "${targets[@]}"; do
  echo "=== $target for ${seconds}s"
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  "$build/tests/fuzz/$target" -max_total_time="$seconds" -max_len=1024 \
    -artifact_prefix="$build/artifacts/$target-" "$corpus"
done
