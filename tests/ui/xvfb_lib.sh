# Helpers of the Xvfb road scripts (sourced).

# limit <seconds>: a time limit stretched by QUORLA_TIME_SCALE (the sanitizer build runs slower).
limit() { echo $(($1 * ${QUORLA_TIME_SCALE:-1})); }

# waitFor <seconds> <command...>: until the command succeeds (seconds stretched as by limit).
waitFor() {
    local n=$(($(limit "$1") * 10)); shift
    for _ in $(seq 1 "$n"); do "$@" && return 0; sleep 0.1; done
    return 1
}

# sql <statement>: the answer of the emulator's store.
sql() { sqlite3 "$QUORLA_HOST_EMULATOR" "$1"; }

# waitWindow <title> <seconds>: the id of the first visible window of that exact title.
waitWindow() {
    local id
    for _ in $(seq 1 $(($(limit "$2") * 10))); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# ends <name> <pid> <home>: the program ends within 10 s (stretched) with status 0 and its
# preferences written (when a home is given).
ends() {
    local name=$1 pid=$2 home=$3 start rc took
    start=$(date +%s.%N)
    for _ in $(seq 1 $(($(limit 10) * 10))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid"; echo "$name: still running after $(limit 10) s"; return 1
    fi
    wait "$pid"; rc=$?
    took=$(echo "$(date +%s.%N) - $start" | bc)
    echo "$name: ended with $rc after ${took}s"
    [ "$rc" -eq 0 ] || { echo "$name: exit status $rc"; cat "$home/out.log"; return 1; }
    [ -z "$home" ] || grep -q '^\[Preferences\]' "$home/cfg/quorla/Korvane Scanning Utility.ini" 2>/dev/null \
        || { echo "$name: preferences not written"; return 1; }
}

# demoSignOn <seconds>: signs on as the demo operator at the iSeries Login that appears within
# that time; prints the main window's id.
demoSignOn() {
    local login
    login=$(waitWindow "iSeries Login" "$1") || return 1
    xdotool windowfocus "$login"; sleep 0.3
    xdotool type --delay 20 DEMO; xdotool key Tab; xdotool type --delay 20 demo; xdotool key Return
    waitWindow "Korvane Scanning Utilty" 60
}
