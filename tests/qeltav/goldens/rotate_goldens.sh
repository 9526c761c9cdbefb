#!/bin/sh
# Writes rotate_goldens.txt: the checksums an earlier build of the library gives for the numbered
# rotation cases. Run it by hand against that build, never in the run that checks them:
#   rotate_goldens.sh <commit> <folder with the commit's qeltav/ built into build/qeltav> [cases]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
commit="$1"
base=$(cd "$2" && pwd)
cases="${3:-4000}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
c++ -std=c++20 -O2 -I"$base/qeltav/include" "$here/rotate_goldens.cpp" -o "$work/goldens" \
  -L"$base/build/qeltav" -lqeltav -Wl,-rpath,"$base/build/qeltav"
mkdir "$work/scratch"
{
  echo "# rotation cases 0-$((cases - 1)) through the library at $commit (FNV-1a of the file made, or fail)"
  "$work/goldens" "$cases" "$work/scratch"
} > "$here/../rotate_goldens.txt.new"
mv "$here/../rotate_goldens.txt.new" "$here/../rotate_goldens.txt"
