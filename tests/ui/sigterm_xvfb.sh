#!/usr/bin/env bash
# Every way out of the real program under Xvfb, in every state its window can be in: one table,
# run in shards side by side. A cell starts the program, signs on, brings back and stores (once)
# what the cell before it kept, puts the window in its state and takes its way out: an ending
# signal, the X server killed, the X server stopped then killed, File > Exit, the close box. The
# program must end in time with status 0 and its preferences written, and no scanned page is
# lost: unstored pages are kept in a private folder (0700, files 0600, the pages tiffinfo reads)
# or, where the operator is asked, the question comes and answering No keeps them in view. Every
# wait polls for the state it needs with a generous limit; only a wrong result fails a cell.
# The start-up shard: no display, one that cannot be reached, a garbage settings file, an
# unwritable HOME, a full temp folder, recovery folders that cannot be written.
# Usage: sigterm_xvfb.sh <quorla> <sane config dir with the test backend> <hostsim-seed> <wmdelete> <shard>
set -u
bin=$1
sane=$2
seed=$3
wmdelete=$4
shard=$5
fail=0
. "$(dirname "$0")/xvfb_lib.sh"

# shard: state way...   The states: idle (ten unstored pages), scan (a slow scan under way),
# handfeed (the hand-feed window up, pages fed), editor (the redaction editor, a box drawn and not
# saved), declined (back from the editor, its save declined), question (the Exit question open),
# store (the store's page-count question open), help (the help window up), plain (no document),
# restart and next (Restart or Next pressed over unstored pages: its question open), preview (the
# print preview up over a stored document), batch (a batch scan in the middle of its document).
table() {
    case $1 in
    idle_1) echo "idle TERM HUP INT QUIT XKILL" ;;
    idle_2) echo "idle USR1 USR2 ALRM VTALRM PROF XSTOP" ;;
    idle_3) echo "idle XCPU IO PWR RTMIN RTMAX EXIT CLOSE" ;;
    scan) echo "scan HUP XKILL EXIT XSTOP USR2" ;;
    handfeed) echo "handfeed TERM XKILL HUP" ;;
    editor) echo "editor HUP TERM XKILL XSTOP INT" ;;
    declined) echo "declined EXIT TERM XKILL" ;;
    others) echo "question TERM XKILL; store TERM XKILL; help EXIT TERM; plain CLOSE TERM" ;;
    leaving) echo "restart TERM HUP; next INT XKILL" ;;
    preview) echo "preview TERM XKILL HUP" ;;
    batch) echo "batch TERM XKILL" ;;
    esac
}

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
demoOffice "$home" "$seed" || exit 1
export QT_LOGGING_RULES="quorla.scan.debug=true"
kept=$XDG_DATA_HOME/"Korvane Scanning Utility"/recovery
# A slow test scanner of its own: each sheet comes in small reads with a pause after each.
slow=$home/sane-slow
cp -r "$sane" "$slow"
sed -i -e 's/^read-limit .*/read-limit true/' -e 's/^read-limit-size .*/read-limit-size 2048/' \
       -e 's/^read-delay .*/read-delay true/' -e 's/^read-delay-duration .*/read-delay-duration 100000/' "$slow/test.conf"
