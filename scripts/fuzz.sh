#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each one for a short time
# over its seed corpus. The targets and their corpora come from CMake (build/fuzz/
# fuzz_targets.txt). New inputs go to a scratch directory, never into the repository; a
# crash, leak or timeout file goes to build/fuzz/artifacts/<target>/ and the script names the
# failing target and exits non-zero.
# Usage: scripts/fuzz.sh [seconds per target, default 20] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
seconds="${1:-20}"
shift || true
only=("$@")

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DNORV_FUZZ=ON -DNORV_SANITIZE=ON -DNORV_TESTS=OFF \
  -DNORV_BENCH=OFF >/dev/null
declare -A corpus_of=()
while read -r target corpus; do
  [ -n "$target" ] && corpus_of[$target]=$corpus
done <"$build/fuzz_targets.txt"
if [ ${#only[@]} -gt 0 ]; then
  targets=("${only[@]}")
else
  mapfile -t targets < <(printf '%s\n' "${!corpus_of[@]}" | sort)
fi
for t in "${targets[@]}"; do
  if [ -z "${corpus_of[$t]:-}" ]; then
    echo "unknown fuzz target $t" >&2
    exit 2
  fi
done
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in "${targets[@]}"; do
  corpus=${corpus_of[$t]}
  artifacts="$build/artifacts/$t"
  mkdir -p "$scratch/$t" "$artifacts"
  echo "== $t (${seconds}s over $corpus)"
  # The container targets read files of every size the reader bounds its work by (1 MB covers
  # the hostile layouts), with the TIFF and TIFF-FX tag numbers as a dictionary.
  extra=()
  case "$t" in
    fuzz_ovr_*) extra=(-max_len=1048576 -dict=fuzz/tiff.dict) ;;
  esac
  log="$scratch/$t.log"
  status=0
  "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${extra[@]}" \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$scratch/$t" "$corpus" >"$log" 2>&1 ||
    status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log"
    echo "fuzz target $t failed (status $status); inputs in $artifacts:"
    ls -1 "$artifacts"
    exit 1
  fi
  tail -n 3 "$log"
done
