#!/usr/bin/env bash
# xvfb_run.sh "<server arguments>" <command> [args...]: runs the command under an Xvfb of its own.
# The server picks a free display itself (-displayfd), so any number of these run at once.
set -u
sargs=$1; shift
dir=$(mktemp -d)
# shellcheck disable=SC2086
Xvfb -displayfd 3 -nolisten tcp $sargs 3>"$dir/display" 2>"$dir/xvfb.log" &
xpid=$!
for _ in $(seq 1 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
if [ ! -s "$dir/display" ]; then
    echo "Xvfb did not start:"; cat "$dir/xvfb.log"; kill "$xpid" 2>/dev/null; rm -rf "$dir"; exit 1
fi
export DISPLAY=":$(head -1 "$dir/display")"
"$@"
rc=$?
kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null
rm -rf "$dir"
exit "$rc"
