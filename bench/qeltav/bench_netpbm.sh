#!/bin/bash
# Same 300 dpi page, same run: tav file to file against netpbm, single thread.
#   bench_netpbm.sh <tav binary> [repeats]
set -e
tav="$1"
reps="${2:-5}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$tav" -c "tavCopy g -random -w 2550 -h 3300 -d 24 page.ppm"
ppmtopgm < page.ppm > page.pgm
pgmtopbm -threshold < page.pgm > page.pbm 2>/dev/null

# best wall time in ms of a command over the repeats
best() {
  local b=999999
  for _ in $(seq "$reps"); do
    local s=$(date +%s%N)
    bash -c "$1" > /dev/null 2>&1
    local e=$(date +%s%N)
    local ms=$(( (e - s) / 1000000 ))
    (( ms < b )) && b=$ms
  done
  echo $b
}

printf '%-22s %10s %10s %8s\n' case "tav ms" "netpbm ms" ratio
run() {
  local name="$1" ours="$2" theirs="$3"
  local a=$(best "$ours") b=$(best "$theirs")
  printf '%-22s %10d %10d %8.2f\n' "$name" "$a" "$b" "$(echo "$b / ($a + 0.0001)" | bc -l)"
}
run "PPM->PPM raw copy" "$tav -c 'tavCopy page.ppm o1.ppm'" "pamtopnm < page.ppm > n1.ppm"
run "PPM->PGM" "$tav -c 'tavCopy page.ppm o2.pgm'" "ppmtopgm < page.ppm > n2.pgm"
run "PGM->PBM" "$tav -c 'tavCopy page.pgm o3.pbm'" "pgmtopbm -threshold < page.pgm > n3.pbm"
run "PBM->PGM" "$tav -c 'tavCopy page.pbm o4.pgm'" "pamdepth 255 < page.pbm | pamtopnm > n4.pgm"
run "PPM plain write" "$tav -c 'tavCopy page.ppm o5.ppm -normal'" "pamtopnm -plain < page.ppm > n5.ppm"
