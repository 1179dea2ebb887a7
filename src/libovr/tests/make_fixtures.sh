#!/bin/sh
# Makes the TIFF fixtures of the container library's tests in the directory given as $1, with
# netpbm (start images) and libtiff's tools (codings, byte orders, strips, tiles, pages, tags).
# Exits with 77 when a tool is missing, so that the tests can skip.
set -eu
out=${1:?usage: make_fixtures.sh DIR}
for tool in pbmtext pgmramp ppmpat pnmtotiff tiffcp tiffset tiffdump; do
  command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool" >&2; exit 77; }
done
mkdir -p "$out"
cd "$out"

# Start images: a bilevel text line, a grey ramp, a colour pattern, a three-colour palette image.
pbmtext "Mixed raster page" > text.pbm
pnmtotiff -xresolution 200 -yresolution 200 text.pbm > text.tif 2>/dev/null
pgmramp -diag 61 45 > ramp.pgm
pnmtotiff -xresolution 300 -yresolution 300 ramp.pgm > ramp.tif 2>/dev/null
ppmpat -g2 -color=rgb:c0/20/10,rgb:10/40/e0 97 61 > pattern.ppm
pnmtotiff -truecolor -xresolution 150 -yresolution 75 pattern.ppm > pattern.tif 2>/dev/null
ppmpat -g2 -color=rgb:ff/ff/00,rgb:00/80/00 24 16 > few.ppm
pnmtotiff few.ppm > palette.tif 2>/dev/null

# Codings, byte orders, strip heights and tiles.
tiffcp -c none text.tif bilevel_none.tif
tiffcp -c g4 text.tif bilevel_g4.tif
tiffcp -c g4 -B -r 8 text.tif bilevel_g4_be_r8.tif
tiffcp -c g3:2d -B text.tif bilevel_g3_be.tif
tiffcp -c g4 -f lsb2msb text.tif bilevel_g4_fill2.tif
tiffcp -c lzw -r 7 ramp.tif grey_lzw_r7.tif
tiffcp -c jpeg -r 16 ramp.tif grey_jpeg.tif
tiffcp -c none -B -t -w 64 -l 16 ramp.tif grey_tiles_be.tif
tiffcp -c none -t -w 32 -l 16 pattern.tif rgb_narrow_tiles.tif
tiffcp -c jpeg -r 16 pattern.tif rgb_jpeg.tif
tiffcp -c jpeg -B -r 32 pattern.tif rgb_jpeg_be.tif
tiffcp -c lzw -B pattern.tif rgb_lzw_be.tif
tiffcp -c none palette.tif palette_none.tif

# Several pages, and TIFF-FX tags in a big-endian file: PageNumber, ImageLayer, ProfileType,
# FaxProfile, CodingMethods, VersionYear, Decode.
tiffcp bilevel_g4.tif rgb_jpeg.tif grey_lzw_r7.tif multipage.tif
cp bilevel_g4_be_r8.tif tagged_be.tif
tiffset -s 297 3 7 tagged_be.tif
tiffset -s 34732 2 1 tagged_be.tif
tiffset -s 401 1 tagged_be.tif
tiffset -s 402 2 tagged_be.tif
tiffset -s 403 40 tagged_be.tif
tiffset -s 404 1 9 9 7 tagged_be.tif
tiffset -s 433 2 -1 1 tagged_be.tif

rm -f text.pbm ramp.pgm pattern.ppm few.ppm text.tif ramp.tif pattern.tif palette.tif
