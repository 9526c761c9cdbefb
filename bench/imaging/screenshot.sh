#!/bin/sh
# Screenshot of a three-page document with annotations under Xvfb.
#   bench/imaging/screenshot.sh <build folder> [out.png]
set -e
build=${1:?build folder}
out=${2:-imaging_showcase.png}
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1000x800x24" "$build/bin/imaging_showcase" "$out"
echo "$out"
