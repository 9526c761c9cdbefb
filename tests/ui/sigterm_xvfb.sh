#!/usr/bin/env bash
# The real program under Xvfb, ended by SIGTERM while a modal window is up: it must end within
# 10 s through its ordinary close road, with its preferences (and, with a scanner, its
# "scanner.cfg") written. Usage: sigterm_xvfb.sh <quorla> <sane config dir with the test backend>
set -u
bin=$1
sane=$2
fail=0

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
        kill -TERM "$pid"
        start=$(date +%s.%N)
        for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        if kill -0 "$pid" 2>/dev/null; then
            kill -KILL "$pid"; echo "$name: still running 10 s after SIGTERM"; exit 1
        fi
        wait "$pid"; rc=$?
        took=$(echo "$(date +%s.%N) - $start" | bc)
        ini="$home/cfg/quorla/Korvane Scanning Utility.ini"
        echo "$name: ended with $rc after ${took}s"
        [ "$rc" -eq 0 ] || { echo "$name: exit status $rc"; cat "$home/out.log"; exit 1; }
        grep -q '^\[Preferences\]' "$ini" 2>/dev/null || { echo "$name: preferences not written"; exit 1; }
        if [ "$wantCfg" = 1 ] && [ ! -s "$home/cfg/quorla/scanner.cfg" ]; then
            echo "$name: scanner.cfg not written"; exit 1
        fi
        exit 0
    ) || fail=1
    rm -rf "$home"
}

# No scanner: the "No Scanner Found" box is up.
run "message box" "$sane/none" 0
# The test backend's scanner: the sign-on dialog of empty settings is up.
run "sign-on dialog" "$sane" 1
exit $fail
