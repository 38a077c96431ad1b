#!/bin/sh
# Renders the application icon, orvalia.svg, to the PNG sizes of the hicolor theme (orvalia-N.png
# for N = 16 ... 256); the program's windows show the same files (icons.qrc). Needs rsvg-convert
# (librsvg2-bin). Run it from anywhere after changing the SVG; it writes beside itself.
set -eu
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --format png orvalia.svg --output "orvalia-$size.png"
done
