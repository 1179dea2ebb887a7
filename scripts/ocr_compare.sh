#!/usr/bin/env bash
# OCR of the lossy decoding of pages against their lossless decoding, to find characters that
# the lossy classifier changed. Usage: scripts/ocr_compare.sh DIR PAGE.tif ...
#
# DIR holds <page>.lossless.pbm and <page>.lossy.pbm for each page (bench/lossy_check leaves
# them). Both are read by tesseract (--psm 6, at the page's resolution from its TIFF); the two
# word sequences are compared with diff, and every word that reads differently is listed with
# its box. For each, DIR/words/<page>-<n>.png shows the lossless image (left) beside the lossy
# one (right) after a black bar, enlarged four times, so that each difference can be looked at: OCR also reads
# differently where only edge noise changed. Prints per page the number of words read on the
# lossless side and the number that differ on either side.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 DIR PAGE.tif ..." >&2
  exit 2
fi
command -v tesseract >/dev/null || {
  echo "$0: tesseract not installed, nothing compared" >&2
  exit 0
}
dir=$1
shift
mkdir -p "$dir/words"

# Words of a tesseract TSV, one a line: "text left top width height".
words() {
  awk -F'\t' 'NR > 1 && $1 == 5 && $12 != "" { print $12 "\t" $7 "\t" $8 "\t" $9 "\t" $10 }' "$1"
}

for page in "$@"; do
  name=$(basename "${page%.*}")
  dpi=$(identify -units PixelsPerInch -format '%x\n' "$page" | head -1 | cut -d. -f1)
  for side in lossless lossy; do
    OMP_THREAD_LIMIT=1 tesseract "$dir/$name.$side.pbm" "$dir/$name.$side" --dpi "$dpi" --psm 6 tsv 2>/dev/null
    words "$dir/$name.$side.tsv" >"$dir/$name.$side.words"
    cut -f1 "$dir/$name.$side.words" >"$dir/$name.$side.text"
  done
  # Line numbers of the words that differ: "<n" on the lossless side, ">n" on the lossy side.
  diff --unchanged-line-format= --old-line-format='<%dn
' --new-line-format='>%dn
' "$dir/$name.lossless.text" "$dir/$name.lossy.text" >"$dir/$name.diff" || true
  old=$(grep -c '^<' "$dir/$name.diff" || true)
  new=$(grep -c '^>' "$dir/$name.diff" || true)
  echo "OCR $name: $(wc -l <"$dir/$name.lossless.text") words read; $old differ on the lossless" \
    "side, $new on the lossy side"
  n=0
  while read -r mark line; do
    side=lossless
    [ "$mark" = ">" ] && side=lossy
    IFS=$'\t' read -r text left top width height < <(sed -n "${line}p" "$dir/$name.$side.words")
    n=$((n + 1))
    echo "  $side: '$text' at ${width}x${height}+${left}+${top} -> words/$name-$n.png"
    cut=(-left "$((left > 8 ? left - 8 : 0))" -top "$((top > 8 ? top - 8 : 0))" -width
      "$((width + 16))" -height "$((height + 16))" -pad)
    pnmcat -lr <(pamcut "${cut[@]}" "$dir/$name.lossless.pbm" | pnmpad -black -right=2) \
      <(pamcut "${cut[@]}" "$dir/$name.lossy.pbm") | pnmenlarge 4 | pnmtopng >"$dir/words/$name-$n.png"
  done < <(sed -e 's/^\([<>]\)/\1 /' "$dir/$name.diff")
done
