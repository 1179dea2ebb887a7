#!/usr/bin/env bash
# Makes the sample scans that the README run converts, from the project's own text, with
# Ghostscript and the libtiff tools only (writes beside this script):
# - sample_scan.tif: the first 162 lines of CONTRIBUTING.md (markup dropped, refilled to 92
#   columns) set in Times-Roman 10 pt on three US-letter pages, rendered at 200 dpi into one
#   multi-page CCITT Group 4 TIFF, as a document scanner delivers bilevel pages;
# - sample_colour.tif: one half-letter page at 150 dpi in 24-bit RGB (LZW): a coloured heading,
#   black body text, a red stamp and a shaded picture.
# The DateTime tags are removed, so the files carry no time stamp.
set -euo pipefail
cd "$(dirname "$0")"
export LC_ALL=C TZ=UTC SOURCE_DATE_EPOCH=0
unset GS_OPTIONS GS_LIB GS_FONTPATH
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Text lines as PostScript strings, 54 lines to a page.
sed -e 's/[`*|#]//g' -e 's/^ *- //' ../CONTRIBUTING.md | fmt -w 92 | head -n 162 |
  awk 'BEGIN {
         print "%!PS"
         print "/Times-Roman findfont 10 scalefont setfont"
         print "/line { 72 exch moveto show } bind def"
       }
       {
         n = NR - 1
         if (n % 54 == 0) { if (n > 0) print "showpage"; y = 720 }
         gsub(/\\/, "\\\\"); gsub(/\(/, "\\("); gsub(/\)/, "\\)")
         printf "(%s) %d line\n", $0, y
         y -= 12
       }
       END { print "showpage" }' >"$tmp/scan.ps"
gs -q -dSAFER -dBATCH -dNOPAUSE -dNOPLATFONTS -sPAPERSIZE=letter -dFIXEDMEDIA -r200 \
  -sDEVICE=tiffg4 -dAdjustWidth=0 -sOutputFile="$tmp/scan.tif" "$tmp/scan.ps"
tiffcp "$tmp/scan.tif" sample_scan.tif

cat >"$tmp/colour.ps" <<'PS'
%!PS
<< /PageSize [396 306] >> setpagedevice
1 1 0.96 setrgbcolor 0 0 396 306 rectfill
/Helvetica-Bold findfont 18 scalefont setfont
0.1 0.2 0.6 setrgbcolor 24 270 moveto (Quarterly report, page 1) show
/Times-Roman findfont 10 scalefont setfont
0 setgray
/y 248 def
[ (Colour pages are split into a background and the text on it.)
  (The background is reduced and coded as JPEG; the text becomes)
  (coloured symbols that share one dictionary with the bilevel)
  (pages of the same document.) ]
{ 24 y moveto show /y y 12 sub def } forall
gsave
  % The picture: a sky-to-field gradient of 4-point cells and a sun.
  200 40 translate
  0 4 126 { /yy exch def
    0 4 166 { /xx exch def
      yy 130 div dup 0.3 mul 0.2 add exch 0.5 mul 0.4 add xx 170 div 0.3 mul 0.5 add
      yy 60 lt { pop pop pop 0.2 0.5 yy 60 div 0.3 mul add 0.1 } if
      setrgbcolor xx yy 4 4 rectfill } for } for
  1 0.8 0.2 setrgbcolor newpath 120 95 18 0 360 arc fill
grestore
0.8 0 0 setrgbcolor
/Helvetica-Bold findfont 22 scalefont setfont
30 60 moveto 12 rotate (APPROVED) show
showpage
PS
gs -q -dSAFER -dBATCH -dNOPAUSE -dNOPLATFONTS -r150 -sDEVICE=tiff24nc -sCompression=lzw \
  -sOutputFile="$tmp/colour.tif" "$tmp/colour.ps"
tiffcp -c lzw "$tmp/colour.tif" sample_colour.tif
for f in sample_scan.tif sample_colour.tif; do
  n=$(tiffinfo "$f" 2>/dev/null | grep -c "TIFF Directory")
  for ((d = 0; d < n; d++)); do tiffset -d "$d" -u DateTime "$f" 2>/dev/null || true; done
done
