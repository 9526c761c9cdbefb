#!/bin/bash
# Pages from letter to A0, grey and colour, in one run: tav against vips and netpbm on the same
# files, single tav thread (vips uses its own threads). Each case runs its sides in turn, so all
# meet the same machine load, and reports each side's best wall time (start-up included).
#   bench_pages.sh <tav binary> [repeats] [size...]
# Sizes: letter (300 dpi), a4 (600 dpi), a2 (600 dpi), a0 (600 dpi); all four by default.
# netpbm runs once a case on pages above 100 Mpx. The files take about 6 GB in $TMPDIR at A0.
# A time marked "x" is a run that failed (tav refuses a line longer than TAV_LINE_MAX bytes).
# "tav ns/px" is tav's time less its start-up, a pixel: the same at every size when the cost is
# linear in the pixels.
set -e
tav=$(realpath "$1")
reps="${2:-3}"
shift 2 || shift $#
sizes=("${@:-letter a4 a2 a0}")
sizes=(${sizes[*]})
for tool in vips pamflip pnmrotate ppmtopgm pamtopnm bc; do
  command -v "$tool" > /dev/null || { echo "missing: $tool (libvips-tools, netpbm, bc)"; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# wall time in microseconds of one run of a command, marked "x" when the command failed
once() {
  local s e r=
  s=$(date +%s%N)
  bash -c "$1" > /dev/null 2>&1 || r=x
  e=$(date +%s%N)
  echo "$(( (e - s) / 1000 ))$r"
}
# the better of two times: the smaller, or a failed one (a failure is reported, not hidden)
better() {
  if [ -z "$1" ]; then echo "$2"
  elif [[ "$1" == *x ]]; then echo "$1"
  elif [[ "$2" == *x ]] || (( $2 < $1 )); then echo "$2"
  else echo "$1"; fi
}
sec() { [ -z "$1" ] && echo - && return; printf '%.3f%s' "$(echo "${1%x} / 1000000" | bc -l)" "${1//[0-9]/}"; }
ratio() { [[ "$1$2" == *x* ]] && echo - || printf '%.2f' "$(echo "$2 / $1" | bc -l)"; }

# start-up alone, taken off tav's time for its cost a pixel
printf 'P5\n1 1\n255\n\0' > dot.pgm
start=
for _ in $(seq "$reps"); do start=$(better "$start" "$(once "$tav -c ''")"); done
printf 'start-up: tav %s s, vips %s s, netpbm %s s\n' "$(sec "$start")" "$(sec "$(once "vips --version")")" \
  "$(sec "$(once "pamtopnm < dot.pgm > n.pgm")")"
printf '%-7s %-5s %-12s %7s %9s %9s %9s %8s %8s %9s\n' size kind case Mpx "tav s" "vips s" "netpbm s" \
  vips/tav pbm/tav "tav ns/px"
run() {
  local size="$1" kind="$2" name="$3" px="$4" ours="$5" vips="$6" pbm="$7"
  local a= v= p= pn=$reps
  (( px > 100000000 )) && pn=1
  for i in $(seq "$reps"); do
    a=$(better "$a" "$(once "$ours")"); rm -f o.*
    v=$(better "$v" "$(once "$vips")"); rm -f v.*
    if (( i <= pn )); then p=$(better "$p" "$(once "$pbm")"); rm -f n.*; fi
  done
  printf '%-7s %-5s %-12s %7.1f %9s %9s %9s %8s %8s %9.2f\n' "$size" "$kind" "$name" \
    "$(echo "$px / 1000000" | bc -l)" "$(sec "$a")" "$(sec "$v")" "$(sec "$p")" "$(ratio "$a" "$v")" \
    "$(ratio "$a" "$p")" "$(echo "(${a%x} - $start) * 1000 / $px" | bc -l)"
}

for size in "${sizes[@]}"; do
  case "$size" in
    letter) w=2550; h=3300 ;;
    a4) w=4960; h=7016 ;;
    a2) w=9933; h=14043 ;;
    a0) w=19866; h=28087 ;;
    *) echo "unknown size: $size"; exit 2 ;;
  esac
  px=$((w * h))
  "$tav" -c "tavCopy g -random -w $w -h $h -d 8 page.pgm"
  "$tav" -c "tavCopy g -random -w $w -h $h -d 24 page.ppm"
  for kind in grey rgb; do
    [ "$kind" = grey ] && f=page.pgm || f=page.ppm
    e=${f##*.}
    run "$size" "$kind" copy "$px" "$tav -c 'tavCopy $f o.$e'" "vips copy $f v.$e" "pamtopnm < $f > n.$e"
    run "$size" "$kind" "quarter turn" "$px" "$tav -c 'tavRotate -90 $f o.$e'" "vips rot $f v.$e d270" \
      "pamflip -r90 < $f > n.$e"
    run "$size" "$kind" "1.5 deg" "$px" "$tav -c 'tavRotate -angle 1.5 $f o.$e'" \
      "vips rotate $f v.$e 1.5 --interpolate bilinear" "pnmrotate 1.5 < $f > n.$e"
  done
  run "$size" rgb "to grey" "$px" "$tav -c 'tavCopy page.ppm o.pgm'" "vips colourspace page.ppm v.pgm b-w" \
    "ppmtopgm < page.ppm > n.pgm"
  rm -f page.pgm page.ppm
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
