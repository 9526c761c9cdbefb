#!/bin/bash
# Same 300 dpi page, same run: tav file to file against netpbm (a raw copy against cat), single
# thread.
#   bench_netpbm.sh <tav binary> [repeats]
# The two sides of a case run in turn, so both meet the same machine load; each reports its
# best wall time (start-up included, as a user sees it).
set -e
tav="$1"
reps="${2:-9}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$tav" -c "tavCopy g -random -w 2550 -h 3300 -d 24 page.ppm"
ppmtopgm < page.ppm > page.pgm
pgmtopbm -threshold < page.pgm > page.pbm 2>/dev/null
printf 'P5\n1 1\n255\n\0' > dot.pgm
"$tav" -c "tavCopy page.ppm page.raw"

# wall time in microseconds of one run of a command
once() {
  local s=$(date +%s%N)
  bash -c "$1" > /dev/null 2>&1
  local e=$(date +%s%N)
  echo $(( (e - s) / 1000 ))
}

printf '%-22s %10s %10s %8s\n' case "tav ms" "netpbm ms" ratio
run() {
  local name="$1" ours="$2" theirs="$3" a=999999999 b=999999999 t
  for _ in $(seq "$reps"); do
    t=$(once "$ours"); (( t < a )) && a=$t
    t=$(once "$theirs"); (( t < b )) && b=$t
  done
  printf '%-22s %10.1f %10.1f %8.2f\n' "$name" "$(echo "$a / 1000" | bc -l)" "$(echo "$b / 1000" | bc -l)" \
    "$(echo "$b / $a" | bc -l)"
}
run "start-up only" "$tav -c ''" "pamtopnm < dot.pgm > n0.pgm"
run "PPM->PPM raw copy" "$tav -c 'tavCopy page.ppm o1.ppm'" "pamtopnm < page.ppm > n1.ppm"
run "PPM->PGM" "$tav -c 'tavCopy page.ppm o2.pgm'" "ppmtopgm < page.ppm > n2.pgm"
run "PGM->PBM" "$tav -c 'tavCopy page.pgm o3.pbm'" "pgmtopbm -threshold < page.pgm > n3.pbm"
run "PBM->PGM" "$tav -c 'tavCopy page.pbm o4.pgm'" "pamdepth 255 < page.pbm | pamtopnm > n4.pgm"
run "PPM plain write" "$tav -c 'tavCopy page.ppm o5.ppm -normal'" "pamtopnm -plain < page.ppm > n5.ppm"
run "raw->raw copy" "$tav -c 'tavCopy page.raw -w 2550 -h 3300 -d 24 o6.raw'" "cat page.raw > n6.raw"
run "PGM quarter turn" "$tav -c 'tavRotate -90 page.pgm o7.pgm'" "pamflip -r90 < page.pgm > n7.pgm"
run "PPM quarter turn" "$tav -c 'tavRotate -90 page.ppm o8.ppm'" "pamflip -r90 < page.ppm > n8.ppm"
