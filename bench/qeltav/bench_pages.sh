#!/bin/bash
# Pages from letter to poster, grey and colour, with transparent huge pages granted and refused
# (prctl PR_SET_THP_DISABLE, inherited by each command): tav against vips (VIPS_CONCURRENCY=1)
# and netpbm on the same files, one thread against one thread. The sides of a case run in turn,
# so all meet the same machine load; each reports its best CPU time (user + system, start-up
# included) and its best wall time. A quarter turn's pixels are compared with vips's.
#   bench_pages.sh <tav binary> [repeats] [size...]
# Sizes: letter (300 dpi), a3 (600 dpi), a0-300, a0 (600 dpi), poster (30000 x 30000); all by
# default. TAV_BEFORE=<tav binary> adds that build's CPU time beside ours. Files take up to 3 GB
# in $TMPDIR. TAV_CASES=<regular expression> runs only the rows whose "kind case" it matches
# (e.g. 'grey turn|rgb 1.5').
# A time marked "x" is a run that failed (tav refuses a line longer than TAV_LINE_MAX bytes: a
# colour quarter turn above 21845 lines, a colour poster). netpbm keeps 16 bytes a pixel in
# memory: it runs once above 100 Mpx and not above 300 Mpx ("-").
# "ns/px" is tav's CPU time less its start-up, a pixel: the same at every size when the cost is
# linear in the pixels.
set -e
tav=$(realpath "$1")
reps="${2:-3}"
shift 2 || shift $#
sizes=("${@:-letter a3 a0-300 a0 poster}")
sizes=(${sizes[*]})
before=${TAV_BEFORE:+$(realpath "$TAV_BEFORE")}
for tool in vips pamflip pnmrotate ppmtopgm pamtopnm bc python3 /usr/bin/time; do
  command -v "$tool" > /dev/null || { echo "missing: $tool (libvips-tools, netpbm, bc, python3, time)"; exit 2; }
done
export VIPS_CONCURRENCY=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cat > nothp <<'EOF'
#!/usr/bin/env python3
# Runs a command with transparent huge pages refused for it and its children.
import ctypes, os, sys
if ctypes.CDLL(None, use_errno=True).prctl(41, 1, 0, 0, 0) != 0:  # PR_SET_THP_DISABLE
    sys.exit("prctl PR_SET_THP_DISABLE failed")
os.execvp(sys.argv[1], sys.argv[1:])
EOF
chmod +x nothp

# "cpu wall" in microseconds of one run of a command, both marked "x" when it failed
once() {
  local pre=() r=
  [ "$thp" = off ] && pre=(./nothp)
  "${pre[@]}" /usr/bin/time -f '%U %S %e' -o t.txt bash -c "$1" > /dev/null 2>&1 || r=x
  read -r u s e < <(tail -1 t.txt)
  echo "$(echo "($u + $s) * 1000000 / 1" | bc)$r $(echo "$e * 1000000 / 1" | bc)$r"
}
# the better of two times: the smaller, or a failed one (a failure is reported, not hidden)
better() {
  if [ -z "$1" ]; then echo "$2"
  elif [[ "$1" == *x ]]; then echo "$1"
  elif [[ "$2" == *x ]] || (( ${2%x} < ${1%x} )); then echo "$2"
  else echo "$1"; fi
}
sec() { [ -z "$1" ] && echo - && return; printf '%.2f%s' "$(echo "${1%x} / 1000000" | bc -l)" "${1//[0-9]/}"; }
ratio() { [[ -z "$1" || -z "$2" || "$1$2" == *x* || "$1" == 0 ]] && echo - || printf '%.2f' "$(echo "$2 / $1" | bc -l)"; }

thp=on
printf 'P5\n1 1\n255\n\0' > dot.pgm
start=
for _ in $(seq "$reps"); do start=$(better "$start" "$(once "$tav -c ''" | cut -d' ' -f1)"); done
printf 'start-up CPU: tav %s s; load average before: %s\n' "$(sec "$start")" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-7s %4s %-5s %-10s %6s %7s %7s %7s %8s %8s %7s %6s %6s %5s %5s%s\n' size THP kind case Mpx "tav s" "vips s" \
  "pbm s" vips/tav pbm/tav "ns/px" "wall" "vwall" same load "${before:+  before s}"
