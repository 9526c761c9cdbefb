#!/usr/bin/env bash
# The scanning area drawn on the preview of the real program under Xvfb: the demo scanner
# (paperstack) open, a document of one page size on show, Settings... > Area..., a band dragged
# by the mouse round the page as the preview draws it (found by its pixels). The X, Y, Width and
# Length fields, read from the dialog's widgets over the accessibility bus, give the page's own
# edges (0, 0 and its size in inches, no more than the scanner's area) within two preview pixels;
# the dialog cancelled and opened again shows no band.
# One table: page sizes x screen resolutions (the shard; it changes the twips per pixel).
# Usage: area_xvfb.sh <quorla> <hostsim-seed> <folder of libsane-paperstack.so.1> <sane dir> <dpi>
# (run under dbus-run-session)
set -u
bin=$1
seed=$2
backend=$3
sane=$4
dpi=$5
here=$(dirname "$0")
. "$here/xvfb_lib.sh"

# page: name width height resolution
pages="letter200 1700 2200 200
legal200 1700 2800 200
a4_200 1654 2339 200
letter300 2550 3300 300
halfletter100 425 550 100
landscape200 2200 1700 200"

home=$(mktemp -d)
trap '[ -n "${pid:-}" ] && kill -KILL "$pid" 2>/dev/null; rm -rf "$home"' EXIT
cd "$home" || exit 1
demoOffice "$home" "$seed" || exit 1
mkdir -p "$home/sane"
export LD_LIBRARY_PATH=$backend${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} SANE_CONFIG_DIR=$home/sane:$sane \
       QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_FONT_DPI=$dpi QT_ENABLE_HIGHDPI_SCALING=0
"$seed" --paper "$QUORLA_HOST_EMULATOR" "$home/paper" >/dev/null 2>&1 || { echo "no demo paper"; exit 1; }
printf 'feeder %s\n' "$home/paper/office" >"$home/sane/paperstack.conf"
image=$(find "$QUORLA_SHARE_ROOT" -type f -name "$(sql "SELECT imid FROM documents
        WHERE CAST(book AS INTEGER) = 1010 AND CAST(page AS INTEGER) = 1")")
[ -f "$image" ] || { echo "the demo office has no image for 1010/1"; exit 1; }

row=start
fail() {
    echo "$row: $1"
    [ -n "${SHOTS:-}" ] && import -window root "$SHOTS/area-$row-$(date +%s).png"
    kill -KILL "$pid" 2>/dev/null; cat "$home/out.log"; exit 1
}
# fields: the dialog's four text fields (X, Y, Width, Length), top to bottom.
fields() {
    snap "Set Scanning Area" || return 1
    awk -F'|' '$1 == "text" && $3 ~ /v/ { split($4, b, ","); print b[2], $5 }' "$home/w.txt" | sort -n | awk '{ print $2 }' | tr '\n' ' '
}
# near <got> <want> <slack>
near() { [ "$(echo "d = $1 - $2; if (d < 0) d = -d; d <= $3" | bc -l)" = 1 ]; }
min() { if [ "$(echo "$1 < $2" | bc -l)" = 1 ]; then echo "$1"; else echo "$2"; fi; }

"$bin" >"$home/out.log" 2>&1 &
pid=$!
main=$(demoSignOn 30) || fail "no sign-on or no main window"
title="Korvane Scanning Utilty"
# typeInto <n> <text>: the text typed into the main window's nth open text field.
typeInto() {
    local box
    snap "$title"
    box=$(awk -F'|' -v n="$1" '$1 == "text" && $3 ~ /e/ && $3 ~ /v/ && ++i == n { print $4; exit }' "$home/w.txt")
    [ -n "$box" ] || fail "no text field $1"
    IFS=, read -r x y bw bh <<<"$box"
    xdotool windowfocus "$main"; xdotool mousemove $((x + bw / 2)) $((y + bh / 2)) click 1; sleep 0.3
    xdotool key ctrl+a; xdotool type --delay 20 "$2"
}

