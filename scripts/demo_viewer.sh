#!/usr/bin/env bash
# Opens a document in the viewer under Xvfb and saves a screenshot of the screen. The document is
# the first converted one (*.tfx) in the demo's output, else a sample TIFF made from
# data/sample_text.pbm. The viewer runs from an installation staged with `cmake --install` and a
# registry file of its own, so its first start registers the installed control module, as on a
# fresh machine.
# Usage: scripts/demo_viewer.sh [BUILD_DIR [OUTPUT_DIR]]   (default: build/demo build/demo-output)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/demo}
out=${2:-build/demo-output}
mkdir -p "$out"

cmake --build "$build" -j "$(nproc)" --target NorvviewCtl norvview
stage=$(realpath "$build")/viewer-stage
rm -rf "$stage"
cmake --install "$build" --prefix "$stage" >/dev/null

export NORVVIEW_REGISTRY
NORVVIEW_REGISTRY=$(realpath "$out")/viewer-registry.ini
rm -f "$NORVVIEW_REGISTRY"

doc=$(find "$out" -maxdepth 1 -name '*.tfx' | sort | head -n 1)
if [ -z "$doc" ]; then
  doc=$out/sample_text.tif
  ppm2tiff -c g4 -R 200 data/sample_text.pbm "$doc"
fi
doc=$(realpath "$doc")
shot=$(realpath "$out")/viewer.png

# The viewer shows its main window with the document's window inside; the screen is taken once
# the window has had time to appear, then the viewer is stopped.
xvfb-run -a -s "-screen 0 1024x1280x24" bash -c '
  "$1" "$2" &
  viewer=$!
  sleep "${NORVVIEW_DEMO_WAIT:-4}"
  import -window root "$3"
  kill "$viewer"
  wait "$viewer" 2>/dev/null || true
' viewer "$stage/bin/norvview" "$doc" "$shot"

grep -q '^ProgID=NORVVIEW.NorvviewCtrl.1$' "$NORVVIEW_REGISTRY" ||
  { echo "demo_viewer: the viewer registered no control" >&2; exit 1; }
echo "== viewer: $doc shown in $shot"
