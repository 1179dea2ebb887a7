#!/usr/bin/env bash
# Renders sample_text.ps into sample_text.pbm (raw 1-bit PBM, 320 x 160 pixels at 150 dpi)
# with Ghostscript. Run from anywhere; writes beside this script.
set -euo pipefail
cd "$(dirname "$0")"
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pbmraw -r150 -g320x160 \
   -sOutputFile=sample_text.pbm sample_text.ps
