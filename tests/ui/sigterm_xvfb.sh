#!/usr/bin/env bash
# The real program under Xvfb, left by each way out: File > Exit (with the help window open), the
# close box, SIGTERM while a modal window is up or with unstored pages. It must end within 10 s
# through its ordinary close road, with its preferences (and, with a scanner, its "scanner.cfg")
# written, and the next start must sign on again; no scanned page is lost. Start-up without a
# display, with a garbage settings file, an unwritable HOME or a full temp folder says so.
# Usage: sigterm_xvfb.sh <quorla> <sane config dir with the test backend> <hostsim-seed> <wmdelete>
set -u
bin=$1
sane=$2
seed=$3
wmdelete=$4
fail=0
. "$(dirname "$0")/xvfb_lib.sh"

# endsOnSigterm <name> <pid> <home>: SIGTERM; the program must end within 10 s with status 0
# and its preferences written.
endsOnSigterm() {
    kill -TERM "$2"
    ends "$@"
}

# run <name> <sane dir> <expect scanner.cfg 0|1>
run() {
    local name=$1 saneDir=$2 wantCfg=$3
    local home
    home=$(mktemp -d)
    (
        cd "$home" || exit 1
        export HOME=$home XDG_CONFIG_HOME=$home/cfg TMPDIR=$home/no/such/tmp \
               XDG_RUNTIME_DIR=$home/run SANE_CONFIG_DIR=$saneDir QT_QPA_PLATFORM=xcb
        mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
        "$bin" >"$home/out.log" 2>&1 &
        pid=$!
        sleep 4
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "$name: the program was gone before the signal"; exit 1
        fi
        endsOnSigterm "$name" "$pid" "$home" || exit 1
        if [ "$wantCfg" = 1 ] && [ ! -s "$home/cfg/quorla/scanner.cfg" ]; then
            echo "$name: scanner.cfg not written"; exit 1
        fi
        exit 0
    ) || fail=1
    rm -rf "$home"
}


# demoOffice <home>: the demo office on the emulator and share, with the host sign-on settings.
demoOffice() {
    local home=$1
    export HOME=$home XDG_CONFIG_HOME=$home/cfg XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/run \
           TMPDIR=$home/tmp SANE_CONFIG_DIR=$sane QT_QPA_PLATFORM=xcb \
           QUORLA_HOST_EMULATOR=$home/host.sqlite QUORLA_SHARE_ROOT=$home/shares
    mkdir -p "$XDG_RUNTIME_DIR" "$home/cfg/quorla" "$home/shares" && chmod 700 "$XDG_RUNTIME_DIR"
    "$seed" --demo "$QUORLA_HOST_EMULATOR" "$QUORLA_SHARE_ROOT" >/dev/null 2>&1 || { echo "seeding failed"; return 1; }
    printf '[frmConfig]\nDSN=RECHOST\nUID=SCANSVC\nPWD=scan2026\n' >"$home/cfg/quorla/Korvane Scanning Utility.ini"
}

# signOn <name>: the sign-on window is up; the demo clerk signs on. Prints the main window's id.
signOn() {
    local login main
    login=$(waitWindow "iSeries Login" 30) || { echo "$1: no sign-on dialog" >&2; return 1; }
    xdotool windowfocus "$login"; sleep 0.3
    xdotool type --delay 20 DEMO; xdotool key Tab; xdotool type --delay 20 demo; xdotool key Return
    sleep 2
    main=$(waitWindow "Korvane Scanning Utilty" 10) || { echo "$1: no main window" >&2; return 1; }
    xdotool windowfocus "$main"
    echo "$main"
}

# launch <name> <home>: starts the program and signs on; sets pid and main.
launch() {
    "$bin" >"$2/out.log" 2>&1 &
    pid=$!
    main=$(signOn "$1") || { kill -KILL "$pid"; cat "$2/out.log"; return 1; }
}

# pressStore <main>: presses Store until the store asks about the page count; prints the box's id.
pressStore() {
    for _ in $(seq 1 30); do
        xdotool mousemove --window "$1" 50 695 click 1
        waitWindow "Note:" 1 && return 0
    done
    return 1
}

