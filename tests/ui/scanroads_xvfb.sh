#!/usr/bin/env bash
# The scanning roads of the real program under Xvfb, through SANE's dll backend and the demo
# scanner (paperstack) feeding the demo paper, against the demo office; what each road stored is
# read back with tiffinfo and netpbm, its registrations with sqlite3. One table of roads:
#   road      stack       device faults   what is done and checked
#   barcode   ny-barcode  feeder          New York barcode scan: the stack is split at its cover
#                                         sheets into its four documents, each stored with its
#                                         recorded page count
#   backs     backs       feeder          a duplex scan: the backs blank with dust or show-through
#                                         are removed, the backs with a handwritten note kept
#   handfeed  3 sheets    feeder          hand feed, then Done: the three sheets are the document
#   overhead  book        overhead        the overhead dialog opens for the MIN7PS model; one page
#   jam       office      feeder, jam 3   the jam is reported; sheets 1 and 2 are kept, the next
#                                         Scan goes on with sheet 3, the ten pages are stored
#   leave     office      feeder, paced   Restart, then Next, pressed while the feeder feeds: the
#                                         scan stops at the sheet in hand, then the unstored
#                                         question comes; Enter keeps the pages, and Store asks
#                                         the page count and stores what came in; Yes drops them
# Usage: scanroads_xvfb.sh <quorla> <hostsim-seed> <folder of libsane-paperstack.so.1> <sane dir>
set -u
bin=$1
seed=$2
backend=$3
sane=$4
. "$(dirname "$0")/xvfb_lib.sh"

base=$(mktemp -d)
trap 'rm -rf "$base"' EXIT
export QT_QPA_PLATFORM=xcb QUORLA_HOST_EMULATOR=$base/host.sqlite QUORLA_SHARE_ROOT=$base/shares \
       LD_LIBRARY_PATH=$backend${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
"$seed" --demo "$QUORLA_HOST_EMULATOR" "$QUORLA_SHARE_ROOT" >/dev/null 2>&1 || { echo "seeding failed"; exit 1; }
"$seed" --paper "$QUORLA_HOST_EMULATOR" "$base/paper" >/dev/null 2>&1 || { echo "no demo paper"; exit 1; }
mkdir -p "$base/paper/three"
for n in 01 02 03; do ln -s "../office/$n.tif" "$base/paper/three/$n.tif"; done
images=$QUORLA_SHARE_ROOT/RECHOST/IMAGES
stored() { sql "SELECT COUNT(*) FROM registrations WHERE func = 'S'"; }
pages() { tiffinfo "$1" 2>/dev/null | grep -c "TIFF Directory"; }
imageOf() { find "$images" -type f -name "$1"; }
# inkIn <tiff> <page from 0> <top> <height>: mean ink (0 white .. 1 black) of those rows.
inkIn() {
    tiffcp "$1,$2" "$home/page.tif" 2>/dev/null && tifftopnm "$home/page.tif" 2>/dev/null \
        | pamcut -top "$3" -height "$4" | pamsumm -mean -brief -normalize 2>/dev/null \
        | awk '{ printf "%.4f", 1 - $1 }'
}
fail() {
    echo "$road: $1"
    [ -n "${SHOTS:-}" ] && import -window root "$SHOTS/$road-$(date +%s).png"
    kill -KILL "$pid" 2>/dev/null
    cat "$home/out.log"
    exit 1
}

# start <paperstack.conf lines> <preferences lines>: the program on its own settings, signed on.
start() {
    home=$base/$road
    mkdir -p "$home/cfg/quorla" "$home/run" "$home/tmp" "$home/sane" && chmod 700 "$home/run"
    printf '%b\n' "$1" >"$home/sane/paperstack.conf"
    printf '[frmConfig]\nDSN=RECHOST\nUID=SCANSVC\nPWD=scan2026\n[Preferences]\n%b\n' "$2" \
        >"$home/cfg/quorla/Korvane Scanning Utility.ini"
    (
        cd "$home" || exit 1
        export HOME=$home XDG_CONFIG_HOME=$home/cfg XDG_RUNTIME_DIR=$home/run TMPDIR=$home/tmp \
               SANE_CONFIG_DIR=$home/sane:$sane SANE_DEBUG_PAPERSTACK=1
        exec "$bin" >"$home/out.log" 2>&1
    ) &
    pid=$!
    main=$(demoSignOn 60) || fail "no sign-on or no main window"
    sleep 1
    xdotool windowfocus "$main"
}
stop() {
    kill -TERM "$pid"
    wait "$pid" || fail "the program ended with $?"
}
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; sleep 0.4; }
field() { click "$1" "$2"; xdotool key ctrl+a; xdotool type --delay 20 "$3"; }
# lookUp <book> <page>: a Massachusetts recorded-land document made current.
lookUp() { field 178 126 "$1"; field 178 150 "$2"; xdotool key alt+a; sleep 2; }
# answer <title>: Return in the first window of that title, waited for up to 60 s.
answer() {
    local w
    w=$(waitWindow "$1" 60) || fail "no window '$1'"
    xdotool windowfocus "$w"; sleep 0.3; xdotool key Return
}
# storeAs <registrations before> <page-count question 0|1>: Store pressed (it stays disabled
# while a scan runs) until the document is registered.
storeAs() {
    for _ in $(seq 1 60); do
        click 50 695
        if [ "$2" = 1 ] && waitWindow "Note:" 1 >/dev/null; then answer "Note:"; fi
        [ "$(stored)" -gt "$1" ] && return 0
        sleep 0.5
    done
    fail "nothing registered"
}
# lastImage <pages>: the last registration holds that many pages, and so does its file.
lastImage() {
    local reg file
    reg=$(sql "SELECT imid || ' ' || pages FROM registrations WHERE func = 'S' ORDER BY seq DESC LIMIT 1")
    file=$(imageOf "${reg%% *}")
    [ "${reg##* }" = "$(printf %04d "$1")" ] || fail "registered '$reg', not $1 pages"
    [ "$(pages "$file")" -eq "$1" ] || fail "$file holds $(pages "$file") pages, not $1"
    echo "$file"
}

