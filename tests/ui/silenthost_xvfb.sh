#!/usr/bin/env bash
# The real program signing on through the PostgreSQL ODBC driver to a host that takes the
# connection and never answers. SIGTERM while the sign-on is blocked in the driver: the program
# ends within 10 s with status 0 (no window is left waiting on the operator, the sign-off's failed
# call does not stop the close road), and the next start is not locked out.
# Skips (77) where the driver is not installed.
# Usage: silenthost_xvfb.sh <quorla> <sane config dir with the test backend> <silenthost>
set -u
bin=$1
sane=$2
silenthost=$3
. "$(dirname "$0")/xvfb_lib.sh"

driver=$(ls /usr/lib/*/odbc/psqlodbcw.so 2>/dev/null | head -1)
[ -n "$driver" ] || { echo "the PostgreSQL ODBC driver (odbc-postgresql) is not installed"; exit 77; }

# endsWritten <name> <pid> <home>: ends (status 0, preferences written) with scanner.cfg
# written too: the failed sign-off did not cut the close road short.
endsWritten() {
    ends "$@" || { cat "$3/out.log"; return 1; }
    [ -s "$3/cfg/quorla/scanner.cfg" ] || { echo "$1: scanner.cfg not written"; return 1; }
}

home=$(mktemp -d)
(
    cd "$home" || exit 1
    export HOME=$home XDG_CONFIG_HOME=$home/cfg XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/run \
           TMPDIR=$home/tmp SANE_CONFIG_DIR=$sane QT_QPA_PLATFORM=xcb \
           ODBCSYSINI=$home ODBCINI=$home/odbc.ini
    unset QUORLA_HOST_EMULATOR
    mkdir -p "$XDG_RUNTIME_DIR" "$home/cfg/quorla" "$home/silent" && chmod 700 "$XDG_RUNTIME_DIR"
    printf '[PostgreSQL]\nDriver=%s\n' "$driver" >"$home/odbcinst.ini"
    printf '[RECHOST]\nDriver=PostgreSQL\nServername=%s\nPort=5432\nDatabase=postgres\n' "$home/silent" >"$home/odbc.ini"
    printf '[frmConfig]\nDSN=RECHOST\nUID=SCANSVC\nPWD=scan2026\n' >"$home/cfg/quorla/Korvane Scanning Utility.ini"
    "$silenthost" "$home/silent/.s.PGSQL.5432" &
    host=$!

    name="SIGTERM during sign-on"
    QT_LOGGING_RULES="quorla.ado.debug=true" "$bin" >"$home/out.log" 2>&1 &
    pid=$!
    login=$(waitWindow "iSeries Login" 30) || { echo "$name: no sign-on dialog"; kill -KILL "$pid" "$host"; cat "$home/out.log"; exit 1; }
    xdotool windowfocus "$login"; sleep 0.3
    xdotool type --delay 20 JSMITH; xdotool key Tab; xdotool type --delay 20 Secret1; xdotool key Return
    sleep 2
    kill -0 "$pid" 2>/dev/null || { echo "$name: the program was gone before the signal"; kill "$host"; exit 1; }
    kill -TERM "$pid"
    endsWritten "$name" "$pid" "$home" || { kill "$host"; exit 1; }
    grep -q "a blocked host call is given up" "$home/out.log" \
        || { echo "$name: no host call was blocked at the signal"; cat "$home/out.log"; kill "$host"; exit 1; }

    name="next start"
    rm "$home/cfg/quorla/scanner.cfg"
    "$bin" >"$home/out.log" 2>&1 &
    pid=$!
    waitWindow "iSeries Login" 30 >/dev/null || { echo "$name: no sign-on dialog"; kill -KILL "$pid" "$host"; cat "$home/out.log"; exit 1; }
    kill -TERM "$pid"
    endsWritten "$name" "$pid" "$home" || { kill "$host"; exit 1; }
    kill "$host"
    exit 0
)
rc=$?
rm -rf "$home"
exit $rc
