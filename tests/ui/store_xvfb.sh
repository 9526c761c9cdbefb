#!/usr/bin/env bash
# The operator's road through the real program under Xvfb against the demo office: what the
# views show after each store (the next document's pages, or nothing when it has none or is not
# found), after a customer switch, a scan, a redaction, a print and a recovery, each screenshot
# compared by its pixels with what should be there; a print through a CUPS PDF queue checked with
# pdfinfo and pdfimages; and the book-scan, paper and e-filed stores, each registered once by the
# emulator, the files on the share under their exact names with the page counts libtiff reads.
# Usage: store_xvfb.sh <quorla> <sane config dir with the test backend> <hostsim-seed>
set -u
bin=$1
sane=$2
seed=$3
. "$(dirname "$0")/xvfb_lib.sh"

home=$(mktemp -d)
shots=${SHOTS:-$home/shots}
cupsd=
trap '[ -n "$cupsd" ] && kill "$cupsd" 2>/dev/null; rm -rf "$home"' EXIT
cd "$home" || exit 1
demoOffice "$home" "$seed" || exit 1
export SANE_CONFIG_DIR=$sane CUPS_SERVER=$home/cups/cups.sock
mkdir -p "$shots"
host=$QUORLA_SHARE_ROOT/RECHOST
fail() { echo "$1"; import -window root "$shots/failed.png"; kill -KILL "$pid" 2>/dev/null; cat "$home/out.log"; exit 1; }
pages() { tiffinfo "$1" 2>/dev/null | grep -c "TIFF Directory"; }

# A CUPS of its own: a PDF queue (the PDF printer driver of cups-filters) writing to a file, the
# default printer of this run.
cupsServer "$home/cups" /usr/lib/cups || exit 1
printed=$home/cups/out/print.pdf
lpadmin -p PDF -E -v "file://$printed" -P /usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd 2>/dev/null \
    && lpadmin -d PDF || { echo "no PDF queue: $(cat "$home/cups/error_log")"; exit 1; }

# signOn: starts the program and signs on; main is its window.
signOn() {
    "$bin" >>"$home/out.log" 2>&1 &
    pid=$!
    main=$(demoSignOn 30) || fail "no sign-on or no main window"
    sleep 1
}
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; sleep 0.4; }
key() { xdotool windowfocus "$main"; sleep 0.2; xdotool key "$1"; }
field() { click "$1" "$2"; xdotool key ctrl+a; xdotool type --delay 20 "$3"; }
# answer <title>: Return to the box of that title.
answer() {
    local box
    box=$(waitWindow "$1" 10) || fail "no box '$1'"
    xdotool windowfocus "$box"; xdotool key Return
    waitFor 5 gone "$1" || fail "the box '$1' stays"
    xdotool windowfocus "$main"
}
shown() { ! gone "$1"; }
registrations() { sql "SELECT COUNT(*) FROM registrations WHERE func = 'S'"; }
moreThan() { [ "$(registrations)" -gt "$1" ]; }
queueRow() { [ "$(sql "SELECT status FROM efile_queue WHERE document_id = '0000000001'")" = "$1" ]; }
emptyFolder() { [ -z "$(ls "$1")" ]; }
noJobs() { [ -z "$(lpstat -o)" ]; }

# The views: thumbnails and page view (the window lies at 0,0), and the page view alone.
shoot() { import -window root -crop "$2" +repage "$shots/$1.png"; }
views() { shoot "$1" 716x700+306+30; }
page() { shoot "$1" 560x700+462+30; }
colours() { convert "$shots/$1.png" -format %k info:; }
# emptyViews <step>: the views show nothing (one colour), waiting for the repaint.
emptyViews() {
    waitFor 5 emptyNow "$1" || fail "$1: the views still show pages ($(colours "$1") colours)"
    echo "$1: the views are empty"
}
emptyNow() { views "$1"; [ "$(colours "$1")" -eq 1 ]; }
# samePage <step> <reference>: the page view shows what the reference shot shows.
samePage() {
    waitFor 5 samePageNow "$1" "$2" || fail "$1: the page view differs from $2 in $(differ "$1" "$2") pixels"
    echo "$1: the page view shows what $2 shows"
}
samePageNow() { page "$1"; [ "$(differ "$1" "$2")" = 0 ]; }
differ() { compare -metric AE "$shots/$1.png" "$shots/$2.png" null: 2>&1; }
# steadyPage <name>: the page view once the views show pages and have not changed for a second
# (a scan has brought its last page in).
steadyPage() {
    local same=0
    views "$1.views"
    for _ in $(seq 1 150); do
        sleep 0.2; views "$1.next"
        if [ "$(colours "$1.views")" -gt 1 ] && [ "$(differ "$1.views" "$1.next")" = 0 ]; then
            same=$((same + 1))
            [ "$same" -ge 5 ] && { page "$1"; return 0; }
        else
            same=0
        fi
        mv "$shots/$1.next.png" "$shots/$1.views.png"
    done
    fail "$1: the views show no steady pages"
}
# redactAndLeave <step> <reference>: Redact opens the editor on the pages shown; leaving it (File,
# Exit) shows them again, as the reference shot does.
redactAndLeave() {
    local editor title="Korvane Scan Tool - Image Redaction Processing: Massachusetts Recorded Land"
    click 50 404
    editor=$(waitWindow "$title" 10) || fail "$1: no editor"
    xdotool mousemove --window "$editor" 25 8 click 1; sleep 0.3; xdotool key Down Return
    waitFor 5 gone "$title" || fail "$1: the editor stays"
    samePage "$1" "$2"
}
# pressStore <registrations before>: Store until one more registration is on file.
pressStore() {
    for _ in $(seq 1 40); do
        click 50 695
        waitFor 1 moreThan "$1" && return 0
    done
    return 1
}

