#!/usr/bin/env bash
# Builds the release configuration and runs the example programs on the bundled sample data,
# then opens a document in the viewer under Xvfb and saves a screenshot (scripts/demo_viewer.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh

build=build/demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORV_TESTS=OFF -DNORV_BENCH=OFF \
  >/dev/null
cmake --build "$build" -j "$(nproc)" --target NorvviewCtl examples_all

out=build/demo-output
mkdir -p "$out"
for example in "$build"/examples/example_*; do
  [ -x "$example" ] || continue
  echo "== $(basename "$example")"
  "$example" data "$out"
done

# The viewer: a converted document (or a sample TIFF) opened under Xvfb, with a screenshot.
bash scripts/demo_viewer.sh "$build" "$out"
