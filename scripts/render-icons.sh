#!/usr/bin/env bash
# Renders the SVG pictures of src/ui/icons to the PNG files the Windows build embeds
# (src/ui/icons/png/NAME-SIZE.png), with the Linux build's own renderer. Run after changing an
# SVG; the test_app_icons test fails until the PNG files match again.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target velkaro-render-icon
mkdir -p src/ui/icons/png
for svg in src/ui/icons/*.svg; do
  name=$(basename "$svg" .svg)
  for size in 16 24 32 48 64; do
    build/packaging/velkaro-render-icon "$svg" "$size" "src/ui/icons/png/$name-$size.png"
  done
done
echo "Rendered $(ls src/ui/icons/png | wc -l) pictures into src/ui/icons/png"
