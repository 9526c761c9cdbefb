#!/usr/bin/env bash
# The real program under Xvfb against the demo office, ended by SIGTERM while a store waits: on
# each call of its own that a store of each kind makes (the emulator holds that call's answer
# after the host has acted), and with the store's page-count question open. One table row each,
# each with an office of its own; the rows of a shard run in turn. After the next start (and its
# Store, where the pages come back) the document is registered exactly once (sqlite3), the share
# holds one whole document at its place and nothing beside it (ls -A | cat -A, tiffinfo), and no
# kept document is left.
# Usage: storefaults_xvfb.sh <quorla> <sane config dir with the test backend> <hostsim-seed> <shard>
set -u
bin=$1
sane=$2
seed=$3
shard=$4
. "$(dirname "$0")/xvfb_lib.sh"

# The call waited on is the first of its program after the store starts, or a later one (skip):
# a paper or e-filed store first asks the host what it holds of the document, then registers.
#  row           kind      waits on   skip  the next start
rows=(
  "paper         paper     IM650R     1     stored"   # not brought back: the host has what was sent
  "restore       restore   IM650R     1     stored"   # the same over the image the host had
  "asked         paper     IM650R     0     back"     # nothing sent yet: kept, back, stored
  "question      paper     question   0     back"     # the question is answered No: kept, back, stored
  "bookscan      bookscan  RG632R     0     none"     # the host cannot be asked: counted as stored
  "bookagain     bookagain RG632R     0     none"     # the same over the host's earlier file
  "efile         efile     IM650R     1     back"     # registered; back for the hand-over only
  "handover      efile     IM652R     0     none"     # counted as handed over
)
case $shard in
paper) pick="paper restore question" ;;
book) pick="bookscan bookagain asked" ;;
efile) pick="efile handover" ;;
*) echo "no shard $shard"; exit 2 ;;
esac

top=$(mktemp -d)
trap 'kill -KILL "${pid:-0}" 2>/dev/null; rm -rf "$top"' EXIT
export SANE_CONFIG_DIR=$sane QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="quorla.hostsim.debug=true"

stores() { sql "SELECT COUNT(*) FROM registrations WHERE func = 'S'"; }
registered() { sql "SELECT group_concat(program, ' ') FROM (SELECT program FROM registrations WHERE func = 'S' ORDER BY seq)"; }
pages() { tiffinfo "$1" 2>/dev/null | grep -c "TIFF Directory"; }
keptCount() { ls "$XDG_DATA_HOME/Korvane Scanning Utility/recovery/"*.ini 2>/dev/null | wc -l; }
fail() { echo "$row: $1"; [ -n "${SHOTS:-}" ] && import -window root "$SHOTS/$row-$(date +%s).png"; kill -KILL "$pid" 2>/dev/null; cat "$home/out.log"; exit 1; }
more() { [ "$(stores)" -gt "$1" ]; }
logged() { grep -q "$1" "$home/out.log"; }

start() {
    "$bin" >>"$home/out.log" 2>&1 &
    pid=$!
    main=$(demoSignOn 30) || fail "no sign-on or no main window"
    sleep 1
}
click() { xdotool windowfocus "$main"; xdotool mousemove --window "$main" "$1" "$2" click 1; sleep 0.4; }
field() { click "$1" "$2"; xdotool key ctrl+a; xdotool type --delay 20 "$3"; }
# A box of the program within $1 seconds, answered with its default button.
answerBox() {
    local box
    box=$(waitWindow "(The Korvane Scan Tool|Korvane Scanning Utility|Note:?)" "$1") || return 1
    xdotool windowfocus "$box"; xdotool key Return; sleep 0.3
}
# Scan; over pages already there, "Overwrite all pages".
scan() {
    local rescan
    xdotool windowfocus "$main"; xdotool key alt+s; sleep 1
    if rescan=$(waitWindow "Rescan Options" 3); then
        xdotool mousemove --window "$rescan" 40 95 click 1; sleep 0.3
        xdotool mousemove --window "$rescan" 366 22 click 1; sleep 1
    fi
    waitIdle
}
# Store pressed until the store starts: its page-count question (answered $1), or the wait.
pressStore() {
    for _ in $(seq 1 30); do
        click 50 695
        if box=$(waitWindow "Note:" 2); then
            [ "$1" = none ] && return 0
            xdotool windowfocus "$box"; xdotool key "$1"; return 0
        fi
        logged "holds its answer" && return 0
    done
    return 1
}

# The kinds: each looks its document up and scans ten pages; `share` is the place of the
# document stored and `question` whether its store asks about the page count.
paper() { click 191 8; click 290 28; field 178 126 1011; field 178 150 1; xdotool key alt+a; sleep 3; scan; question=Return; }
restore() { click 191 8; click 290 28; field 178 126 1010; field 178 150 1; xdotool key alt+a; sleep 3; scan; question=Return; }
bookscan() {
    click 191 8; click 290 108
    field 178 150 900; field 178 174 1; field 178 198 10
    xdotool key alt+a; sleep 3; scan; question=none
}
bookagain() {
    bookscan
    local before
    before=$(stores)
    for _ in $(seq 1 30); do click 50 695; waitFor 2 more "$before" && break; done
    more "$before" || fail "the first book store registered nothing"
    answerBox 10 || fail "no word of the lookup after the first book store"
    cp "$host/BOOKS/B000900/B009000001.T" "$home/first.T"
    bookscan
}
efile() {
    printf "the host's burned image" >"$host/EFILE/BURNED/0000000001.TIF"
    click 87 73; xdotool key Down Return; sleep 1
    click 145 695; sleep 3
    [ "$(sql "SELECT status FROM efile_queue WHERE document_id = '0000000001'")" = H ] || fail "Get Batch took no document"
    click 261 727; sleep 4; waitIdle
    question=none
}

