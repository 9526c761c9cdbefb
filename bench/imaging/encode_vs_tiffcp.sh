#!/bin/sh
# Whole-process encode against tiffcp with hyperfine, on the same uncompressed inputs: 50 bilevel
# 300 dpi pages to G4 and 10 colour 300 dpi pages to LZW with the horizontal predictor. The pixels
# of every output are compared with the input's through tifftopnm.
#   bench/imaging/encode_vs_tiffcp.sh <build folder> [work folder]
set -e
build=$(cd "${1:?build folder}" && pwd)
work=${2:-$(mktemp -d)}
mkdir -p "$work" && cd "$work"
"$build/bin/imaging_encode" --samples .
tiffcp -c none bilevel_50.tif bilevel_raw.tif
tiffcp -c none colour_10.tif colour_raw.tif

# tifftopnm writes every page of a file one after the other: the two streams must be equal.
same_pixels() { # input output
    a=$(tifftopnm "$1" 2>/dev/null | md5sum)
    b=$(tifftopnm "$2" 2>/dev/null | md5sum)
    pages=$(tiffinfo "$2" 2>/dev/null | grep -c "TIFF Directory")
    if [ "$a" = "$b" ]; then echo "pixels identical: $2 ($pages pages)"
    else echo "PIXELS DIFFER: $2"; exit 1
    fi
}

hyperfine -N -w 2 -r 10 \
    "$build/bin/imaging_encode bilevel_raw.tif ours_g4.tif" \
    "tiffcp -c g4 bilevel_raw.tif theirs_g4.tif"
hyperfine -N -w 2 -r 10 \
    "$build/bin/imaging_encode colour_raw.tif ours_lzw.tif" \
    "tiffcp -c lzw:2 colour_raw.tif theirs_lzw.tif"
same_pixels bilevel_raw.tif ours_g4.tif
same_pixels colour_raw.tif ours_lzw.tif
