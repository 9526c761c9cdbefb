#!/usr/bin/env bash
# The store roads of the real program under Xvfb against the demo office when the host fails
# them, one table row each: a store kind, the host's fault on its registration (the emulator's
# refusal or lost answer, set in its faults table) and what must hold after it. Files on the
# share are checked by name with `ls | cat -A`, by content with cmp and tiffinfo, registrations
# with sqlite3.
# Usage: storefaults_xvfb.sh <quorla> <sane config dir with the test backend> <hostsim-seed>
set -u
bin=$1
sane=$2
seed=$3
. "$(dirname "$0")/xvfb_lib.sh"

#  store kind   host fault   expected
rows=(
  "bookscan     none         taken"    # the host registers the book range's file
  "bookscan     refused      kept"     # a repeat store the host refuses: its first file stays as it was
  "again        none         replaced" # stored again: the new file in its place, registered
  "paper        lost         once"     # the answer is lost: Store again finds it stored, sends nothing
  "efile        none         off"      # stored and handed over: Store is off, a press sends nothing
)

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
cd "$home" || exit 1
export HOME=$home XDG_CONFIG_HOME=$home/cfg XDG_RUNTIME_DIR=$home/run TMPDIR=$home/tmp SANE_CONFIG_DIR=$sane \
       QT_QPA_PLATFORM=xcb QUORLA_HOST_EMULATOR=$home/host.sqlite QUORLA_SHARE_ROOT=$home/shares
mkdir -p "$XDG_RUNTIME_DIR" "$home/cfg/quorla" "$home/shares" "$TMPDIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$seed" --demo "$QUORLA_HOST_EMULATOR" "$QUORLA_SHARE_ROOT" >/dev/null 2>&1 || { echo "seeding failed"; exit 1; }
printf '[frmConfig]\nDSN=RECHOST\nUID=SCANSVC\nPWD=scan2026\n' >"$home/cfg/quorla/Korvane Scanning Utility.ini"
host=$QUORLA_SHARE_ROOT/RECHOST
book=$host/BOOKS/B000900
sql() { sqlite3 "$QUORLA_HOST_EMULATOR" "$1"; }
stores() { sql "SELECT COUNT(*) FROM registrations WHERE func = 'S'"; }
fail() { echo "$row: $1"; [ -n "${SHOTS:-}" ] && import -window root "$SHOTS/$(date +%s).png"; kill -KILL "$pid" 2>/dev/null; cat "$home/out.log"; exit 1; }
pages() { tiffinfo "$1" 2>/dev/null | grep -c "TIFF Directory"; }
# A message box of the program (a dialog window: the store window may bear the same title)
# within $1 seconds, answered with its default button.
answerBox() {
    local box
    for _ in $(seq 1 $(($1 * 10))); do
        for box in $(xdotool search --onlyvisible --name '^(The Korvane Scan Tool|Korvane Scanning Utility|Note:?)$' 2>/dev/null); do
            xprop -id "$box" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q DIALOG || continue
            xdotool windowfocus "$box"; xdotool key Return; sleep 0.3; return 0
        done
        sleep 0.1
    done
    return 1
}

"$bin" >"$home/out.log" 2>&1 &
pid=$!
row="sign-on"
main=$(demoSignOn 30) || fail "no sign-on or no main window"
sleep 1
xdotool windowfocus "$main"
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; sleep 0.4; }
field() { click "$1" "$2"; xdotool key ctrl+a; xdotool type --delay 20 "$3"; }
pressStore() { xdotool windowfocus "$main"; click 50 695; }
# Answers message boxes until none comes for 3 seconds; prints how many.
drain() {
    local n=0
    while answerBox 3; do n=$((n + 1)); done
    echo "$n"
}
# Store pressed until the registrations pass n, or (with a question) until it is asked and answered.
storeUntil() {
    for _ in $(seq 1 40); do
        pressStore
        waitWindow "Note:" 1 >/dev/null && answerBox 1
        [ "$(stores)" -gt "$1" ] && return 0
    done
    return 1
}

# bookscan: Database, "Massachusetts Recorded Land Book Scan"; book 900 pages 1 to 10; the test
# backend's feeder gives the ten pages.
bookscan() {
    click 191 8; click 290 108
    field 178 150 900; field 178 174 1; field 178 198 10
    xdotool key alt+a; sleep 3
    xdotool key alt+s; sleep 3
}
# again: the document of the row before, stored again.
again() { :; }
# The lookup in recorded-land mode that follows a book-scan store finds no document of book 900.
afterBookscan() { answerBox 10 || fail "no lookup after the switch"; }

# paper: recorded land documents, book 1011 page 1 (two pages recorded), ten pages scanned.
paper() {
    click 191 8; click 290 28
    field 178 126 1011; field 178 150 1
    xdotool key alt+a; sleep 3
    xdotool key alt+s; sleep 3
}

# efile: after Restart, document source e-File; Get Batch hands out the first queued document, Refresh shows it.
efile() {
    xdotool windowfocus "$main"; xdotool key alt+a; sleep 1 # Restart: the stored document goes
    click 87 73; xdotool key Down Return; sleep 1
    click 145 695; sleep 3
    [ "$(sql "SELECT status FROM efile_queue WHERE document_id = '0000000001'")" = H ] || fail "Get Batch took no document"
    click 261 727; sleep 4
}

