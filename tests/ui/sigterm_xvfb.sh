#!/usr/bin/env bash
# Every way out of the real program under Xvfb, one table row each: the state the program is in
# (a modal window up, scanned pages not stored, the Exit question open, a store under way) and
# how it is ended (signals of the class that asks a process to end, the X server going away,
# File > Exit, the close box). It must end within 10 s with status 0 and its preferences written,
# and no scanned page is lost: unstored pages are kept in a private folder (0700, files 0600, all
# ten pages read by tiffinfo), and the next start brings back every kept document in turn and
# each stores once (sqlite3, tiffinfo); a kept document whose lookup fails is named with its
# folder and file, and kept. Start-up without a display, with one that cannot be reached, with a
# garbage settings file, an unwritable HOME or a full temp folder says so.
# Usage: sigterm_xvfb.sh <quorla> <sane config dir with the test backend> <hostsim-seed> <wmdelete>
set -u
bin=$1
sane=$2
seed=$3
wmdelete=$4
fail=0
. "$(dirname "$0")/xvfb_lib.sh"

#  row                               state      way out   sane dir
rows=(
  "sign-on dialog up                 signon     TERM      test"
  "No Scanner Found box up           signon     TERM      none"
  "unstored pages                    pages      TERM      test"
  "unstored pages                    pages      HUP       test"
  "Exit question open                question   TERM      test"
  "unstored pages                    pages      XKILL     test"
  "unstored pages, kept one unfound  pages      INT       test"
  "store question open               store      TERM      test"
  "help window open                  help       EXIT      test"
  "no document                       plain      CLOSE     test"
)
# Documents without an image in the demo office, one per row that scans.
documents=("1011 1" "1011 10" "1011 28" "1012 1" "1012 19" "1012 28" "1013 10")

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/cfg XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/run TMPDIR=$home/tmp \
       QT_QPA_PLATFORM=xcb QUORLA_HOST_EMULATOR=$home/host.sqlite QUORLA_SHARE_ROOT=$home/shares
