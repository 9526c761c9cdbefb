#!/usr/bin/env bash
# Every way a lookup or a view of the real program fails, against the demo office under Xvfb,
# and what the window shows after it, read from its widgets through the accessibility bus
# (widgets.py): the index fields, the labels, the views, each button and menu item. Then the
# operator goes on: the same index started again once the host answers, or, for a document whose
# image cannot be shown, a scan of it stored. One table, in shards that run side by side:
#   row        stage   what goes wrong
#   notfound   lookup  the book is not on file
#   indexfails lookup  the index program ends abnormally
#   masterfails lookup the image-master program ends abnormally
#   lost       lookup  the connection drops before the index program's answer
#   refused    lookup  the connection is refused
#   silent     -       the index program holds its answer for 4 s, then answers
#   locrefused view    the image-location program answers with an error
#   locfails   view    the image-location program ends abnormally
#   missing    view    the stored image is gone
#   notimage   view    the stored image is not an image
#   cut        view    the stored image is cut inside its first page
#   unreadable view    a folder stands where the stored image should be
#   sharegone  view    the share's image folder is gone
# The rescan shard: the Rescan Options question left without an answer (Cancel, the close box) over the document as looked up and over a scan not yet stored. The window's state, the
# page label and the host's registrations stay exactly as they were; Restart over the looked-up
# document asks nothing; the scan is stored once with its own pages. The rescanempty shard:
# Overwrite or Insert answered with the demo scanner's feeder empty; the operator is told, and
# everything is as it was.
# Usage: requestroad_xvfb.sh <quorla> <sane config dir with the test backend> <hostsim-seed>
#        <wmdelete> <shard> [folder of libsane-paperstack.so.1, for rescanempty]
# (run under dbus-run-session: the program's widgets are read over its own accessibility bus)
set -u
bin=$1
sane=$2
seed=$3
wmdelete=$4
shard=$5
backend=${6:-}
here=$(dirname "$0")
. "$here/xvfb_lib.sh"

table() {
    case $1 in
    lookup) echo "notfound indexfails masterfails lost refused silent" ;;
    view) echo "locrefused locfails missing notimage cut unreadable sharegone" ;;
    rescan) echo "cancel close scannedcancel scannedclose" ;;
    rescanempty) echo "emptyoverwrite emptyinsert" ;;
    esac
}

home=$(mktemp -d)
trap '[ -n "${pid:-}" ] && kill -KILL "$pid" 2>/dev/null; rm -rf "$home"' EXIT
cd "$home" || exit 1
demoOffice "$home" "$seed" || exit 1
export SANE_CONFIG_DIR=$sane QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_LOGGING_RULES="quorla.hostsim.debug=true"
if [ "$shard" = rescanempty ]; then
    # the demo scanner, its feeder empty
    mkdir -p "$home/sane" "$home/empty"
    printf 'feeder %s\n' "$home/empty" >"$home/sane/paperstack.conf"
    export LD_LIBRARY_PATH=$backend${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} SANE_CONFIG_DIR=$home/sane:$sane
fi
stores() { sql "SELECT COUNT(*) FROM registrations WHERE func = 'S'"; }
# The document every row looks up, its image and its host records as seeded (a row's store
# replaces them; the next row starts from them again).
doc="CAST(book AS INTEGER) = 1010 AND CAST(page AS INTEGER) = 1"
imid=$(sql "SELECT imid FROM documents WHERE $doc")
image=$(find "$QUORLA_SHARE_ROOT" -type f -name "$imid")
[ -f "$image" ] || { echo "the demo office has no image for 1010/1"; exit 1; }
cp "$image" "$home/image.tif"
master=$(sqlite3 -cmd ".mode insert image_master" "$QUORLA_HOST_EMULATOR" "SELECT * FROM image_master WHERE imid = '$imid'")
[ -n "$master" ] || { echo "no image master record for $imid"; exit 1; }

row=start
fail() {
    echo "$row: $1"
    [ -n "${SHOTS:-}" ] && import -window root "$SHOTS/request-$row-$(date +%s).png"
    snap; [ -s "$home/w.txt" ] && { echo "-- the window's widgets:"; grep '|[^|]*v[^|]*|' "$home/w.txt"; }
    kill -KILL "$pid" 2>/dev/null; cat "$home/out.log"; exit 1
}

