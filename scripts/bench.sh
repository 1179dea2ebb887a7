#!/usr/bin/env bash
# Builds the release configuration and runs the benchmarks (ours beside the reference libraries),
# each pinned to one core (NORV_BENCH_CPU, default 3); the paired programs run their sides
# interleaved and print the ratio of medians at the end (bench/bench_pairs.h). Then the document
# encoder's size and speed table over the 22 test pages beside the reference encoders' figures
# (bench/encode_table.cpp; NORV_ENCODE_RUNS rounds, default 5).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  taskset -c "${NORV_BENCH_CPU:-3}" "$b" "$@"
done
taskset -c "${NORV_BENCH_CPU:-3}" "$build/bench/encode_table" "${NORV_ENCODE_RUNS:-5}"
