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

# gone <title>: no window of that exact title shows.
gone() { ! xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }

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

# demoOffice <home> <hostsim-seed>: the program's folders below home (its HOME, XDG folders and
# TMPDIR, exported), the demo office seeded into the emulator and its shares, and the stored
# connection to it.
demoOffice() {
    export HOME=$1 XDG_CONFIG_HOME=$1/cfg XDG_DATA_HOME=$1/data XDG_RUNTIME_DIR=$1/run TMPDIR=$1/tmp \
           QT_QPA_PLATFORM=xcb QUORLA_HOST_EMULATOR=$1/host.sqlite QUORLA_SHARE_ROOT=$1/shares
    mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/quorla" "$QUORLA_SHARE_ROOT" "$TMPDIR" && chmod 700 "$XDG_RUNTIME_DIR"
    "$2" --demo "$QUORLA_HOST_EMULATOR" "$QUORLA_SHARE_ROOT" >/dev/null 2>&1 || { echo "seeding failed"; return 1; }
    printf '[frmConfig]\nDSN=RECHOST\nUID=SCANSVC\nPWD=scan2026\n' >"$XDG_CONFIG_HOME/quorla/Korvane Scanning Utility.ini"
}

# cupsServer <folder> <ServerBin> [cupsd.conf line]: a print server of the run's own in that
# folder (out/ for its queues' files), listening on $CUPS_SERVER; cupsd is its process.
cupsServer() {
    local c=$1
    mkdir -p "$c/spool" "$c/cache" "$c/state" "$c/tmp" "$c/out"
    chmod a+x "$HOME"; chmod -R a+rwX "$c/spool" "$c/cache" "$c/state" "$c/tmp" "$c/out" # its filters run as lp
    printf '%s\n' "ServerRoot $c" "RequestRoot $c/spool" "CacheDir $c/cache" "StateDir $c/state" "TempDir $c/tmp" \
        "ErrorLog $c/error_log" "AccessLog $c/access_log" "PageLog $c/page_log" "ServerBin $2" \
        "DataDir /usr/share/cups" "FileDevice Yes" >"$c/cups-files.conf"
    [ "$(id -u)" -eq 0 ] && printf 'User lp\nGroup lp\nSystemGroup root\n' >>"$c/cups-files.conf"
    printf '%s\n' "Listen $CUPS_SERVER" "Browsing No" "DefaultAuthType None" "WebInterface No" ${3:+"$3"} \
        "<Location />" "  Order allow,deny" "  Allow all" "</Location>" \
        "<Policy default>" "  <Limit All>" "    Order deny,allow" "  </Limit>" "</Policy>" >"$c/cupsd.conf"
    /usr/sbin/cupsd -f -c "$c/cupsd.conf" -s "$c/cups-files.conf" >"$c/cupsd.log" 2>&1 &
    cupsd=$!
    # lpstat -r succeeds whether or not the scheduler answers: its words tell.
    waitFor 20 sh -c 'lpstat -r 2>/dev/null | grep -q "^scheduler is running"' \
        || { echo "cupsd did not start: $(cat "$c/cupsd.log")"; return 1; }
}

# waitIdle: until the program ($pid) has used no processor time for half a second (a scan is
# over, a document shown), 40 s at the most (stretched).
waitIdle() {
    local last now same=0
    last=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    for _ in $(seq 1 $(($(limit 40) * 4))); do
        sleep 0.25
        now=$(awk '{print $14 + $15}' "/proc/$pid/stat")
        if [ "$now" = "$last" ]; then same=$((same + 1)); else same=0; fi
        [ "$same" -ge 2 ] && return 0
        last=$now
    done
}

# snap [title]: the widgets of the program's window of that title (the main window by default)
# into $home/w.txt, read over the accessibility bus.
snap() {
    /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/widgets.py" "$pid" "${1:-Korvane Scanning Utilty}" \
        >"$home/w.txt" 2>"$home/w.err"
}

# pressWidget <window> <role> <name>: a click on the middle of that widget of the window, once it
# shows and is enabled.
pressWidget() {
    local w box
    w=$(waitWindow "$1" 30) || fail "no window '$1'"
    box=
    for _ in $(seq 1 50); do
        snap "$1" && box=$(awk -F'|' -v role="$2" -v name="$3" '$1 == role && $2 == name && $3 ~ /e/ && $3 ~ /v/ { print $4; exit }' "$home/w.txt")
        [ -n "$box" ] && break
        sleep 0.1
    done
    [ -n "$box" ] || fail "no $2 '$3' to press in '$1'"
    IFS=, read -r x y bw bh <<<"$box"
    xdotool windowfocus "$w"; xdotool mousemove $((x + bw / 2)) $((y + bh / 2)) click 1; sleep 0.3
}