# The file of the image registered, where the host's image master says it lies.
image() {
    sql "SELECT '$host/IMAGES/' || folder || '/' || imid FROM image_master WHERE imid =
         (SELECT imid FROM registrations WHERE program = 'IM650R' AND func = 'S')"
}

# Where each kind's document lies once stored, and what must be there and nothing beside it.
expectShare() {
    case $kind in
    bookscan | bookagain)
        [ "$(ls -A "$host/BOOKS/B000900" | cat -A)" = 'B009000001.T$' ] || fail "book folder: $(ls -A "$host/BOOKS/B000900" | cat -A)"
        [ "$(pages "$host/BOOKS/B000900/B009000001.T")" -eq 10 ] || fail "the book file is not ten pages"
        [ "$kind" = bookscan ] || ! cmp -s "$host/BOOKS/B000900/B009000001.T" "$home/first.T" || fail "the first file is still there" ;;
    efile)
        [ "$(ls -A "$host/EFILE/BURNED" | cat -A)" = '0000000001.TIF$' ] || fail "burned images: $(ls -A "$host/EFILE/BURNED" | cat -A)"
        [ "$(pages "$host/EFILE/BURNED/0000000001.TIF")" -ge 2 ] || fail "the burned image is not the document"
        [ "$(sql "SELECT status FROM efile_queue WHERE document_id = '0000000001'")" = S ] || fail "not handed over"
        cmp -s "$host/EFILE/BURNED/0000000001.TIF" "$(image)" || fail "the burned image is not the one registered"
        [ -z "$(ls -A "$host/KvTemp/Scans")" ] || fail "left in the scan folder: $(ls -A "$host/KvTemp/Scans" | cat -A)" ;;
    *)
        [ "$(pages "$(image)")" -eq 10 ] || fail "image $(image) is not ten pages"
        [ -z "$(find "$host/IMAGES" -name '.*' -o -name '*.replaced')" ] || fail "beside the images: $(find "$host/IMAGES" -name '.*')"
        [ "$(ls -A "$host/KvTemp/Scans" | grep -c '\.T$')" -eq 0 ] || fail "an image left in the scan folder: $(ls -A "$host/KvTemp/Scans" | cat -A)" ;;
    esac
}

for r in "${rows[@]}"; do
    read -r row kind on skip next <<<"$r"
    case " $pick " in *" $row "*) ;; *) continue ;; esac
    home=$top/$row
    demoOffice "$home" "$seed" || { echo "$row: no office"; exit 1; }
    host=$QUORLA_SHARE_ROOT/RECHOST

    start
    "$kind"
    sql "DELETE FROM registrations WHERE func = 'S'"
    if [ "$on" = question ]; then
        pressStore none || fail "the store asked nothing"
    else
        sql "INSERT INTO faults(kind, program, number, text, answer, remaining, seconds, skip) VALUES(5, '$on', 0, '', '{}', 1, 60, $skip)"
        pressStore "$question" || fail "the store did not start"
        waitFor 30 logged "\"$on\" holds its answer" || fail "the store did not wait on $on"
    fi
    kill -TERM "$pid"
    ends "$row" "$pid" "$home" || fail "did not end cleanly"
    case $next in
    stored | back) [ "$(keptCount)" -eq 1 ] || fail "$(keptCount) kept documents, not one" ;;
    none) [ "$(keptCount)" -eq 0 ] || fail "kept a document counted as stored" ;;
    esac

    # The next start: the kept pages come back to be stored, or the host is found to have them.
    start
    case $next in
    stored)
        answerBox 20 || fail "no word of the kept pages"
        logged "not brought back, the records host holds what was stored" || fail "the kept pages were not settled" ;;
    back)
        answerBox 20 || fail "no word of the kept pages"
        logged "quorla.recovery: brought back" || fail "the kept pages did not come back"
        before=$(stores)
        pressStore Return || fail "Store again did not start"
        waitFor 30 more "$before" || fail "Store again registered nothing"
        sleep 2 ;;
    esac
    [ "$(keptCount)" -eq 0 ] || fail "$(keptCount) kept documents left"
    case $kind in
    efile) want="IM650R IM652R" ;;
    bookscan | bookagain) want=RG632R ;;
    *) want=IM650R ;;
    esac
    [ "$(registered)" = "$want" ] || fail "registered: '$(registered)', not '$want'"
    expectShare
    echo "$row: registered once ($(registered)); the share holds one whole document"
    kill -TERM "$pid"; ends "$row" "$pid" "$home" || fail "did not end cleanly at last"
done
exit 0