for r in "${rows[@]}"; do
    read -r kind fault expect <<<"$r"
    row="$kind, $fault"
    before=$(stores)
    "$kind"
    case $fault in
    refused) sql "INSERT INTO faults(kind, program, number, text, answer, remaining)
                  VALUES(2, 'RG632R', 0, '', '{\"\$ErrMsg\":\"BOOK 000900 IS CLOSED\"}', 1)"
             cp "$book/B009000001.T" "$home/first.T" ;;
    lost) sql "INSERT INTO faults(kind, program, number, text, answer, remaining) VALUES(4, 'IM650R', 0, '', '{}', 1)" ;;
    esac
    case $expect in
    taken | replaced)
        storeUntil "$before" || fail "nothing registered"
        reg=$(sql "SELECT program || ' ' || file || ' ' || pages FROM registrations WHERE func = 'S' ORDER BY seq DESC LIMIT 1")
        [ "$reg" = 'RG632R \\RECHOST\BOOKS\B000900\B009000001.T 0010' ] || fail "registration '$reg'"
        [ "$(ls -A "$book" | cat -A)" = 'B009000001.T$' ] || fail "$(ls -A "$book" | cat -A)"
        [ "$(pages "$book/B009000001.T")" -eq 10 ] || fail "not ten pages"
        [ "$expect" = taken ] || ! cmp -s "$book/B009000001.T" "$home/first.T" || fail "the first file is still there"
        afterBookscan
        echo "$row: $reg" ;;
    kept)
        # Refused: the store gives up, the host's message is shown; the file the host took
        # the first time is there as it was, and nothing beside it.
        for _ in $(seq 1 40); do pressStore; answerBox 1 && break; done || fail "no refusal"
        sleep 1
        [ "$(stores)" -eq "$before" ] || fail "registered"
        [ "$(ls -A "$book" | cat -A)" = 'B009000001.T$' ] || fail "$(ls -A "$book" | cat -A)"
        cmp -s "$book/B009000001.T" "$home/first.T" || fail "the host's first file changed"
        [ "$(pages "$book/B009000001.T")" -eq 10 ] || fail "the host's first file is not ten pages"
        echo "$row: the host's file stays: $(ls "$book" | cat -A), $(pages "$book/B009000001.T") pages" ;;
    once)
        # The host registers it, the answer is lost and the program says so; Store again looks
        # the document up, finds it stored and sends nothing.
        storeUntil "$before" || fail "nothing registered"
        [ "$(drain)" -ge 1 ] || fail "no word of the lost answer"
        [ "$(stores)" -eq $((before + 1)) ] || fail "$(($(stores) - before)) registrations"
        pressStore
        [ "$(drain)" -ge 1 ] || fail "no word of the lookup"
        pressStore; drain >/dev/null # Store is off now
        reg=$(sql "SELECT imid || ' ' || pages || ' ' || file FROM registrations WHERE func = 'S' AND seq > (SELECT MAX(seq) FROM registrations WHERE program = 'RG632R')")
        read -r imid count file <<<"$reg"
        [ "$(echo "$reg" | wc -l)" -eq 1 ] && [ "$count" = 0010 ] || fail "registrations '$reg'"
        [ "$(pages "$(find "$host/IMAGES" -type f -name "$imid")")" -eq 10 ] || fail "$imid is not ten pages"
        # The host took the image; the annotation file stays in the scan folder.
        [ "$(ls "$host/KvTemp/Scans" | cat -A)" = "${file%.T}.A\$" ] || fail "in the scan folder: $(ls "$host/KvTemp/Scans" | cat -A)"
        echo "$row: registered once: $reg" ;;
    off)
        storeUntil "$before" || fail "nothing registered"
        for _ in $(seq 1 40); do
            [ "$(sql "SELECT status FROM efile_queue WHERE document_id = '0000000001'")" = S ] && break
            sleep 0.5
        done
        [ "$(sql "SELECT status FROM efile_queue WHERE document_id = '0000000001'")" = S ] || fail "queue row not stored"
        # A second press: nothing is registered within 5 s (a store takes about 2).
        pressStore
        for _ in $(seq 1 50); do [ "$(stores)" -gt $((before + 2)) ] && break; sleep 0.1; done
        burned=$(sql "SELECT imid FROM registrations WHERE program = 'IM650R' AND func = 'S' ORDER BY seq DESC LIMIT 1")
        [ "$(stores)" -eq $((before + 2)) ] || fail "$(($(stores) - before)) registrations, not IM650R and IM652R once each"
        [ "$(ls "$host/EFILE/BURNED" | cat -A)" = '0000000001.TIF$' ] || fail "burned images $(ls "$host/EFILE/BURNED" | cat -A)"
        [ "$(pages "$host/EFILE/BURNED/0000000001.TIF")" -eq 3 ] || fail "the burned image is not three pages"
        [ "$(pages "$(find "$host/IMAGES" -type f -name "$burned")")" -eq 3 ] || fail "image $burned is not three pages"
        [ -z "$(ls "$host/KvTemp/Scans")" ] || fail "left in the scan folder: $(ls "$host/KvTemp/Scans" | cat -A)"
        echo "$row: registered once each:" $(sql "SELECT program FROM registrations WHERE func = 'S' ORDER BY seq DESC LIMIT 2") ;;
    esac
done
kill -TERM "$pid"; wait "$pid" || { echo "the program ended with $?"; exit 1; }
exit 0