signOn

# 1. Book 1010 page 1 (two stored pages) on the default printer: the CUPS queue receives both.
field 178 126 1010; field 178 150 1
key alt+a
steadyPage doc1010
click 108 376; click 50 376
waitFor 30 test -s "$printed" || fail "print: nothing reached the queue: $(cat "$home/cups/error_log")"
waitFor 30 noJobs || fail "print: the job did not complete"
stored=$(find "$host/IMAGES" -type f -name "$(sql "SELECT imid FROM documents WHERE book = '001010' AND page = '0001'")")
[ "$(pdfinfo "$printed" | awk '/^Pages:/ {print $2}')" = 2 ] || fail "print: $(pdfinfo "$printed")"
sizes=$(pdfimages -list "$printed" | awk 'NR > 2 {print $4 "x" $5}' | tr '\n' ' ')
want=$(for p in 0 1; do identify -format '%wx%h ' "$stored[$p]"; done)
[ "$sizes" = "$want" ] || fail "print: images '$sizes', the stored pages are '$want'"
# Each printed page is the stored page (the queue's JPEG aside).
pdfimages -png "$printed" "$home/printed"
for p in 0 1; do
    convert "$stored[$p]" "$home/stored-$p.png"
    bad=$(compare -metric AE -fuzz 50% "$home/stored-$p.png" "$home/printed-00$p.png" null: 2>&1)
    [ "$bad" -lt 1000 ] || fail "print: page $((p + 1)) differs from the stored page in $bad pixels"
done
click 108 376
samePage print doc1010
echo "print: $(pdfinfo "$printed" | awk '/^Page size:/ {$1 = $2 = ""; print}' | xargs), images $sizes"

# 2. Redact opens the editor on the document; leaving it shows the document again.
redactAndLeave redact doc1010

# 3. Store: the next document, book 1010 page 10, has no image; the views show nothing of the
#    stored one.
before=$(registrations)
key alt+t
waitFor 20 moreThan "$before" || fail "store 1010-1: nothing registered"
emptyViews "store to a document without pages"

# 4. Scan on 1010-10: then Redact and Print work on the scanned pages (Print refuses an unstored
#    paper document, as it should), and the pages stay on show.
key alt+s
steadyPage scanned
redactAndLeave "redact after the scan" scanned
click 50 376
refusal=$(waitWindow "The Korvane Scan Tool" 10) || fail "print after the scan: nothing"
sleep 0.5; import -window "$refusal" "$shots/refusal.png"
answer "The Korvane Scan Tool"
samePage "print after the scan" scanned

# 5. SIGTERM keeps the unstored pages; the next start brings them back, and Print works on them.
kill -TERM "$pid"; wait "$pid" || fail "SIGTERM: the program ended with $?"
signOn
answer "The Korvane Scan Tool"
samePage recovery scanned
click 50 376
box=$(waitWindow "The Korvane Scan Tool" 10) || fail "print after the recovery: nothing"
# The same box as after the scan (the refusal to print unstored pages), not an error.
sleep 0.5; import -window "$box" "$shots/refusal2.png"
[ "$(differ refusal2 refusal)" = 0 ] || fail "print after the recovery: another box than after the scan"
answer "The Korvane Scan Tool"
samePage "print after the recovery" scanned
kill -TERM "$pid"; wait "$pid" || fail "SIGTERM after the recovery: the program ended with $?"
rm -rf "$XDG_DATA_HOME"
signOn