# at <roles> <x> <y>: "role|name|flags|text" of the innermost showing widget of one of those roles
# (a pattern) over the point of the main window (which lies at 0,0).
at() {
    awk -F'|' -v role="^($1)\$" -v x="$2" -v y="$3" '
        $1 ~ role && $3 ~ /v/ { split($4, b, ",");
            if (x >= b[1] && x < b[1] + b[3] && y >= b[2] && y < b[2] + b[4]) hit = $1 "|" $2 "|" $3 "|" $5 }
        END { print hit }' "$home/w.txt"
}
# flags <role> <name> [nth]: the flags of the nth widget of that role and name ("-" when none).
flags() {
    awk -F'|' -v role="$1" -v name="$2" -v nth="${3:-1}" '
        $1 == role && $2 == name && ++n == nth { print ($3 == "" ? "-" : $3); found = 1; exit }
        END { if (!found) print "-" }' "$home/w.txt"
}
# fieldText <role|name|flags|text>: what a text field holds, or a label says.
fieldText() { case $1 in text\|*) echo "${1##*|}" ;; *) echo "$1" | cut -d'|' -f2 ;; esac; }
# views: 1 when a thumbnail or page view shows (they lie right of the index column), else 0.
views() { awk -F'|' '$1 == "filler" && $3 ~ /v/ { split($4, b, ","); if (b[1] >= 304) n++ } END { print (n > 0) }' "$home/w.txt"; }
on() { case $1 in *e*) echo 1 ;; *) echo 0 ;; esac; }
shows() { case $1 in *v*) echo 1 ;; *) echo 0 ;; esac; }

# The window's state as one line of named cells, read from its widgets.
state() {
    local goNew book page pages
    goNew=$(at "push button" 30 725); book=$(at "text|label" 178 127); page=$(at "text|label" 168 151)
    pages=$(at label 200 198)
    printf 'goNew=%s ' "$(echo "$goNew" | cut -d'|' -f2)"
    # an index field left open to typing is a text field, one filled by the host a label
    printf 'book=%s bookOpen=%s page=%s ' "$(fieldText "$book")" "$(echo "$book" | grep -c '^text|[^|]*|[^|]*e')" \
        "$(fieldText "$page")"
    printf 'pages=%s views=%s ' "$(echo "$pages" | cut -d'|' -f2)" "$(views)"
    local b
    for b in Store Scan Next\> \<Prev Refresh Print Redact; do
        printf '%s=%s ' "$b" "$(on "$(flags "push button" "$b")")"
    done
    printf 'Rotate=%s ' "$(shows "$(flags "push button" "Rotate 90")")"
    printf 'pageNum=%s ' "$(at label 200 480 | cut -d'|' -f2 | sed 's/ *$//; s/ /_/g')"
    printf 'status=%s ' "$(at label 20 535 | cut -d'|' -f2 | sed 's/\\r.*//; s/ /_/g')"
    printf 'mStore=%s mUndo=%s mScan=%s mHandFeed=%s\n' "$(on "$(flags "menu item" Store)")" \
        "$(on "$(flags "menu item" "Undo Changes")")" "$(on "$(flags "menu item" Scan 2)")" \
        "$(on "$(flags "menu item" "Hand-Feed Scan")")"
}
# expect <cells...>: each "name=value" cell holds in the window's state (read again until it
# does, for up to $patience seconds: the window settles after a box is answered or a scan ends).
expect() {
    local now="(unread: $(cat "$home/w.err" 2>/dev/null))" missing
    for _ in $(seq 1 $(($(limit "${patience:-10}") * 4))); do
        if snap; then now=" $(state) "; else now="(unread: $(cat "$home/w.err"))"; fi
        missing=
        for cell in "$@"; do case $now in *" $cell "*) ;; *) missing="$missing $cell" ;; esac; done
        [ -z "$missing" ] && return 0
        sleep 0.25
    done
    fail "the window shows '$now', not:$missing"
}