# File > Exit with the help window open ends the program; the next start signs on again (the
# instance lock was released) and its close box ends it too.
exitCase() {
    local home name
    home=$(mktemp -d)
    (
        cd "$home" || exit 1
        demoOffice "$home" || exit 1
        name="File > Exit, help open"
        launch "$name" "$home" || exit 1
        xdotool key F6
        waitWindow "Korvane - Scan Tool Online Help" 5 >/dev/null || { echo "$name: no help window"; kill -KILL "$pid"; exit 1; }
        xdotool windowfocus "$main"; sleep 0.3
        xdotool key alt+f; sleep 0.3; xdotool key e
        ends "$name" "$pid" "$home" || exit 1
        name="close box"
        launch "$name" "$home" || exit 1
        "$wmdelete" "$main"
        ends "$name" "$pid" "$home" || exit 1
        exit 0
    ) || fail=1
    rm -rf "$home"
}

# scanTen <main>: book 1011 page 1, Start, then Scan: the feeder holds ten pages.
scanTen() {
    xdotool mousemove --window "$1" 178 126 click 1; sleep 0.3
    xdotool type --delay 20 1011; xdotool key Tab; xdotool type --delay 20 1; xdotool key alt+a
    sleep 3
    xdotool key alt+s
}

# registered: the store registrations on the emulator, "<image id> <pages>" a line.
registered() {
    sqlite3 "$QUORLA_HOST_EMULATOR" "SELECT imid || ' ' || pages FROM registrations WHERE func = 'S'"
}

# tiffPages <file>: the pages libtiff finds in it.
tiffPages() { tiffinfo "$1" 2>/dev/null | grep -c "TIFF Directory"; }

# SIGTERM with ten scanned, unstored pages: nothing is asked, the pages are kept in the per-user
# data folder and the program ends within 10 s with nothing registered. The next start brings
# them back after sign-on, and Store registers them.
recoveryCase() {
    local name="SIGTERM with unstored pages" home
    home=$(mktemp -d)
    (
        cd "$home" || exit 1
        demoOffice "$home" || exit 1
        launch "$name" "$home" || exit 1
        scanTen "$main"
        sleep 4
        endsOnSigterm "$name" "$pid" "$home" || exit 1
        [ -z "$(registered)" ] || { echo "$name: registered '$(registered)'"; exit 1; }
        kept=$(find "$XDG_DATA_HOME" -name document.tif)
        [ "$(tiffPages "$kept")" -eq 10 ] || { echo "$name: kept '$kept' with $(tiffPages "$kept") pages"; exit 1; }
        echo "$name: 10 pages kept in ${kept#"$home"/}"

        name="next start"
        launch "$name" "$home" || exit 1
        box=$(waitWindow "The Korvane Scan Tool" 10) || { echo "$name: no word of the kept pages"; kill -KILL "$pid"; exit 1; }
        xdotool windowfocus "$box"; xdotool key Return; sleep 0.5
        [ -z "$(find "$XDG_DATA_HOME" -name 'document.*')" ] || { echo "$name: the kept document is still there"; kill -KILL "$pid"; exit 1; }
        xdotool windowfocus "$main"
        box=$(pressStore "$main") || { echo "$name: Store did not start"; kill -KILL "$pid"; exit 1; }
        xdotool windowfocus "$box"; xdotool key Return
        for _ in $(seq 1 100); do [ -n "$(registered)" ] && break; sleep 0.1; done
        reg=$(registered)
        [ "${reg#* }" = 0010 ] || { echo "$name: registrations '$reg', not the ten pages"; kill -KILL "$pid"; exit 1; }
        stored=$(find "$QUORLA_SHARE_ROOT" -type f -name "${reg% *}")
        [ "$(tiffPages "$stored")" -eq 10 ] || { echo "$name: stored '$stored' has $(tiffPages "$stored") pages"; kill -KILL "$pid"; exit 1; }
        echo "$name: the kept pages are back; Store registered ${reg}, 10 pages on the share"
        endsOnSigterm "$name" "$pid" "$home" || exit 1
        exit 0
    ) || fail=1
    rm -rf "$home"
}