# 6. Book scan: Database, "Massachusetts Recorded Land Book Scan"; book 900 pages 1 to 10; the
#    test backend's feeder gives the ten pages. The lookup of book 900 page 1 in the new mode
#    finds no document and says so; the views show nothing, also after a new Start on 1011-10.
click 191 8; click 290 108
field 178 150 900; field 178 174 1; field 178 198 10
key alt+a; sleep 2
key alt+s
steadyPage bookscan
pressStore "$(registrations)" || fail "book scan: nothing registered"
reg=$(sql "SELECT program || ' ' || file || ' ' || pages FROM registrations WHERE func = 'S' AND program = 'RG632R'")
[ "$reg" = 'RG632R \\RECHOST\BOOKS\B000900\B009000001.T 0010' ] || fail "book scan: registration '$reg'"
[ "$(ls "$host/BOOKS/B000900" | cat -A)" = 'B009000001.T$' ] || fail "book scan: $(ls "$host/BOOKS/B000900" | cat -A)"
[ "$(pages "$host/BOOKS/B000900/B009000001.T")" -eq 10 ] || fail "book scan: not ten pages"
echo "book scan: $reg"
answer Note
emptyViews "book-scan store"
click 191 8; click 290 28
field 178 126 1011; field 178 150 10
key alt+a; sleep 2
emptyViews "start on 1011-10 after the book scan"

# 7. Paper store: book 1011 page 1 (two pages recorded); the ten pages scanned are stored after
#    Yes to the page-count question. The host then finds no next document: the views are empty.
key alt+a; sleep 1 # Restart
field 178 126 1011; field 178 150 1
key alt+a; sleep 2
key alt+s
steadyPage paper
sql "INSERT INTO faults(kind, program, number, text, answer, remaining) VALUES(2, 'SY331RI', 0, '', '{\"DSRSLT\": \"2\"}', 1)"
before=$(registrations)
for _ in $(seq 1 30); do
    click 50 695
    waitFor 1 shown "Note:" && break
done
answer "Note:"
waitFor 30 moreThan "$before" || fail "paper store: nothing registered"
reg=$(sql "SELECT imid || ' ' || file || ' ' || pages FROM registrations WHERE func = 'S' AND program = 'IM650R' AND pages = '0010'")
[ "$(echo "$reg" | wc -l)" -eq 1 ] && [ "${reg##* }" = 0010 ] || fail "paper store: registrations '$reg'"
stored=$(find "$host/IMAGES" -type f -name "${reg%% *}")
[ "$(pages "$stored")" -eq 10 ] || fail "paper store: '$stored' is not ten pages"
echo "paper store: $reg"
answer Note
emptyViews "store to a document not found"

# 8. E-filed store: document source e-File, Get Batch hands out the first queued document.
click 87 73; xdotool key Down Return; sleep 1
click 145 695
waitFor 10 queueRow H \
    || fail "e-file: Get Batch took no document"
# Refresh shows the document (cover sheet and pages); Store.
click 261 727
steadyPage efile
pressStore "$(registrations)" || fail "e-file: nothing registered"
waitFor 30 queueRow S \
    || fail "e-file: queue row not stored"
reg=$(sql "SELECT program || ' ' || file || ' ' || pages FROM registrations WHERE func = 'S' AND seq > (SELECT MAX(seq) FROM registrations WHERE program = 'IM650R' AND pages = '0010')")
burned=$(sql "SELECT imid FROM registrations WHERE program = 'IM650R' AND func = 'S' ORDER BY seq DESC LIMIT 1")
[ "$(echo "$reg" | wc -l)" -eq 2 ] || fail "e-file: registrations '$reg'"
[ "$(ls "$host/EFILE/BURNED" | cat -A)" = '0000000001.TIF$' ] || fail "e-file: burned images $(ls "$host/EFILE/BURNED" | cat -A)"
[ "$(pages "$host/EFILE/BURNED/0000000001.TIF")" -eq 3 ] || fail "e-file: the burned image is not three pages"
[ "$(pages "$(find "$host/IMAGES" -type f -name "$burned")")" -eq 3 ] || fail "e-file: image $burned is not three pages"
echo "e-filed store:" $reg
# The scan folder empties once the store has cleaned up after itself.
waitFor 10 emptyFolder "$host/KvTemp/Scans" || fail "e-file: left in the scan folder: $(ls "$host/KvTemp/Scans" | cat -A)"

# 9. Customer switch: Settings, iSeries Setup, "New York"; the views are empty, and Print has
#    nothing to print (no box).
click 130 8; click 170 28
setup=$(waitWindow "iSeries Setup" 10) || fail "no iSeries Setup"
xdotool mousemove --window "$setup" 230 22 click 1; sleep 0.5; xdotool key Down Return; sleep 0.3
xdotool mousemove --window "$setup" 185 181 click 1
waitFor 10 gone "iSeries Setup" || fail "customer switch: the setup stays"
emptyViews "customer switch"
click 50 376; sleep 1
gone "The Korvane Scan Tool" || fail "customer switch: Print answered on an empty window"

kill -TERM "$pid"; wait "$pid" || { echo "the program ended with $?"; exit 1; }
exit 0
