#!/bin/sh
# Makes the seed corpus of the format fuzz target (fuzz/corpus/ovr_format): a few small files
# from make_fixtures.sh, a hand-laid TIFF-FX page (mask IFD with a referring strip, a colour
# SubIFD, global parameters IFD, global data table and block, page attribute record) and broken
# files (cut short, an IFD chain that loops, counts far beyond the file, bare strips), and two
# hostile layouts at seed size: pages sharing a chain of stripes over one large strip, and JBIG2
# stripes sharing a referring strip over a global data table chain that loops.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../../fuzz/corpus/ovr_format}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

sh "$here/make_fixtures.sh" "$tmp" >/dev/null
for f in bilevel_g4.tif grey_jpeg.tif tagged_be.tif palette_none.tif; do cp "$tmp/$f" "$out/$f"; done

# Little-endian bytes, 16- and 32-bit words, and 12-byte IFD entries.
b() { for v; do printf "\\$(printf %03o $((v & 255)))"; done; }
u16() { for v; do b "$v" $((v >> 8)); done; }
u32() { for v; do b "$v" $((v >> 8)) $((v >> 16)) $((v >> 24)); done; }
e_long() { u16 "$1" 4; u32 1 "$2"; }
e_short() { u16 "$1" 3; u32 1; u16 "$2" 0; }
e_ifd() { u16 "$1" 13; u32 1 "$2"; }
e_at() { u16 "$1" "$2"; u32 "$3" "$4"; }  # tag, type, count, value offset

{
  b 0x49 0x49; u16 42; u32 8
  # 8: primary IFD, the mask layer (2, 1), JBIG2-coded with a referring strip at 368.
  u16 12
  e_long 256 64; e_long 257 32; e_short 258 1; e_short 259 34715; e_long 273 368
  e_long 278 32; e_long 279 16; e_ifd 330 168; e_ifd 400 288; e_long 34690 64
  e_long 34730 384; e_at 34732 4 2 160
  u32 0; b 0 0
  u32 2 1
  # 168: the colour layer (3, 1), one uncompressed strip at 280.
  u16 8
  e_long 256 64; e_long 257 32; e_short 258 8; e_short 259 1; e_long 273 280
  e_short 277 1; e_long 279 8; e_at 34732 4 2 272
  u32 0; b 0 0
  u32 3 1
  b 1 2 3 4 5 6 7 8
  # 288: global parameters IFD with the global data table offset.
  u16 3
  e_long 34687 20; e_long 34688 1952; e_long 34689 332
  u32 0; b 0 0
  # 332: global data table, one entry: the block at 356 (5 + 6 bytes).
  u16 1; u32 11 356; u16 1 0; u32 0; u32 0; b 0 0
  # 356: global data block, L = 4 of 6 stored bytes.
  b 0; u32 4; b 10 11 12 13 14 15; b 0
  # 368: referring strip, form A: index 0, 3 bytes of coded data, 2 tail bytes.
  b 0; u16 1; u32 0; u32 3; b 20 21 22 30 31
  # 384: page attribute record with a fourth word.
  u16 1 20 32 5; u32 7
} > "$out/tiffx_mrc.tif"

head -c 100 "$out/tiffx_mrc.tif" > "$out/tiffx_mrc_cut.tif"
{ b 0x49 0x49; u16 42; u32 8; u16 1; e_long 256 1; u32 8; } > "$out/ifd_loop.tif"
{
  b 0x4d 0x4d 0 42 0 0 0 8
  b 0 3
  b 1 17 0 4 63 255 255 255 0 0 0 8      # StripOffsets LONG 0x3fffffff at 8
  b 1 64 0 3 127 255 255 255 0 0 0 8     # ColorMap SHORT 0x7fffffff at 8
  b 1 71 0 7 0 0 16 0 255 255 255 240    # JPEGTables 4096 bytes at 0xfffffff0
  b 0 0 0 0
} > "$out/huge_counts.tif"
{ b 0; u32 4; u16 1; u32 9; b 1 2 3 4; } > "$out/referring_form_b.bin"
printf 'P4\n8 2\n\377\000' > "$out/not_tiff.pbm"

# One-pixel bilevel stripe entries: Compression $1, one strip of $3 bytes at $2.
e_pixel() { e_long 256 1; e_long 257 1; e_short 259 "$1"; e_long 273 "$2"; e_long 278 1; e_long 279 "$3"; }

# 8 pages whose SubIFDs all lead to one chain of 64 stripes (IFDs of 78 bytes from 8), every strip
# of every IFD the same 2 KB at 5720 after the pages (IFDs of 90 bytes from 5000).
{
  b 0x49 0x49; u16 42; u32 5000
  i=0
  while [ $i -lt 64 ]; do
    u16 6; e_pixel 1 5720 2048; u32 $((i < 63 ? 8 + (i + 1) * 78 : 0)); i=$((i + 1))
  done
  p=0
  while [ $p -lt 8 ]; do
    u16 7; e_pixel 1 5720 2048; e_ifd 330 8; u32 $((p < 7 ? 5000 + (p + 1) * 90 : 0)); p=$((p + 1))
  done
  head -c 2048 /dev/zero
} > "$out/shared_stripes.tif"

# 64 JBIG2 stripes (a chain of 63 IFDs of 78 bytes from 3020, the primary at 7934) sharing the
# referring strip at 8 that names block 0, and a global data table chain of 500 empty tables
# from 20 whose last loops back.
{
  b 0x49 0x49; u16 42; u32 7934
  b 0; u16 1; u32 0; u32 0; b 0
  t=0
  while [ $t -lt 500 ]; do u16 0; u32 $((t < 499 ? 20 + (t + 1) * 6 : 20 + 6 * 250)); t=$((t + 1)); done
  i=0
  while [ $i -lt 63 ]; do
    u16 6; e_pixel 34715 8 11; u32 $((i < 62 ? 3020 + (i + 1) * 78 : 0)); i=$((i + 1))
  done
  u16 8; e_pixel 34715 8 11; e_ifd 330 3020; e_long 34689 20; u32 0
} > "$out/jbig2_table_loop.tif"