stores() { sql "SELECT COUNT(*) FROM registrations WHERE func = 'S'"; }
lookups() { sql "SELECT COUNT(*) FROM call_log WHERE program = 'IM650R'"; }
keptCount() { ls "$kept"/*.ini 2>/dev/null | wc -l; }
tiffPages() { tiffinfo "$1" 2>/dev/null | grep -c "TIFF Directory"; }
logCount() { grep -c -- "$1" "$home/out.log" 2>/dev/null; }
die() {
    echo "$row: $*"; [ -n "${SHOTS:-}" ] && import -window root "$SHOTS/$(date +%s).png"
    kill -KILL "$pid" 2>/dev/null; [ -n "${xpid:-}" ] && kill "$xpid" 2>/dev/null
    cat "$home/out.log"; exit 1
}

# waitLog <text> <count> <seconds>: until the program's log holds the text that many times.
waitLog() {
    local until=$(($(date +%s) + $(limit "$3")))
    while [ "$(logCount "$1")" -lt "$2" ]; do
        [ "$(date +%s)" -lt "$until" ] || return 1
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
}

# Starts the program in the background as a job of its own, so that it keeps SIGINT and SIGQUIT
# (a shell without job control has its background commands ignore them).
launch() {
    set -m
    "$bin" >"$home/out.log" 2>&1 &
    pid=$!
    set +m
}

messageBox() { waitWindow "(The Korvane Scan Tool|Korvane Scanning Utility)" "$1"; }
signOn() { main=$(demoSignOn 60) || die "no sign-on or no main window"; }
focusMain() { xdotool windowfocus "$main"; sleep 0.2; }

# storeIt <pages>: Store pressed, Yes to the page-count question; one more registration, of that
# many pages, follows.
storeIt() {
    local before box imid want pressed=0 answered=0
    want=$(printf %04d "$1")
    before=$(stores)
    # Pressed again only while neither its question nor its registration came.
    for _ in $(seq 1 "$(limit 600)"); do
        [ "$(stores)" -gt "$before" ] && break
        box=$(xdotool search --onlyvisible --name '^Note:$' 2>/dev/null | head -1)
        if [ -n "$box" ]; then
            xdotool windowfocus "$box"; xdotool key Return; sleep 0.5; answered=1; continue
        fi
        # A word of the program's that came late (the kept pages back) holds the window: OK it.
        box=$(xdotool search --onlyvisible --name '^(The Korvane Scan Tool|Korvane Scanning Utility)$' 2>/dev/null | head -1)
        if [ "$answered" = 0 ] && [ -n "$box" ]; then
            xdotool windowfocus "$box"; xdotool key Return; sleep 0.3; continue
        fi
        if [ "$answered" = 0 ] && [ $((pressed % 50)) -eq 0 ]; then focusMain; xdotool key alt+t; fi
        pressed=$((pressed + 1))
        sleep 0.1
    done
    sleep 0.5
    [ "$(stores)" -eq $((before + 1)) ] || die "$(($(stores) - before)) registrations, not one"
    imid=$(sql "SELECT imid || ' ' || pages FROM registrations WHERE func = 'S' ORDER BY seq DESC LIMIT 1")
    [ "${imid#* }" = "$want" ] || die "registered '$imid', not $want pages"
    [ "$(tiffPages "$(find "$QUORLA_SHARE_ROOT" -type f -name "${imid% *}")")" -eq "$1" ] || die "${imid% *} is not $1 pages"
}

# bringBack <pages>: after sign-on, the document the cell before kept comes back and stores once.
bringBack() {
    local box
    messageBox 30 >/dev/null || die "no word of the kept document"
    # A batch the ending cut short is named first; the kept document's own word follows.
    for _ in $(seq 1 "$(limit 30)"); do
        [ "$(logCount "quorla.recovery: brought back")" -ge 1 ] && break
        if box=$(messageBox 1); then xdotool windowfocus "$box"; xdotool key Return; sleep 0.3; fi
    done
    waitLog "quorla.recovery: brought back" 1 30 || die "the kept document was not brought back"
    if box=$(messageBox 5); then xdotool windowfocus "$box"; xdotool key Return; fi
    storeIt "$1"
    echo "$row: the kept $1 pages back and stored once"
    # The store moved on to the next document: Restart gives the empty fields again.
    focusMain; xdotool key alt+a; sleep 0.5
}

# lookUp <book> <page>: Start on that document; the host's lookup is made.
lookUp() {
    local looked
    focusMain; xdotool mousemove --window "$main" 178 126 click 1; sleep 0.2
    xdotool key ctrl+a; xdotool type --delay 10 "$1"; xdotool key Tab ctrl+a; xdotool type --delay 10 "$2"
    looked=$(lookups)
    xdotool key alt+a
    for _ in $(seq 1 "$(limit 100)"); do [ "$(lookups)" -gt "$looked" ] && break; sleep 0.1; done
    [ "$(lookups)" -gt "$looked" ] || die "no lookup"
    sleep 0.5
}

# scanAll: Scan, until the scan road has ended with the ten pages of the feeder.
scanAll() {
    local ended
    ended=$(logCount "scan ended:")
    focusMain; xdotool key alt+s
    waitLog "scan ended:" $((ended + 1)) 120 || die "the scan did not end"
    grep "scan ended:" "$home/out.log" | tail -1 | grep -q "scan ended: 10 pages" \
        || die "$(grep "scan ended:" "$home/out.log" | tail -1)"
}

# openEditor: Redact on the scanned pages, the redaction tool taken, a box dragged over the page.
openEditor() {
    local editor
    focusMain; xdotool mousemove --window "$main" 50 404 click 1
    # Shown once it holds the pages.
    editor=$(waitWindow "Korvane Scan Tool - Image Redaction Processing:.*" 60) || die "no redaction editor"
    xdotool windowfocus "$editor"; sleep 0.3; xdotool key space
    xdotool mousemove --window "$editor" 300 150 mousedown 1 mousemove --window "$editor" 400 250 \
        mousemove --window "$editor" 420 270 mouseup 1
    sleep 0.5
}

# The newest kept document: its pages, and that folder and files are private.
keptPages() {
    local file
    [ "$(stat -c %a "$kept")" = 700 ] || die "kept folder mode $(stat -c %a "$kept")"
    for file in "$kept"/*; do
        [ "$(stat -c %a "$file")" = 600 ] || die "$(basename "$file") mode $(stat -c %a "$file")"
    done
    file=$(ls -t "$kept"/*.tif | head -1)
    tiffPages "$file"
}

# The way out; a way the operator is asked about answers No, sees the pages stay, and ends with
# SIGTERM.
wayOut() {
    case $1 in
    XKILL) kill -KILL "$xpid" ;;
    XSTOP) kill -STOP "$xpid"; sleep 1; kill -KILL "$xpid" ;;
    EXIT | CLOSE)
        focusMain
        if [ "$1" = EXIT ]; then xdotool key alt+f; sleep 0.3; xdotool key e; else "$wmdelete" "$main"; fi
        if [ "$asks" = 1 ]; then
            box=$(waitWindow "Note:" 60) || die "not asked about the unstored pages"
            xdotool windowfocus "$box"; xdotool key n
            waitFor 5 gone "Note:"
            sleep 0.5
            kill -0 "$pid" 2>/dev/null || die "ended after No"
            echo "$row: asked; No keeps the pages in view"
            kill -TERM "$pid"
        fi ;;
    *) kill -"$1" "$pid" ;;
    esac
}

# cell <state> <way> <pages kept by the cell before>
cell() {
    local state=$1 way=$2 before=$3 registered took pages
    row="$state, $way"
    export SANE_CONFIG_DIR=$sane
    case $state in scan | batch) SANE_CONFIG_DIR=$slow ;; esac
    # A display of its own, to take away.
    rm -f "$home/display"
    Xvfb -displayfd 5 -nolisten tcp -noreset -screen 0 1280x1024x24 5>"$home/display" 2>/dev/null &
    xpid=$!
    for _ in $(seq 1 "$(limit 100)"); do [ -s "$home/display" ] && break; sleep 0.1; done
    [ -s "$home/display" ] || { echo "$row: Xvfb did not start"; return 1; }
    export DISPLAY=:$(cat "$home/display")
    launch
    signOn
    [ "$before" -gt 0 ] && bringBack "$before"
    [ "$(keptCount)" -eq 0 ] || die "$(keptCount) kept documents left"
    registered=$(stores)
    asks=1
    case $state in
    idle | question | store | restart | next) lookUp "${doc% *}" "${doc#* }"; scanAll ;;
    preview)
        # Printing needs a stored document: one the office holds, shown from the share.
        asks=0
        lookUp 1011 19 ;;
    scan)
        lookUp "${doc% *}" "${doc#* }"
        local started
        started=$(logCount "sane_start")
        focusMain; xdotool key alt+s
        # Three sheets in: the scan is under way, seven to go.
        waitLog "sane_start" $((started + 3)) 120 || die "the scan did not start" ;;
    handfeed)
        lookUp "${doc% *}" "${doc#* }"
        focusMain; xdotool key alt+c; sleep 0.3; xdotool key h
        waitWindow "Hand Feed Scan" 60 >/dev/null || die "no hand-feed window"
        waitLog "sane_start" 11 120 || die "the feeder's pages did not come in" ;;
    editor | declined)
        lookUp "${doc% *}" "${doc#* }"; scanAll; openEditor
        if [ "$state" = declined ]; then
            local editor box
            editor=$(waitWindow "Korvane Scan Tool - Image Redaction Processing:.*" 10)
            xdotool mousemove --window "$editor" 25 8 click 1; sleep 0.3; xdotool key Down Return
            box=$(waitWindow "The Korvane Scan Tool - Image Redaction Annotation Save" 30) || die "no save question"
            xdotool windowfocus "$box"; xdotool key n
            waitFor 30 gone "Korvane Scan Tool - Image Redaction Processing:.*" || die "the editor stays"
            sleep 0.5
        fi ;;
    batch)
        # One document of four recorded pages, each sheet slow; two sheets in, two to go.
        local batch started
        started=$(logCount "sane_start")
        focusMain; xdotool key F10
        batch=$(waitWindow "Batch Scan" 60) || die "no batch window"
        xdotool windowfocus "$batch"; sleep 0.3
        xdotool mousemove --window "$batch" 178 46 click 1; xdotool key ctrl+a; xdotool type --delay 10 "${bdoc% *}"
        xdotool mousemove --window "$batch" 260 46 click 1; xdotool key ctrl+a; xdotool type --delay 10 "${bdoc#* }"
        xdotool mousemove --window "$batch" 240 122 click 1; xdotool key ctrl+a; xdotool type --delay 10 1
        xdotool mousemove --window "$batch" 510 23 click 1
        waitLog "sane_start" $((started + 2)) 120 || die "the batch did not scan" ;;
    help)
        asks=0
        focusMain; xdotool key F6
        waitWindow "Korvane - Scan Tool Online Help" 60 >/dev/null || die "no help window"
        focusMain ;;
    plain) asks=0 ;;
    esac
    case $state in
    question)
        focusMain; xdotool key alt+f; sleep 0.3; xdotool key e
        waitWindow "Note:" 60 >/dev/null || die "no Exit question" ;;
    store)
        focusMain; xdotool key alt+t
        waitWindow "Note:" 60 >/dev/null || die "the store did not start" ;;
    restart | next)
        focusMain; if [ "$state" = restart ]; then xdotool key alt+a; else xdotool key period; fi
        waitWindow "Note:" 60 >/dev/null || die "not asked about the unstored pages" ;;
    preview)
        focusMain; xdotool mousemove --window "$main" 50 376 click 1
        waitWindow "Korvane Scan Tool - Image Print Preview:.*" 60 >/dev/null || die "no print preview" ;;
    esac
    wayOut "$way"
    ends "$row" "$pid" "$home" || die "did not end cleanly"
    kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null
    [ "$(stores)" -eq "$registered" ] || die "registered at the way out"
    case $state in
    help | plain | preview)
        [ "$(keptCount)" -eq 0 ] || die "kept something"
        kept_pages=0
        return 0 ;;
    esac
    [ "$(keptCount)" -eq 1 ] || die "$(keptCount) kept documents, not one"
    pages=$(keptPages)
    case $state in
    scan)
        # Stopped at the sheet in hand: what came in is kept, not the rest of the stack.
        [ "$pages" -ge 2 ] || die "kept $pages pages of a scan three sheets in"
        case $way in XKILL | XSTOP) ;; *) [ "$pages" -lt 10 ] || die "the scan went on to the end" ;; esac ;;
    handfeed) [ "$pages" -ge 10 ] || die "kept $pages pages, not the ten fed" ;;
    batch)
        [ "$pages" -ge 1 ] || die "kept $pages pages of a batch document two sheets in"
        case $way in XKILL | XSTOP) ;; *) [ "$pages" -lt 4 ] || die "the batch went on to the document's end" ;; esac ;;
    *) [ "$pages" -eq 10 ] || die "kept $pages pages, not ten" ;;
    esac
    echo "$row: $pages pages kept, modes 700/600"
    kept_pages=$pages
}

# Documents without an image in the demo office, one per cell that scans.
documents=("1011 1" "1011 10" "1011 28" "1012 1" "1012 19" "1012 28" "1013 10")
# The batch cells' documents, four pages recorded each, one per cell of the shard.
batchDocuments=("1013 19" "1012 19")

# Start-up: no display, one that cannot be reached, a settings file of random bytes, an
# unwritable HOME, a full temp folder, recovery folders that cannot be written. Each is said in
# one message; the program goes on or ends with a non-zero status.
startup() {
    local box rc ini full
    export SANE_CONFIG_DIR=$sane/none
    for display in "" ":$((RANDOM + 200))"; do
        DISPLAY=$display "$bin" >"$home/out.log" 2>&1; rc=$?
        [ "$rc" -eq 1 ] && grep -q "DISPLAY" "$home/out.log" && ! grep -q "Reinstalling" "$home/out.log" \
            || { echo "display '$display': status $rc, said '$(cat "$home/out.log")'"; return 1; }
        echo "display '$display': status $rc, $(head -c 100 "$home/out.log")..."
    done

    ini="$XDG_CONFIG_HOME/quorla/Korvane Scanning Utility.ini"
    cp "$ini" "$home/good.ini"
    head -c 2048 /dev/urandom >"$ini"; cp "$ini" "$home/garbage"
    "$bin" >"$home/out.log" 2>&1 &
    pid=$!
    row="garbage settings"
    box=$(waitWindow "The Korvane Scan Tool" 60) || die "no message"
    cmp -s "$ini.bad" "$home/garbage" || die "not set aside as .bad"
    xdotool windowfocus "$box"; xdotool key Return
    kill -TERM "$pid"
    ends "$row" "$pid" "$home" || return 1
    grep -q '%' "$ini" && { echo "garbage settings: written back"; return 1; }
    echo "garbage settings: set aside as $(basename "$ini").bad, a new file written"
    cp "$home/good.ini" "$ini"

    # A HOME that cannot be made: the program goes on to sign-on, and a signal still ends it.
    row="unwritable HOME"
    HOME=/proc/quorla-no-home XDG_CONFIG_HOME='' XDG_DATA_HOME='' SANE_CONFIG_DIR=$sane "$bin" >"$home/out.log" 2>&1 &
    pid=$!
    waitWindow "iSeries Login" 60 >/dev/null || die "no sign-on window"
    kill -TERM "$pid"
    ends "$row" "$pid" "" || return 1

    # Neither recovery folder can be made (a file stands in the way of each): the signal's
    # keeping says where the pages could not go, and the program ends all the same.
    row="recovery folders cannot be made"
    export SANE_CONFIG_DIR=$sane
    local private=$TMPDIR/quorla-$(id -u)
    mkdir -p "$(dirname "$kept")" "$private"; chmod 700 "$private"
    touch "$kept" "$private/recovery"
    launch
    signOn
    doc="1013 10"; lookUp 1013 10; scanAll
    kill -TERM "$pid"
    ends "$row" "$pid" "$home" || return 1
    grep -q "could not be kept: neither the folder .*recovery nor the folder .*recovery could be written" "$home/out.log" \
        || die "not said where the pages could not go"
    echo "$row: said where the pages could not go, and ended"
    rm -f "$kept" "$private/recovery"

    # A temp folder on a full file system (root only: a private mount).
    full=$home/full
    mkdir -p "$full"
    if unshare -m true 2>/dev/null; then
        row="full temp folder"
        TMPDIR=$full unshare -m sh -c '
            mount -t tmpfs -o size=16k tmpfs "$TMPDIR" && mkdir -m 700 "$TMPDIR/quorla-$(id -u)"
            head -c 65536 /dev/zero >"$TMPDIR/fill" 2>/dev/null
            exec "$0" >"$1/out.log" 2>&1' "$bin" "$home" &
        pid=$!
        box=$(waitWindow "The Korvane Scan Tool" 60) || die "no message"
        xdotool windowfocus "$box"; xdotool key Return
        wait "$pid"; rc=$?
        [ "$rc" -ne 0 ] || { echo "full temp folder: status 0"; return 1; }
        echo "full temp folder: said so, status $rc"
    fi
}

if [ "$shard" = startup ]; then
    [ -n "${DISPLAY:-}" ] || { echo "no display"; exit 1; }
    (startup) || fail=1
    exit $fail
fi

# QUORLA_ENDING_CELLS="state way...; ..." runs those cells instead of a shard's (by hand).
cells=${QUORLA_ENDING_CELLS:-$(table "$shard")}
[ -n "$cells" ] || { echo "no shard $shard"; exit 1; }
kept_pages=0
n=0
IFS=';' read -ra groups <<<"$cells"
for group in "${groups[@]}"; do
    read -ra words <<<"$group"
    state=${words[0]}
    for way in "${words[@]:1}"; do
        doc=${documents[$((n % ${#documents[@]}))]}
        bdoc=${batchDocuments[$((n % ${#batchDocuments[@]}))]}
        n=$((n + 1))
        (cell "$state" "$way" "$kept_pages"; echo "$kept_pages" >"$home/kept_pages") || { fail=1; break 2; }
        kept_pages=$(cat "$home/kept_pages")
    done
done
# What the last cell kept comes back and stores once too.
if [ "$fail" = 0 ] && [ "$kept_pages" -gt 0 ]; then
    (cell plain TERM "$kept_pages") || fail=1
fi
dup=$(sql "SELECT imid FROM registrations WHERE func = 'S' GROUP BY imid HAVING COUNT(*) > 1")
[ -z "$dup" ] || { echo "registered twice: $dup"; fail=1; }
exit $fail