mkdir -p "$XDG_RUNTIME_DIR" "$home/cfg/quorla" "$home/shares" "$TMPDIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$seed" --demo "$QUORLA_HOST_EMULATOR" "$QUORLA_SHARE_ROOT" >/dev/null 2>&1 || { echo "seeding failed"; exit 1; }
printf '[frmConfig]\nDSN=RECHOST\nUID=SCANSVC\nPWD=scan2026\n' >"$home/cfg/quorla/Korvane Scanning Utility.ini"
kept=$XDG_DATA_HOME/"Korvane Scanning Utility"/recovery
sql() { sqlite3 "$QUORLA_HOST_EMULATOR" "$1"; }
stores() { sql "SELECT COUNT(*) FROM registrations WHERE func = 'S'"; }
lookups() { sql "SELECT COUNT(*) FROM call_log WHERE program = 'IM650R'"; }
keptCount() { ls "$kept"/*.ini 2>/dev/null | wc -l; }
tiffPages() { tiffinfo "$1" 2>/dev/null | grep -c "TIFF Directory"; }
die() { echo "$row: $*"; [ -n "${SHOTS:-}" ] && import -window root "$SHOTS/$(date +%s).png"; kill -KILL "$pid" 2>/dev/null; cat "$home/out.log"; exit 1; }

# Starts the program in the background as a job of its own, so that it keeps SIGINT and SIGQUIT
# (a shell without job control has its background commands ignore them).
launch() {
    set -m
    "$bin" >"$home/out.log" 2>&1 &
    pid=$!
    set +m
}

# A message box of the program (its own title, or the application's), within $1 seconds.
messageBox() { waitWindow "(The Korvane Scan Tool|Korvane Scanning Utility)" "$1"; }

signOn() { main=$(demoSignOn 30) || die "no sign-on or no main window"; }

# Store pressed, Yes to the page-count question; one more registration, of ten pages, follows.
storeIt() {
    local before box imid
    before=$(stores)
    for _ in $(seq 1 40); do
        xdotool windowfocus "$main"; xdotool mousemove --window "$main" 50 695 click 1
        box=$(waitWindow "Note:" 1) && break
    done
    [ -n "$box" ] || die "Store did not start"
    xdotool windowfocus "$box"; xdotool key Return
    for _ in $(seq 1 100); do [ "$(stores)" -gt "$before" ] && break; sleep 0.1; done
    [ "$(stores)" -eq $((before + 1)) ] || die "$(($(stores) - before)) registrations, not one"
    imid=$(sql "SELECT imid || ' ' || pages FROM registrations WHERE func = 'S' ORDER BY seq DESC LIMIT 1")
    [ "${imid#* }" = 0010 ] || die "registered '$imid'"
    [ "$(tiffPages "$(find "$QUORLA_SHARE_ROOT" -type f -name "${imid% *}")")" -eq 10 ] || die "${imid% *} is not ten pages"
}

# After sign-on, with $1 documents kept at the start: every kept document comes back in turn
# and stores once; one whose lookup fails stays kept, and is named with its folder and file. The
# program's log says which kept document each message box is about (the host's own word on a
# failed lookup has none).
bringBackKept() {
    local left=$1 seen=0 box line back=0 named=0
    while [ "$left" -gt 0 ]; do
        box=$(messageBox 15) || die "no word of $left kept documents"
        line=$(grep -E '^quorla.recovery: (not )?brought back' "$home/out.log" | sed -n "$((seen + 1))p")
        xdotool windowfocus "$box"; xdotool key Return
        sleep 0.3
        case $line in
        "") ;;
        *"not brought back"*)
            case $line in *": $kept/kept-"*".tif") ;; *) die "named no kept file: $line" ;; esac
            [ -f "${line##*: }" ] || die "${line##*: } is gone"
            seen=$((seen + 1)); left=$((left - 1)); named=$((named + 1)) ;;
        *)
            seen=$((seen + 1)); left=$((left - 1)); back=$((back + 1)); storeIt ;;
        esac
    done
    [ "$back$named" = 00 ] || echo "$row: $back kept documents back and stored once, $named named and kept"
    # A store moved on to the next document: Restart gives the empty fields again.
    [ "$back" -eq 0 ] || { xdotool windowfocus "$main"; xdotool key alt+a; sleep 0.5; }
}

scanDocument() {
    local doc=${documents[$1]}
    xdotool windowfocus "$main"; xdotool mousemove --window "$main" 178 126 click 1; sleep 0.2
    xdotool key ctrl+a; xdotool type --delay 10 "${doc% *}"; xdotool key Tab ctrl+a; xdotool type --delay 10 "${doc#* }"
    local looked
    looked=$(lookups)
    xdotool key alt+a
    for _ in $(seq 1 50); do [ "$(lookups)" -gt "$looked" ] && break; sleep 0.1; done
    sleep 0.3
    xdotool key alt+s; sleep 1
    waitIdle
}

# Waits until the program has used no processor time for half a second: the scan and its filter
# pass are over, however fast the build runs.
waitIdle() {
    local last now same=0
    last=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    for _ in $(seq 1 120); do
        sleep 0.25
        now=$(awk '{print $14 + $15}' "/proc/$pid/stat")
        if [ "$now" = "$last" ]; then same=$((same + 1)); else same=0; fi
        [ "$same" -ge 2 ] && return 0
        last=$now
    done
}

# The ten unstored pages of the row are kept, privately, and nothing was registered.
expectKept() {
    local file
    [ "$(keptCount)" -eq $(($1 + 1)) ] || die "$(keptCount) kept documents, not $(($1 + 1))"
    [ "$(stat -c %a "$kept")" = 700 ] || die "kept folder mode $(stat -c %a "$kept")"
    for file in "$kept"/*; do
        [ "$(stat -c %a "$file")" = 600 ] || die "$(basename "$file") mode $(stat -c %a "$file")"
    done
    file=$(ls -t "$kept"/*.tif | head -1)
    [ "$(tiffPages "$file")" -eq 10 ] || die "kept $(basename "$file") has $(tiffPages "$file") pages"
    echo "$row: 10 pages kept in $(basename "$file"), modes 700/600"
}

session() {
    local name=$1 state=$2 way=$3 saneDir=$4 doc=$5 before registered box
    row="$name, $way"
    export SANE_CONFIG_DIR=$sane
    [ "$saneDir" = none ] && SANE_CONFIG_DIR=$sane/none
    if [ "$way" = XKILL ]; then
        # A display of its own, to take away.
        Xvfb -displayfd 5 -noreset 5>"$home/display" 2>/dev/null &
        xpid=$!
        for _ in $(seq 1 50); do [ -s "$home/display" ] && break; sleep 0.1; done
        export DISPLAY=:$(cat "$home/display")
    fi
    before=$(keptCount)
    launch
    if [ "$state" = signon ]; then
        if [ "$saneDir" = none ]; then messageBox 20 >/dev/null || die "no \"No Scanner Found\" box"
        else waitWindow "iSeries Login" 20 >/dev/null || die "no sign-on dialog"; fi
    else
        signOn
        bringBackKept "$before"
        before=$(keptCount)
    fi
    registered=$(stores)
    case $state in
    pages) scanDocument "$doc" ;;
    question)
        scanDocument "$doc"
        xdotool windowfocus "$main"; xdotool key alt+f; sleep 0.3; xdotool key e
        waitWindow "Note:" 5 >/dev/null || die "no Exit question" ;;
    store)
        scanDocument "$doc"
        xdotool mousemove --window "$main" 50 695 click 1
        waitWindow "Note:" 10 >/dev/null || die "the store did not start" ;;
    help)
        xdotool windowfocus "$main"; sleep 0.3; xdotool key F6
        waitWindow "Korvane - Scan Tool Online Help" 5 >/dev/null || die "no help window"
        xdotool windowfocus "$main"; sleep 0.2 ;;
    esac
    case $way in
    XKILL) kill "$xpid"; wait "$xpid" ;;
    EXIT) xdotool key alt+f; sleep 0.3; xdotool key e ;;
    CLOSE) "$wmdelete" "$main" ;;
    *) kill -"$way" "$pid" ;;
    esac
    ends "$row" "$pid" "$home" || die "did not end cleanly"
    [ "$state" = signon ] && [ "$saneDir" != none ] && { [ -s "$home/cfg/quorla/scanner.cfg" ] || die "scanner.cfg not written"; }
    case $state in
    pages | question | store)
        # The store's page-count question is answered No by the quit: the pages are kept.
        [ "$(stores)" -eq "$registered" ] || die "registered at the way out"
        expectKept "$before" ;;
    *) [ "$(keptCount)" -eq "$before" ] || die "kept something" ;;
    esac
}

doc=0
for r in "${rows[@]}"; do
    name=$(echo "$r" | cut -c1-34 | sed 's/ *$//')
    read -r state way saneDir <<<"$(echo "$r" | cut -c35-)"
    # The last row's kept document cannot be looked up at the next start: the host fails once.
    case $name in *unfound*)
        sql "INSERT INTO faults(kind, program, number, text, answer, remaining)
             VALUES(1, 'SY331RI', -2147467259, 'CWBCO1048 - A firewall blockage or time-out occurred', '{}', 1)" ;;
    esac
    (session "$name" "$state" "$way" "$saneDir" "$doc") || fail=1
    case $state in pages | question | store) doc=$((doc + 1)) ;; esac
done
[ "$(keptCount)" -eq 0 ] || { echo "$(keptCount) kept documents never came back"; fail=1; }
dup=$(sql "SELECT imid FROM registrations WHERE func = 'S' GROUP BY imid HAVING COUNT(*) > 1")
[ -z "$dup" ] || { echo "registered twice: $dup"; fail=1; }

# Start-up: no display, one that cannot be reached, a settings file of random bytes, an
# unwritable HOME, a full temp folder. Each is said in one message; the program goes on or ends
# with a non-zero status.
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
    head -c 2048 /dev/urandom >"$ini"; cp "$ini" "$home/garbage"
    "$bin" >"$home/out.log" 2>&1 &
    pid=$!
    row="garbage settings"
    box=$(waitWindow "The Korvane Scan Tool" 20) || die "no message"
    cmp -s "$ini.bad" "$home/garbage" || die "not set aside as .bad"
    xdotool windowfocus "$box"; xdotool key Return
    kill -TERM "$pid"
    ends "$row" "$pid" "$home" || return 1
    grep -q '%' "$ini" && { echo "garbage settings: written back"; return 1; }
    echo "garbage settings: set aside as $(basename "$ini").bad, a new file written"

    # A HOME that cannot be made: the program goes on to sign-on, and a signal still ends it.
    row="unwritable HOME"
    HOME=/proc/quorla-no-home XDG_CONFIG_HOME='' XDG_DATA_HOME='' SANE_CONFIG_DIR=$sane "$bin" >"$home/out.log" 2>&1 &
    pid=$!
    waitWindow "iSeries Login" 20 >/dev/null || die "no sign-on window"
    kill -TERM "$pid"
    ends "$row" "$pid" "" || return 1

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
        box=$(waitWindow "The Korvane Scan Tool" 20) || die "no message"
        xdotool windowfocus "$box"; xdotool key Return
        wait "$pid"; rc=$?
        [ "$rc" -ne 0 ] || { echo "full temp folder: status 0"; return 1; }
        echo "full temp folder: said so, status $rc"
    fi
}
(startup) || fail=1
exit $fail
