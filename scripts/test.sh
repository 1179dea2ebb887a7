#!/usr/bin/env bash
# Checks the formatting of every C/C++ source against .clang-format and that the code map
# (src/README.md) is current, builds the whole project
# with AddressSanitizer and UndefinedBehaviorSanitizer (warnings are errors) and runs every
# test under them, including the installed-API test; runs each libFuzzer target briefly over
# its seed corpus. Tests labelled slow (the encoder's end-to-end runs over full documents) run
# in a release build instead; the multi-threaded test also runs under ThreadSanitizer. Any
# format difference, warning, failing test, sanitizer report, leak or fuzzer finding fails the
# run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh

echo "== clang-format"
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

echo "== code map"
python3 scripts/codemap.py --check

# One clang build carries the tests and the fuzz targets: the libraries are compiled once,
# instrumented for the sanitizers and for the fuzzers' coverage (at -O1); the test programs'
# own code is compiled at -O0 with one precompiled header, still under the sanitizers: about
# 40% of the compile time of -O1 (programs whose tests run large models of their own keep -O1;
# cmake/NorvHelpers.cmake, norv_test_code).
build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DNORV_SANITIZE=ON -DNORV_FUZZ=ON >/dev/null
cmake --build "$build" -j "$(nproc)"

NORV_FUZZ_BUILD="$build" bash scripts/fuzz.sh "${NORV_FUZZ_SECONDS:-10}"

# A ThreadSanitizer tree for the one program that runs independent instances on separate
# threads (conversions and view controls at once): only that program and the libraries it
# links are built there.
tsan=build/tsan
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DNORV_TSAN=ON -DNORV_BENCH=OFF >/dev/null
cmake --build "$tsan" -j "$(nproc)" --target test_threads

# A release tree for the tests labelled slow (whole documents of full pages) and, configured for
# /usr, the plain install the installed-API test checks beside the sanitized one.
release=build/release
cmake -S . -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORV_TESTS=ON -DNORV_SANITIZE=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$release" -j "$(nproc)" --target test_e2e_encode NorvviewCtl norvview

# A 64 MB quarantine of freed blocks (256 MB by default) still catches late uses of freed
# memory in these tests, and saves the page faults of recycling large images.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:quarantine_size_mb=64
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
NORV_USR_BUILD="$PWD/$release" ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -LE slow
ctest --test-dir "$release" --output-on-failure -L slow -j "$(nproc)"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$tsan" --output-on-failure -R '^test_threads$'
