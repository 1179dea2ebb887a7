#!/usr/bin/env bash
# Makes the PNM fixtures of the image tests with netpbm and the wide-pixel "Q" fixtures with
# make_q_fixtures.py. Run from anywhere; writes beside this script. The binary files are what
# the tools wrote; the .plain files are the same images in plain (ASCII) form.
set -euo pipefail
cd "$(dirname "$0")"

pbmmake -gray 37 9 > gray37x9.pbm
pbmmake -black 64 2 > black64x2.pbm
pgmramp -lr 61 7 > ramp61x7.pgm
pgmramp -ellipse 33 20 > ellipse33x20.pgm
ppmpat -randomseed=7 -gingham2 29 11 > gingham29x11.ppm
ppmpat -randomseed=7 -madras 17 13 > madras17x13.ppm
pgmramp -maxval 15 -lr 16 2 > ramp16x2max15.pgm

for f in gray37x9.pbm ramp61x7.pgm gingham29x11.ppm; do
  pnmtoplainpnm "$f" > "$f.plain"
done

python3 make_q_fixtures.py