# startupCase: no display, a settings file of random bytes, an unwritable HOME, a full temp
# folder. Each is said in one message; the program goes on or ends with a non-zero status.
startupCase() {
    local home
    home=$(mktemp -d)
    (
        cd "$home" || exit 1
        export HOME=$home XDG_CONFIG_HOME=$home/cfg XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/run \
               TMPDIR=$home/tmp SANE_CONFIG_DIR=$sane/none QT_QPA_PLATFORM=xcb
        mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/quorla" && chmod 700 "$XDG_RUNTIME_DIR"

        env -u DISPLAY "$bin" >"$home/out.log" 2>&1; rc=$?
        [ "$rc" -ne 0 ] && grep -q "DISPLAY" "$home/out.log" \
            || { echo "no display: status $rc, said '$(cat "$home/out.log")'"; exit 1; }
        echo "no display: status $rc, $(head -c 60 "$home/out.log")..."

        ini="$XDG_CONFIG_HOME/quorla/Korvane Scanning Utility.ini"
        head -c 2048 /dev/urandom >"$ini"; cp "$ini" "$home/garbage"
        "$bin" >"$home/out.log" 2>&1 &
        pid=$!
        box=$(waitWindow "The Korvane Scan Tool" 20) || { echo "garbage settings: no message"; kill -KILL "$pid"; exit 1; }
        cmp -s "$ini.bad" "$home/garbage" || { echo "garbage settings: not set aside as .bad"; kill -KILL "$pid"; exit 1; }
        xdotool windowfocus "$box"; xdotool key Return
        endsOnSigterm "garbage settings" "$pid" "$home" || exit 1
        grep -q '%' "$ini" && { echo "garbage settings: written back"; exit 1; }
        echo "garbage settings: set aside as $(basename "$ini").bad, a new file written"

        # A HOME that cannot be made: the program goes on to sign-on, and a signal still ends it.
        HOME=/proc/quorla-no-home XDG_CONFIG_HOME='' XDG_DATA_HOME='' SANE_CONFIG_DIR=$sane "$bin" >"$home/out.log" 2>&1 &
        pid=$!
        waitWindow "iSeries Login" 20 >/dev/null || { echo "unwritable HOME: no sign-on window"; kill -KILL "$pid"; cat "$home/out.log"; exit 1; }
        kill -TERM "$pid"
        ends "unwritable HOME" "$pid" "" || exit 1

        # A temp folder on a full file system (root only: a private mount).
        full=$home/full
        mkdir -p "$full"
        if unshare -m true 2>/dev/null; then
            TMPDIR=$full unshare -m sh -c '
                mount -t tmpfs -o size=16k tmpfs "$TMPDIR" && mkdir -m 700 "$TMPDIR/quorla-$(id -u)"
                head -c 65536 /dev/zero >"$TMPDIR/fill" 2>/dev/null
                exec "$0" >"$1/out.log" 2>&1' "$bin" "$home" &
            pid=$!
            box=$(waitWindow "The Korvane Scan Tool" 20) || { echo "full temp folder: no message"; kill -KILL "$pid"; exit 1; }
            xdotool windowfocus "$box"; xdotool key Return
            wait "$pid"; rc=$?
            [ "$rc" -ne 0 ] || { echo "full temp folder: status 0"; exit 1; }
            echo "full temp folder: said so, status $rc"
        fi
        exit 0
    ) || fail=1
    rm -rf "$home"
}

# A store under way: the demo office, signed on, ten pages scanned from the test backend's
# feeder for book 1011 page 1 (two pages recorded), Store pressed. With "question" the signal
# comes while the store asks about the page-count mismatch (the store goes on with the box's
# default answer); with "answered" the operator answers Yes and the signal follows at once, while
# the store copies and registers. Either way the program ends with the ten pages registered and
# on the share.
storeCase() {
    local when=$1 name="during a store ($1)" home
    home=$(mktemp -d)
    (
        cd "$home" || exit 1
        demoOffice "$home" || exit 1
        launch "$name" "$home" || exit 1
        scanTen "$main"
        # Store is enabled once the pages are in.
        box=$(pressStore "$main") || { echo "$name: the store did not start"; kill -KILL "$pid"; exit 1; }
        [ "$when" = answered ] && { xdotool windowfocus "$box"; xdotool key Return; }
        endsOnSigterm "$name" "$pid" "$home" || exit 1
        reg=$(registered)
        [ "$(echo "$reg" | wc -w)" -eq 2 ] && [ "${reg#* }" = 0010 ] \
            || { echo "$name: registrations '$reg', not the ten pages"; exit 1; }
        stored=$(find "$QUORLA_SHARE_ROOT" -type f -name "${reg% *}")
        pages=$(tiffPages "$stored")
        [ "$pages" -eq 10 ] || { echo "$name: stored image '$stored' has $pages pages"; exit 1; }
        echo "$name: registered ${reg}, $pages pages on the share"
        exit 0
    ) || fail=1
    rm -rf "$home"
}

# No scanner: the "No Scanner Found" box is up.
run "message box" "$sane/none" 0
# The test backend's scanner: the sign-on dialog of empty settings is up.
run "sign-on dialog" "$sane" 1
exitCase
recoveryCase
startupCase
storeCase question
storeCase answered
exit $fail
