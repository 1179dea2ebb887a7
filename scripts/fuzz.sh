#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each one for a short time
# over its seed corpus, one target per core at a time. The targets and their corpora come from
# CMake (<build>/fuzz_targets.txt). New inputs go to a scratch directory, never into the
# repository; a crash, leak or timeout file goes to <build>/artifacts/<target>/ and the
# script names the failing target and exits non-zero.
# Usage: scripts/fuzz.sh [seconds per target, default 20] [target...]
# NORV_FUZZ_BUILD names a build tree already configured with NORV_FUZZ=ON (the test command's);
# without it the script configures its own in build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
seconds="${1:-20}"
shift || true
only=("$@")

build=${NORV_FUZZ_BUILD:-build/fuzz}
if [ -z "${NORV_FUZZ_BUILD:-}" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DNORV_FUZZ=ON -DNORV_SANITIZE=ON -DNORV_TESTS=OFF \
    -DNORV_BENCH=OFF >/dev/null
fi
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
# Runs one target; its output stays in its log, which the caller shows on failure.
run_target() {
  local t=$1 corpus=${corpus_of[$1]} artifacts="$build/artifacts/$1"
  mkdir -p "$scratch/$t" "$artifacts"
  # The container targets read files of every size the reader bounds its work by (1 MB covers
  # the hostile layouts), with the TIFF and TIFF-FX tag numbers as a dictionary.
  local extra=()
  case "$t" in
    fuzz_ovr_*) extra=(-max_len=1048576 -dict=fuzz/tiff.dict) ;;
  esac
  "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${extra[@]}" \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$scratch/$t" "$corpus" \
    >"$scratch/$t.log" 2>&1
}

# One target per core at a time: each fuzzer is single-threaded.
jobs_max=$(nproc)
declare -A pid_of=()
failed=()
reap() {
  local t
  for t in "${!pid_of[@]}"; do
    if ! kill -0 "${pid_of[$t]}" 2>/dev/null; then
      if ! wait "${pid_of[$t]}"; then failed+=("$t"); fi
      unset "pid_of[$t]"
      echo "== $t (${seconds}s over ${corpus_of[$t]})"
      tail -n 3 "$scratch/$t.log"
    fi
  done
}
for t in "${targets[@]}"; do
  while [ ${#pid_of[@]} -ge "$jobs_max" ]; do
    sleep 1
    reap
  done
  run_target "$t" &
  pid_of[$t]=$!
done
while [ ${#pid_of[@]} -gt 0 ]; do
  sleep 1
  reap
done
if [ ${#failed[@]} -gt 0 ]; then
  for t in "${failed[@]}"; do
    tail -n 40 "$scratch/$t.log"
    echo "fuzz target $t failed; inputs in $build/artifacts/$t:"
    ls -1 "$build/artifacts/$t"
  done
  exit 1
fi