boxTitle="(The Korvane Scan Tool|Korvane Scanning Utility|Note|Note:)"
noBox() { [ -z "$(xdotool search --onlyvisible --name "^$boxTitle\$" 2>/dev/null)" ]; }
# told: the box that tells the operator, its text logged; answered.
told() {
    local box text
    box=$(waitWindow "$boxTitle" 60) || fail "the operator was not told"
    for _ in $(seq 1 50); do snap "$(xdotool getwindowname "$box")" && break; sleep 0.1; done
    text=$(awk -F'|' '$1 == "label" && $2 != "" { print $2 }' "$home/w.txt" | head -1)
    [ -n "$text" ] || fail "a box with no text"
    echo "$row: told \"$text\""
    xdotool windowfocus "$box"; sleep 0.2; xdotool key Return
    waitFor 10 noBox || fail "the box stays"
}
click() { xdotool windowfocus "$main"; xdotool mousemove --window "$main" "$1" "$2" click 1; sleep 0.3; }
field() { click "$1" "$2"; xdotool key ctrl+a; xdotool type --delay 20 "$3"; }
goNew() { snap; case $(at "push button" 30 725) in *\|Restart\|*) click 30 727 ;; esac; }
# lookUp <book>: the Start state, the index typed, Start pressed.
lookUp() {
    goNew
    expect goNew=Start
    field 178 127 "$1"; field 168 151 1
    click 30 727
}
# shown: the document 1010/1 is on show with its two pages.
shown() { expect goNew=Restart book=1010 bookOpen=0 pages=2 views=1 Store=1 Scan=1 Print=1 Rotate=1 mStore=1 mScan=1; }

"$bin" >>"$home/out.log" 2>&1 &
pid=$!
main=$(demoSignOn 30) || fail "no sign-on or no main window"
waitFor 10 snap || fail "the widgets cannot be read: $(cat "$home/w.err")"

# arrange <row>: the host or the share made to fail that way for the next lookup.
# fault <kind> <program> <text> [answer] [seconds]: the emulator's next call of the program fails
# that way (kinds: 0 open refused, 1 ends abnormally, 2 answers this instead, 4 reply lost, 5 silent).
fault() {
    sql "INSERT INTO faults(kind, program, number, text, answer, remaining, seconds, skip)
         VALUES($1, '$2', -2147467259, '$3', '${4:-{\}}', 1, ${5:-0}, 0)"
}
arrange() {
    case $1 in
    notfound) ;;
    indexfails) fault 1 SY331RI "CPF9898: SY331RI ended abnormally." ;;
    masterfails) fault 1 IM650R "CPF9898: IM650R ended abnormally." ;;
    lost) fault 4 SY331RI "Communication link failure" ;;
    refused) fault 0 "" "Connection refused" ;;
    silent) fault 5 SY331RI "" '{}' 4 ;;
    locrefused) fault 2 IM091R "" '{"ErrMsg":"IM091R: image not on file"}' ;;
    locfails) fault 1 IM091R "CPF9898: IM091R ended abnormally." ;;
    missing) rm "$image" ;;
    notimage) head -c 4096 /dev/zero | tr '\0' x >"$image" ;;
    cut) head -c 64 "$home/image.tif" >"$image.cut" && mv "$image.cut" "$image" ;;
    unreadable) rm "$image" && mkdir "$image" ;;
    sharegone) mv "$QUORLA_SHARE_ROOT/RECHOST/IMAGES" "$home/images.away" ;;
    esac
}
restore() {
    [ -d "$home/images.away" ] && mv "$home/images.away" "$QUORLA_SHARE_ROOT/RECHOST/IMAGES"
    sql "DELETE FROM faults; UPDATE documents SET imid = '$imid' WHERE $doc; ${master/INSERT/INSERT OR REPLACE}"
    rm -rf "$image"; cp "$home/image.tif" "$image"
}

scans() { grep -c "scan ended:" "$home/out.log"; }
# storeOnce <pages>: Store (Yes to its page-count question) registers the document once, with
# that many pages.
storeOnce() {
    local before=$(stores) box reg
    for _ in $(seq 1 "$(limit 30)"); do
        [ "$(stores)" -gt "$before" ] && break
        box=$(xdotool search --onlyvisible --name '^Note:$' 2>/dev/null | head -1)
        if [ -n "$box" ]; then xdotool windowfocus "$box"; sleep 0.2; xdotool key Return
        else click 50 695; fi
        sleep 1
    done
    [ "$(stores)" -eq $((before + 1)) ] || fail "$(($(stores) - before)) registrations after Store, not one"
    reg=$(sql "SELECT pages FROM registrations WHERE func = 'S' ORDER BY seq DESC LIMIT 1")
    [ -z "$1" ] || [ "$reg" = "$(printf %04d "$1")" ] || fail "registered with $reg pages, not $1"
}
# scanned <pages>: the scan brought that many pages in.
scanned() { patience=60 expect views=1 Store=1 Print=1 mStore=1 "pageNum=Page_1/$1"; }