barcode() {
    start "feeder $base/paper/ny-barcode" 'g_APP_STATE=1\ng_dbMode=11'
    xdotool key alt+s
    for _ in $(seq 1 60); do
        click 50 695
        waitWindow "Wait..." 1 >/dev/null && break
    done
    answer "Wait..."
    log=$(waitWindow "Barcode Scan Log" 120) || fail "no barcode log"
    local regs
    regs=$(sql "SELECT r.pages FROM registrations r JOIN documents d ON d.imid = r.imid
                WHERE r.func = 'S' AND d.year = '2026' AND d.month = '03' AND d.day = '02' ORDER BY d.ctl")
    [ "$(echo $regs)" = "0002 0003 0004 0001" ] || fail "registered page counts '$(echo $regs)'"
    for ctl in 70001 70002 70003 70004; do
        local row imid want
        row=$(sql "SELECT imid || ' ' || num_pages FROM documents WHERE year = '2026' AND ctl = '$ctl'")
        imid=${row%% *}; want=$((10#${row##* }))
        [ "$(pages "$(imageOf "$imid")")" -eq "$want" ] || fail "$ctl: image $imid is not $want pages"
    done
    xdotool windowfocus "$log"; xdotool key Return
    echo "barcode: four documents stored with" $regs "pages"
    stop
}

backs() {
    start "feeder $base/paper/backs" ''
    lookUp 1033 10
    xdotool key alt+s
    storeAs "$(stored)" 1
    local file
    file=$(lastImage 6) || exit 1
    # fronts and note backs in stack order: the note sits in the rows 360 to 460 of pages 3 and 6
    for p in 2 5; do
        [ "$(echo "$(inkIn "$file" "$p" 340 140) > 0.005" | bc)" = 1 ] || fail "page $((p + 1)) carries no note"
        [ "$(echo "$(inkIn "$file" "$p" 600 1400) < 0.0005" | bc)" = 1 ] || fail "page $((p + 1)) is not the note's back"
    done
    echo "backs: 8 sides scanned, the dusty and the show-through backs removed, 6 pages stored"
    stop
}

handfeed() {
    start "feeder $base/paper/three" ''
    lookUp 1033 19
    xdotool key F8
    hand=$(waitWindow "Hand Feed Scan" 20) || fail "no hand-feed window"
    # the ticks find the feeder empty once the sheets are in, and the window stays open
    for _ in $(seq 1 100); do grep -q "no sheet left" "$home/out.log" && break; sleep 0.1; done
    waitFor 1 gone "Hand Feed Scan" && fail "an empty feeder ended the hand feed"
    xdotool windowfocus "$hand"; sleep 0.3; xdotool key Return
    waitFor 10 gone "Hand Feed Scan" || fail "Done left the window open"
    local ticks
    ticks=$(grep -c "^\[paperstack\] feeder: " "$home/out.log")
    sleep 1.5
    [ "$(grep -c "^\[paperstack\] feeder: " "$home/out.log")" = "$ticks" ] || fail "the feeder is still asked after Done"
    storeAs "$(stored)" 1
    lastImage 3 >/dev/null || exit 1
    echo "handfeed: three sheets fed, empty ticks quiet, Done stops them, three pages stored"
    stop
}

overhead() {
    start "overhead $base/paper/book\nfeeder $base/paper/office" ''
    lookUp 1033 28
    xdotool key F7
    dlg=$(waitWindow "Overhead Document Scan" 20) || fail "no overhead dialog"
    xdotool mousemove --window "$dlg" 296 23 click 1
    waitFor 30 gone "Overhead Document Scan" || fail "the overhead run did not end"
    storeAs "$(stored)" 0
    local file
    file=$(lastImage 1) || exit 1
    # the normal book's letter page (11 in), as the overhead preset sets it
    tiffinfo "$file" 2>/dev/null | grep -q "Image Length: 2200" \
        || fail "not a letter page: $(tiffinfo "$file" 2>/dev/null | grep Length)"
    echo "overhead: the dialog opened for MIN7PS, one letter page of the book scanned and stored"
    stop
}

jam() {
    start "feeder $base/paper/office\njam 3" ''
    lookUp 1033 1
    xdotool key alt+s
    answer "The Korvane Scan Tool"
    grep -q "feeder: Document feeder jammed at sheet 3" "$home/out.log" || fail "not the jam at sheet 3"
    # the next Scan goes on at the end of the two pages kept, without the rescan question; Scan
    # is clicked again while the first scan's end still runs (the click is then refused)
    for _ in $(seq 1 12); do
        grep -q "feeder: sheet 3 of 10" "$home/out.log" && break
        click 145 695
        for _ in $(seq 1 50); do grep -q "feeder: sheet 3 of 10" "$home/out.log" && break; sleep 0.1; done
    done
    for _ in $(seq 1 600); do grep -q "feeder: sheet 10 of 10" "$home/out.log" && break; sleep 0.1; done
    grep -q "feeder: sheet 10 of 10" "$home/out.log" || fail "the second scan did not reach sheet 10"
    waitWindow "Rescan Options" 1 >/dev/null && fail "the rescan question was asked"
    storeAs "$(stored)" 1
    local reg file
    reg=$(sql "SELECT r.imid || ' ' || r.pages FROM registrations r JOIN documents d ON d.imid = r.imid
               WHERE r.func = 'S' AND CAST(d.book AS INTEGER) = 1033 AND CAST(d.page AS INTEGER) = 1")
    [ "${reg##* }" = 0010 ] || fail "1033/1 registered as '$reg', not with 10 pages"
    file=$(imageOf "${reg%% *}")
    [ "$(pages "$file")" -eq 10 ] || fail "$file holds $(pages "$file") pages, not 10"
    echo "jam: reported at sheet 3, the next scan went on with sheets 3 to 10, ten pages stored"
    stop
}

# feeding <sheets>: the feeder has taken that many more sheets than when the count was taken.
fed=0
feeding() {
    local want=$((fed + $1))
    for _ in $(seq 1 "$(limit 300)"); do
        [ "$(grep -c "feeder: sheet" "$home/out.log")" -ge "$want" ] && break
        sleep 0.1
    done
    [ "$(grep -c "feeder: sheet" "$home/out.log")" -ge "$want" ] || fail "the feeder did not feed"
}
# scanEnds <count>: the scan road has ended that many times; `kept` is the pages of its last end.
scanEnds() {
    for _ in $(seq 1 "$(limit 300)"); do
        [ "$(grep -c "scan ended:" "$home/out.log")" -ge "$1" ] && break
        sleep 0.1
    done
    [ "$(grep -c "scan ended:" "$home/out.log")" -ge "$1" ] || fail "the scan did not end"
    kept=$(grep "scan ended:" "$home/out.log" | tail -1 | sed 's/.*scan ended: \([0-9]*\) pages.*/\1/')
}
lookups() { sql "SELECT COUNT(*) FROM call_log WHERE program = 'IM650R'"; }

leave() {
    start "feeder $base/paper/office\npace 300" ''
    local kept looked before
    lookUp 1012 1
    fed=0; xdotool key alt+s
    feeding 3
    looked=$(lookups)
    xdotool windowfocus "$main"; xdotool key alt+a # Restart
    scanEnds 1
    [ "$kept" -ge 2 ] && [ "$kept" -lt 10 ] || fail "Restart: the scan kept $kept pages"
    answer "Note:" # Enter: No
    waitFor 10 gone "Note:" || fail "Restart: the question stays"
    sleep 1
    [ "$(lookups)" -eq "$looked" ] || fail "Restart: the document was left after No"
    [ "$(grep -c "feeder: sheet" "$home/out.log")" -lt 10 ] || fail "Restart: the feeder went on"
    # Store asks the page-count question (the lookup stayed), then stores what came in.
    before=$(stored)
    xdotool windowfocus "$main"; sleep 0.3; xdotool key alt+t
    answer "Note:"
    for _ in $(seq 1 "$(limit 300)"); do [ "$(stored)" -gt "$before" ] && break; sleep 0.1; done
    local reg
    reg=$(sql "SELECT r.pages FROM registrations r JOIN documents d ON d.imid = r.imid
               WHERE r.func = 'S' AND CAST(d.book AS INTEGER) = 1012 AND CAST(d.page AS INTEGER) = 1")
    [ "$reg" = "$(printf %04d "$kept")" ] || fail "Restart: 1012/1 registered with '$reg' pages, not $kept"
    echo "leave: Restart mid-feed stopped the scan at $kept pages; Enter kept them; stored after the page-count question"

    stop
    # A program of its own for the second way: Next answered Yes.
    road=leave_next
    start "feeder $base/paper/office\npace 300" ''
    lookUp 1012 19
    fed=0; xdotool key alt+s
    feeding 2
    looked=$(lookups); before=$(stored)
    xdotool windowfocus "$main"; xdotool key period # Next
    scanEnds 1
    [ "$kept" -lt 10 ] || fail "Next: the scan went on to the end"
    w=$(waitWindow "Note:" 60) || fail "Next: no question"
    xdotool windowfocus "$w"; sleep 0.3; xdotool key y
    for _ in $(seq 1 "$(limit 100)"); do [ "$(lookups)" -gt "$looked" ] && break; sleep 0.1; done
    [ "$(lookups)" -gt "$looked" ] || fail "Next: Yes did not move on"
    [ "$(stored)" -eq "$before" ] || fail "Next: something was stored"
    echo "leave: Next mid-feed stopped the scan at $kept pages; Yes dropped them and moved on"
    stop
    road=leave
}

for road in ${ROADS:-barcode backs handfeed overhead jam leave}; do
    began=$(date +%s)
    "$road"
    echo "$road: $(($(date +%s) - began)) s"
done
exit 0
