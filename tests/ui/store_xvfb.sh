#!/usr/bin/env bash
# The store roads of the real program under Xvfb against the demo office: a book-scan store, a
# paper store and an e-filed store, each registered once by the emulator, the files on the share
# under their exact names, with the page counts libtiff reads.
# Usage: store_xvfb.sh <quorla> <sane config dir with the test backend> <hostsim-seed>
set -u
bin=$1
sane=$2
seed=$3
. "$(dirname "$0")/xvfb_lib.sh"

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
cd "$home" || exit 1
export HOME=$home XDG_CONFIG_HOME=$home/cfg XDG_RUNTIME_DIR=$home/run TMPDIR=$home/tmp SANE_CONFIG_DIR=$sane \
       QT_QPA_PLATFORM=xcb QUORLA_HOST_EMULATOR=$home/host.sqlite QUORLA_SHARE_ROOT=$home/shares
mkdir -p "$XDG_RUNTIME_DIR" "$home/cfg/quorla" "$home/shares" "$TMPDIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$seed" --demo "$QUORLA_HOST_EMULATOR" "$QUORLA_SHARE_ROOT" >/dev/null 2>&1 || { echo "seeding failed"; exit 1; }
printf '[frmConfig]\nDSN=RECHOST\nUID=SCANSVC\nPWD=scan2026\n' >"$home/cfg/quorla/Korvane Scanning Utility.ini"
host=$QUORLA_SHARE_ROOT/RECHOST
sql() { sqlite3 "$QUORLA_HOST_EMULATOR" "$1"; }
fail() { echo "$1"; [ -n "${SHOTS:-}" ] && import -window root "$SHOTS/$(date +%s).png"; kill -KILL "$pid" 2>/dev/null; cat "$home/out.log"; exit 1; }
pages() { tiffinfo "$1" 2>/dev/null | grep -c "TIFF Directory"; }

"$bin" >"$home/out.log" 2>&1 &
pid=$!
login=$(waitWindow "iSeries Login" 30) || fail "no sign-on dialog"
xdotool windowfocus "$login"; sleep 0.3
xdotool type --delay 20 DEMO; xdotool key Tab; xdotool type --delay 20 demo; xdotool key Return
main=$(waitWindow "Korvane Scanning Utilty" 10) || fail "no main window"
sleep 1
xdotool windowfocus "$main"
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; sleep 0.4; }
field() { click "$1" "$2"; xdotool key ctrl+a; xdotool type --delay 20 "$3"; }
# store <registrations before>: Store pressed until one more registration is on file.
store() {
    for _ in $(seq 1 40); do
        click 50 695
        [ "$(sql "SELECT COUNT(*) FROM registrations WHERE func = 'S'")" -gt "$1" ] && return 0
        sleep 0.5
    done
    return 1
}

# 1. Book scan: Database, "Massachusetts Recorded Land Book Scan"; book 900 pages 1 to 10; the
#    test backend's feeder gives the ten pages.
click 191 8; click 290 108
field 178 150 900; field 178 174 1; field 178 198 10
xdotool key alt+a; sleep 3
xdotool key alt+s; sleep 3
store 0 || fail "book scan: nothing registered"
reg=$(sql "SELECT program || ' ' || file || ' ' || pages FROM registrations WHERE func = 'S'")
[ "$reg" = 'RG632R \\RECHOST\BOOKS\B000900\B009000001.T 0010' ] || fail "book scan: registration '$reg'"
[ "$(ls "$host/BOOKS/B000900" | cat -A)" = 'B009000001.T$' ] || fail "book scan: $(ls "$host/BOOKS/B000900" | cat -A)"
[ "$(pages "$host/BOOKS/B000900/B009000001.T")" -eq 10 ] || fail "book scan: not ten pages"
echo "book scan: $reg"

# 2. Paper store: back to recorded land documents, book 1011 page 1 (two pages recorded); the
#    ten pages scanned are stored after Yes to the page-count question.
#    The lookup of book 900 page 1 in the new mode finds no document and says so.
box=$(waitWindow "Note" 10) || fail "book scan: no lookup after the switch"
xdotool windowfocus "$box"; xdotool key Return; sleep 0.5
xdotool windowfocus "$main"
click 191 8; click 290 28
field 178 126 1011; field 178 150 1
xdotool key alt+a; sleep 3
xdotool key alt+s; sleep 3
for _ in $(seq 1 30); do
    click 50 695
    waitWindow "Note:" 1 >/dev/null && break
done
box=$(waitWindow "Note:" 1) || fail "paper store: no page-count question"
xdotool windowfocus "$box"; xdotool key Return
for _ in $(seq 1 40); do
    [ "$(sql "SELECT COUNT(*) FROM registrations WHERE func = 'S'")" -gt 1 ] && break
    sleep 0.5
done
reg=$(sql "SELECT imid || ' ' || file || ' ' || pages FROM registrations WHERE func = 'S' AND program = 'IM650R'")
[ "$(echo "$reg" | wc -l)" -eq 1 ] && [ "${reg##* }" = 0010 ] || fail "paper store: registrations '$reg'"
stored=$(find "$host/IMAGES" -type f -name "${reg%% *}")
[ "$(pages "$stored")" -eq 10 ] || fail "paper store: '$stored' is not ten pages"
echo "paper store: $reg"

# 3. E-filed store: document source e-File, Get Batch hands out the first queued document.
sleep 1
click 87 73; xdotool key Down Return; sleep 1
click 145 695; sleep 3
[ "$(sql "SELECT status FROM efile_queue WHERE document_id = '0000000001'")" = H ] || fail "e-file: Get Batch took no document"
# Refresh shows the document (cover sheet and pages); Store.
click 261 727; sleep 4
store 2 || fail "e-file: nothing registered"
for _ in $(seq 1 40); do
    [ "$(sql "SELECT status FROM efile_queue WHERE document_id = '0000000001'")" = S ] && break
    sleep 0.5
done
[ "$(sql "SELECT status FROM efile_queue WHERE document_id = '0000000001'")" = S ] || fail "e-file: queue row not stored"
reg=$(sql "SELECT program || ' ' || file || ' ' || pages FROM registrations WHERE func = 'S' AND seq > (SELECT seq FROM registrations WHERE program = 'IM650R' AND func = 'S' ORDER BY seq LIMIT 1)")
burned=$(sql "SELECT imid FROM registrations WHERE program = 'IM650R' AND func = 'S' ORDER BY seq DESC LIMIT 1")
[ "$(echo "$reg" | wc -l)" -eq 2 ] || fail "e-file: registrations '$reg'"
[ "$(ls "$host/EFILE/BURNED" | cat -A)" = '0000000001.TIF$' ] || fail "e-file: burned images $(ls "$host/EFILE/BURNED" | cat -A)"
[ "$(pages "$host/EFILE/BURNED/0000000001.TIF")" -eq 3 ] || fail "e-file: the burned image is not three pages"
[ "$(pages "$(find "$host/IMAGES" -type f -name "$burned")")" -eq 3 ] || fail "e-file: image $burned is not three pages"
echo "e-filed store:" $reg
[ -z "$(ls "$host/KvTemp/Scans")" ] || fail "e-file: left in the scan folder: $(ls "$host/KvTemp/Scans" | cat -A)"
kill -TERM "$pid"; wait "$pid" || { echo "the program ended with $?"; exit 1; }
exit 0