# A rescan row: the question left unanswered leaves everything as it was.
rescan() {
    restore
    lookUp 1010
    shown
    if [ "${row#scanned}" != "$row" ]; then
        # pages scanned over the document, not stored
        local first=$(scans)
        click 145 695
        pressWidget "Rescan Options" "radio button" "Overwrite all pages"
        pressWidget "Rescan Options" "push button" "OK"
        waitFor 60 bash -c "[ \$(grep -c 'scan ended:' '$home/out.log') -gt $first ]" || fail "the overwrite scan did not end"
        scanned 10
    fi
    snap && was=$(state) || fail "the widgets cannot be read"
    local regs=$(stores) ran=$(scans)
    click 145 695
    dlg=$(waitWindow "Rescan Options" 30) || fail "no Rescan Options question"
    case ${row#scanned} in
    cancel) pressWidget "Rescan Options" "push button" "Cancel" ;;
    close) "$wmdelete" "$dlg" ;;
    emptyoverwrite) pressWidget "Rescan Options" "radio button" "Overwrite all pages"; pressWidget "Rescan Options" "push button" OK ;;
    emptyinsert) pressWidget "Rescan Options" "radio button" "Insert new pages at cursor position"
                 pressWidget "Rescan Options" "push button" OK ;;
    esac
    waitFor 10 gone "Rescan Options" || fail "the question stays"
    case $row in empty*) told; ran=$(scans) ;; esac  # the scan was tried, and brought nothing
    # shellcheck disable=SC2086
    expect $was
    [ " $(state) " = " $was " ] || fail "the window shows '$(state)', not '$was'"
    [ "$(scans)" = "$ran" ] || fail "a scan ran"
    [ "$(stores)" = "$regs" ] || fail "something was registered"
    echo "$row: as it was: $was"
    if [ "${row#scanned}" = "$row" ]; then
        # nothing to lose: Restart asks nothing
        click 30 727
        expect goNew=Start bookOpen=1 views=0
        noBox || fail "Restart asked a question"
    else
        storeOnce 10
    fi
}

for row in $(table "$shard"); do
    began=$(date +%s)
    if [ "${shard#rescan}" != "$shard" ]; then
        rescan
        echo "$row: went on ($(($(date +%s) - began)) s)"
        continue
    fi
    restore
    # The document is on show, as after Start.
    lookUp 1010
    shown
    arrange "$row"
    book=1010
    [ "$row" = notfound ] && book=9999
    lookUp "$book"
    case $row in
    silent)
        waitFor 20 grep -q 'SY331RI" holds its answer' "$home/out.log" || fail "the host was not silent"
        shown
        noBox || fail "a box after an answer that came late" ;;
    notfound | indexfails | masterfails | lost | refused)
        told
        # The index as typed, open to be typed again and started; nothing to scan, store or show.
        expect goNew=Start book=$book bookOpen=1 page=1 pages= views=0 Store=0 Scan=0 Next\>=0 Refresh=0 \
               Print=0 Redact=0 Rotate=0 mStore=0 mUndo=0 mScan=0
        echo "$row: $(state)"
        # Going on: the host answers again; Start on the index.
        restore
        field 178 127 1010
        click 30 727
        shown ;;
    *)
        told
        # The document the host has, without its image: labelled, to be scanned anew.
        expect goNew=Restart book=1010 bookOpen=0 pages=2 views=0 Store=0 Scan=1 Next\>=1 Refresh=0 Print=0 Redact=0 \
               Rotate=0 mStore=0 mUndo=0 mScan=1
        echo "$row: $(state)"
        # Going on: the document is scanned (the share still lacks its image) and stored once.
        click 145 695
        scanned 10
        noBox || fail "a box after the scan"
        storeOnce 10
        echo "$row: the scan of the document stored once" ;;
    esac
    echo "$row: went on ($(($(date +%s) - began)) s)"
done
row=end
kill -TERM "$pid"
ends end "$pid" "$home" || fail "did not end cleanly"
pid=
exit 0
