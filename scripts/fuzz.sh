#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each one for a short time
# over its seed corpus. New inputs go to a scratch directory, never into the repository.
# Usage: scripts/fuzz.sh [seconds per target, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
seconds="${1:-20}"

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DNORV_FUZZ=ON -DNORV_SANITIZE=ON -DNORV_TESTS=OFF \
  -DNORV_BENCH=OFF >/dev/null
targets=$(sed -n 's/^norv_fuzz_target(\([a-z0-9_]*\).*/\1/p' fuzz/CMakeLists.txt)
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" --target $targets

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in $targets; do
  corpus="fuzz/corpus/${t#fuzz_}"
  mkdir -p "$scratch/$t"
  echo "== $t (${seconds}s over $corpus)"
  # The container targets read files of every size the reader bounds its work by (1 MB covers
  # the hostile layouts), with the TIFF and TIFF-FX tag numbers as a dictionary.
  extra=()
  case "$t" in
    fuzz_ovr_*) extra=(-max_len=1048576 -dict=fuzz/tiff.dict) ;;
  esac
  "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${extra[@]}" \
    -print_final_stats=1 "$scratch/$t" "$corpus" 2>&1 | tail -n 3
  status=${PIPESTATUS[0]}
  if [ "$status" -ne 0 ]; then
    echo "fuzz target $t failed (status $status)"
    exit 1
  fi
done
