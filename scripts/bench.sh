#!/usr/bin/env bash
# Builds the release configuration and runs the benchmarks (ours beside the reference libraries),
# each pinned to one core (NORV_BENCH_CPU, default 3); the paired programs run their sides
# interleaved and print the ratio of medians at the end (bench/bench_pairs.h). Then the document
# encoder's size and speed table over the 22 test pages beside the reference encoders' figures,
# in the arithmetic and the default output mode (bench/encode_table.cpp; NORV_ENCODE_RUNS rounds,
# default 5).
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
keep=$build/encode_table_pages
mkdir -p "$keep"
# Output mode 3 (arithmetic coding throughout), then the default mode 2 (MMR and Huffman coding).
for mode in 3 2; do
  taskset -c "${NORV_BENCH_CPU:-3}" "$build/bench/encode_table" "${NORV_ENCODE_RUNS:-5}" "$keep" "$mode"
done
# Peak memory of one conversion: 60 and 300 pages (the test pages in turn).
for pages in 60 300; do "$build/bench/encode_table" --memory "$pages"; done
# OCR as a second check of the digit pages (optional): characters that differ between the text
# read from the input page and from its lossy decoding.
if command -v tesseract >/dev/null; then
  for input in "$keep"/*.in.pbm; do
    page=${input%.in.pbm}
    tesseract "$input" - --dpi 200 --psm 6 2>/dev/null | fold -w1 >"$page.in.txt"
    tesseract "$page.lossy.pbm" - --dpi 200 --psm 6 2>/dev/null | fold -w1 >"$page.lossy.txt"
    echo "OCR $(basename "$page"): $(diff "$page.in.txt" "$page.lossy.txt" | grep -c '^[<>]') characters differ" \
      "between input and lossy decoding ($(wc -l <"$page.in.txt") read)"
  done
fi
# The lossy classifier on every bundled page and on the bilevel TIFF pages of the directories
# listed in NORV_LOSSY_PAGES (real scans, for instance): bytes in output modes 3 and 2, lossless
# and lossy, substituted glyphs and CPU times, beside an installed jbig2's "-s" run when there is
# one (bench/lossy_check); then OCR of each page's lossy decoding
# against its lossless one, with every word that reads differently cut out for a look
# (scripts/ocr_compare.sh, pictures in $build/lossy_check_pages/words).
lossy=$build/lossy_check_pages
mkdir -p "$lossy"
pages=(tests/e2e/data/*.tif)
for d in ${NORV_LOSSY_PAGES:-}; do pages+=("$d"/*.tif); done
peer=()
if command -v jbig2 >/dev/null; then peer=(--peer "$(command -v jbig2)"); fi
taskset -c "${NORV_BENCH_CPU:-3}" "$build/bench/lossy_check" "${peer[@]}" "$lossy" "${pages[@]}" ||
  echo "lossy_check: a lossless output is not exact"
bash scripts/ocr_compare.sh "$lossy" "${pages[@]}"