while read -r row width height res; do
    began=$(date +%s)
    # The document's stored image: one black page of that size and resolution.
    convert -size "${width}x${height}" xc:black -units PixelsPerInch -density "$res" -monochrome \
        -compress Group4 "$home/page.tif" || fail "no page"
    cp "$home/page.tif" "$image"
    # Start on 1010/1 (the window is laid out in twips: everything is found by its widgets)
    for _ in $(seq 1 50); do
        snap "$title" && grep -q '^push button|\(Start\|Restart\)|e' "$home/w.txt" && break
        sleep 0.1
    done
    if grep -q '^push button|Restart|e' "$home/w.txt"; then
        pressWidget "$title" "push button" Restart
        waitFor 10 bash -c "/usr/bin/python3 '$here/widgets.py' $pid '$title' 2>/dev/null | grep -q '^push button|Start|e'" \
            || fail "Restart did not give the Start state"
    fi
    typeInto 1 1010; typeInto 2 1
    pressWidget "$title" "push button" Start
    waitFor 30 bash -c "/usr/bin/python3 '$here/widgets.py' $pid '$title' 2>/dev/null | grep -q '^label|Page 1/1'" \
        || fail "the page is not on show"
    pressWidget "$title" "push button" "Settings..."
    pressWidget "Scanner Settings" "push button" "Area..."
    dlg=$(waitWindow "Set Scanning Area" 30) || fail "no Set Scanning Area dialog"
    # The preview: the dialog's largest view.
    waitFor 10 snap "Set Scanning Area" || fail "the dialog cannot be read"
    preview=$(awk -F'|' 'NR > 1 && $1 == "filler" && $3 ~ /v/ { split($4, b, ","); if (b[3] * b[4] > best) { best = b[3] * b[4]; p = $4 } } END { print p }' "$home/w.txt")
    IFS=, read -r px py pw ph <<<"$preview"
    [ -n "$ph" ] || fail "no preview"
    # The scanner's whole area, in inches: a double click fills it in.
    xdotool mousemove $((px + pw / 2)) $((py + ph / 2)) click --repeat 2 --delay 80 1
    area=
    for _ in $(seq 1 50); do area=$(fields); case $area in "0 0 "*) break ;; esac; sleep 0.1; done
    read -r _ _ maxW maxL <<<"$area"
    [ -n "$maxL" ] || fail "the scanner's area was not filled in: '$area'"
    # The page as drawn: the bounding box of its dark pixels.
    bbox=
    for _ in $(seq 1 50); do
        import -window root -crop "${pw}x${ph}+${px}+${py}" +repage "$home/preview.png" 2>/dev/null
        bbox=$(convert "$home/preview.png" -colorspace gray -depth 8 txt:- 2>/dev/null | awk '
            /^#/ { next }
            { split($1, c, /[,:]/); x = c[1] + 0; y = c[2] + 0
              if (!match($0, /gray\([0-9.]+/)) next
              v = substr($0, RSTART + 5, RLENGTH - 5) + 0
              if (v >= 40) next
              if (!n++) { l = r = x; t = b = y }
              if (x < l) l = x; if (x > r) r = x; if (y < t) t = y; if (y > b) b = y }
            END { if (n) print l, t, r, b }')
        [ -n "$bbox" ] && break
        sleep 0.1
    done
    read -r l t r b <<<"$bbox"
    [ -n "$b" ] || fail "no page drawn in the preview"
    # Dragged from corner to corner of the page.
    xdotool mousemove $((px + l)) $((py + t)) mousedown 1
    xdotool mousemove $((px + (l + r) / 2)) $((py + (t + b) / 2))
    xdotool mousemove $((px + r + 1)) $((py + b + 1)) mouseup 1
    want="0 0 $(min "$(echo "scale=4; $width / $res" | bc)" "$maxW") $(min "$(echo "scale=4; $height / $res" | bc)" "$maxL")"
    # two pixels of the preview (the edge found on the screen, the mouse), in inches of the
    # scanner's area, and rounding
    slack=$(echo "scale=4; a = $maxW / $pw; b = $maxL / $ph; if (a > b) 2 * a + 0.01 else 2 * b + 0.01" | bc)
    ok=0
    for _ in $(seq 1 50); do
        got=$(fields)
        read -r gx gy gw gl <<<"$got"
        if [ -n "$gl" ]; then
            ok=1
            set -- $want
            for pair in "$gx $1" "$gy $2" "$gw $3" "$gl $4"; do near $pair "$slack" || ok=0; done
        fi
        [ "$ok" = 1 ] && break
        sleep 0.1
    done
    [ "$ok" = 1 ] || fail "the band round the page ($l,$t)-($r,$b) of a ${pw}x${ph} preview gives '$got', not '$want' (within $slack)"
    echo "$row at $dpi dpi: page at ($l,$t)-($r,$b) of ${pw}x${ph}: '$got' for '$want' in a scanner area of $maxW x $maxL ($(($(date +%s) - began)) s)"
    pressWidget "Set Scanning Area" "push button" "Cancel"
    waitFor 10 gone "Set Scanning Area" || fail "the area dialog stays"
    # Opened again, it shows no band of the cancelled session (the fields show the area in force).
    pressWidget "Scanner Settings" "push button" "Area..."
    waitWindow "Set Scanning Area" 30 >/dev/null || fail "no Set Scanning Area dialog"
    waitFor 10 snap "Set Scanning Area" || fail "the dialog cannot be read"
    band=$(awk -F'|' -v p="$preview" '$1 == "frame" && $3 ~ /v/ { split($4, b, ","); split(p, q, ",")
        if (b[1] >= q[1] && b[2] >= q[2] && b[3] < q[3] && b[4] < q[4]) print $4 }' "$home/w.txt")
    [ -z "$band" ] || fail "a band of the cancelled session is shown again at $band"
    pressWidget "Set Scanning Area" "push button" "Cancel"
    waitFor 10 gone "Set Scanning Area" || fail "the area dialog stays"
    pressWidget "Scanner Settings" "push button" "Cancel"
    waitFor 10 gone "Scanner Settings" || fail "the settings dialog stays"
done <<<"$pages"
row=end
kill -TERM "$pid"
ends end "$pid" "$home" || fail "did not end cleanly"
pid=
exit 0
