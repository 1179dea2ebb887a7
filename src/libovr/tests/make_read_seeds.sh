#!/bin/sh
# Makes the seed corpus of the reading fuzz target (fuzz/corpus/ovr_read): the format target's
# seeds (small fixtures, a hand-laid TIFF-FX page with a global data table, broken files) and
# the fixtures that exercise the rest of the read sequence: several pages, JPEG strips with
# tables in either byte order, tiles spanning the width, a palette, FillOrder 2.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../../fuzz/corpus/ovr_read}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

sh "$here/make_fuzz_seeds.sh" "$out"
sh "$here/make_fixtures.sh" "$tmp" >/dev/null
for f in multipage.tif rgb_jpeg_be.tif grey_tiles_be.tif bilevel_g4_fill2.tif grey_lzw_r7.tif; do
  cp "$tmp/$f" "$out/$f"
done
