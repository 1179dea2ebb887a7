#!/usr/bin/env bash
# Builds the release configuration and runs the benchmarks (ours beside the reference libraries).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  "$b" "$@"
done