run() {
  local kind="$1" name="$2" ours="$3" vips="$4" pbm="$5" pixels="$6"
  local a= v= p= b= aw= vw= t pn=$reps same=-
  [[ "$kind $name" =~ ${TAV_CASES:-.} ]] || return 0
  (( px > 100000000 )) && pn=1
  (( px > 300000000 )) && pn=0
  for i in $(seq "$reps"); do
    t=$(once "$ours"); a=$(better "$a" "${t% *}"); aw=$(better "$aw" "${t#* }")
    t=$(once "$vips"); v=$(better "$v" "${t% *}"); vw=$(better "$vw" "${t#* }")
    if [ -n "$pixels" ] && [ "$i" = 1 ] && [[ "$a" != *x ]]; then
      if [ -f o.pnm ] && [ -f v.pnm ] && cmp -s <(tail -c "$pixels" o.pnm) <(tail -c "$pixels" v.pnm); then same=yes
      else same=NO; fi
    fi
    rm -f o.* v.*
    if (( i <= pn )); then p=$(better "$p" "$(once "$pbm" | cut -d' ' -f1)"); rm -f n.*; fi
    if [ -n "$before" ]; then b=$(better "$b" "$(once "${ours/$tav/$before}" | cut -d' ' -f1)"); rm -f o.*; fi
  done
  printf '%-7s %4s %-5s %-10s %6.1f %7s %7s %7s %8s %8s %7.2f %6s %6s %5s %5s%s\n' "$size" "$thp" "$kind" "$name" \
    "$(echo "$px / 1000000" | bc -l)" "$(sec "$a")" "$(sec "$v")" "$(sec "$p")" "$(ratio "$a" "$v")" \
    "$(ratio "$a" "$p")" "$(echo "(${a%x} - $start) * 1000 / $px" | bc -l)" "$(sec "$aw")" "$(sec "$vw")" "$same" \
    "$(cut -d' ' -f1 /proc/loadavg)" "${before:+  $(sec "$b")}"
}

for size in "${sizes[@]}"; do
  case "$size" in
    letter) w=2550; h=3300 ;;
    a3) w=7016; h=9921 ;;
    a0-300) w=9933; h=14043 ;;
    a0) w=19866; h=28087 ;;
    poster) w=30000; h=30000 ;;
    *) echo "unknown size: $size"; exit 2 ;;
  esac
  px=$((w * h))
  "$tav" -c "tavCopy g -random -w $w -h $h -d 8 page.pgm"
  # a colour line holds at most TAV_LINE_MAX bytes: no colour poster
  (( w * 3 <= 65536 )) && "$tav" -c "tavCopy g -random -w $w -h $h -d 24 page.ppm"
  for thp in on off; do
    for kind in grey rgb; do
      [ "$kind" = grey ] && f=page.pgm || f=page.ppm
      [ -f "$f" ] || continue
      [ "$kind" = grey ] && n=$px || n=$((3 * px))
      run "$kind" copy "$tav -c 'tavCopy $f o.pnm'" "vips copy $f v.pnm" "pamtopnm < $f > n.pnm" "$n"
      run "$kind" "turn -90" "$tav -c 'tavRotate -90 $f o.pnm'" "vips rot $f v.pnm d270" "pamflip -r90 < $f > n.pnm" "$n"
      run "$kind" "turn -270" "$tav -c 'tavRotate -270 $f o.pnm'" "vips rot $f v.pnm d90" "pamflip -r270 < $f > n.pnm" "$n"
      run "$kind" "1.5 deg" "$tav -c 'tavRotate -angle 1.5 $f o.pnm'" \
        "vips rotate $f v.pnm 1.5 --interpolate bilinear" "pnmrotate 1.5 < $f > n.pnm" ""
    done
    [ -f page.ppm ] && run rgb "to grey" "$tav -c 'tavCopy page.ppm o.pgm'" "vips colourspace page.ppm v.pgm b-w" \
      "ppmtopgm < page.ppm > n.pgm" ""
  done
  rm -f page.pgm page.ppm
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
