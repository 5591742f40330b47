#!/usr/bin/env bash
# Takes docs/screenshot.png: the real main window under Xvfb, cropped to the window.
# Usage: scripts/screenshot.sh [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshot.png}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
HOME="$tmp" xvfb-run -a -s "-screen 0 1280x800x24" bash -c "
  ./build/pixova & pid=\$!
  sleep 3
  import -window root '$tmp/root.png'
  kill \$pid"
convert "$tmp/root.png" -trim +repage "$out"
echo "wrote $out"
