#!/usr/bin/env bash
# Print with "Use Default Printer" through the real program under Xvfb against a print server of
# the run's own, one row per printer state: no printer, one added while the program runs, idle,
# rejecting jobs, stopped, a filter that fails, the printer removed while the job is on it,
# printers of which none is the default, and the print service stopped.
# Each row ends in a job the server completed and no box, or a box whose reason the program's
# print log names, and the server holds no job the operator was not told of.
# Usage: print_xvfb.sh <quorla> <sane config dir with the test backend> <hostsim-seed>
set -u
bin=$1
sane=$2
seed=$3
. "$(dirname "$0")/xvfb_lib.sh"
scale=${QUORLA_TIME_SCALE:-1}

home=$(mktemp -d)
cupsd=
trap '[ -n "$cupsd" ] && kill "$cupsd" 2>/dev/null; [ -n "${pid:-}" ] && kill -KILL "$pid" 2>/dev/null; rm -rf "$home"' EXIT
cd "$home" || exit 1
demoOffice "$home" "$seed" || exit 1
export SANE_CONFIG_DIR=$sane CUPS_SERVER=$home/cups/cups.sock \
       QT_LOGGING_RULES="quorla.print.debug=true;quorla.hostsim.debug=true"

fail() { echo "$row: $1"; [ -n "${pid:-}" ] && kill -KILL "$pid" 2>/dev/null; cat "$home/out.log"; tail -20 "$home/cups/error_log"; exit 1; }

# The print server: the system's filters and backends, and two of the test's own filters.
c=$home/cups
mkdir -p "$c/bin/filter"
for d in backend daemon cgi-bin; do ln -s "/usr/lib/cups/$d" "$c/bin/$d"; done
for f in /usr/lib/cups/filter/*; do ln -s "$f" "$c/bin/filter/"; done
printf '#!/bin/sh\necho "ERROR: the test filter refuses every job" >&2\nexit 1\n' >"$c/bin/filter/refuse"
printf '#!/bin/sh\nsleep 120\ncat\n' >"$c/bin/filter/linger"
chmod 755 "$c/bin/filter/refuse" "$c/bin/filter/linger"
for f in refuse linger; do
    sed "s/FILTER/$f/" >"$c/$f.ppd" <<'EOF'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "FILTER.PPD"
*Manufacturer: "Test"
*Product: "(Test)"
*ModelName: "Filtered Queue"
*ShortNickName: "Filtered Queue"
*NickName: "Filtered Queue"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*cupsFilter2: "application/pdf application/vnd.cups-postscript 0 FILTER"
*OpenUI *PageSize: PickOne
*DefaultPageSize: Letter
*PageSize Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageSize
*DefaultPageRegion: Letter
*DefaultImageableArea: Letter
*ImageableArea Letter: "0 0 612 792"
*DefaultPaperDimension: Letter
*PaperDimension Letter: "612 792"
EOF
done
row=server
cupsServer "$c" "$c/bin" "ErrorPolicy stop-printer" || exit 1

queue() { # queue <filter|raw>: the default printer "desk", printing into out/
    lpadmin -x desk 2>/dev/null
    if [ "$1" = raw ]; then lpadmin -p desk -E -v "file://$c/out/desk" -m raw 2>/dev/null
    else lpadmin -p desk -E -v "file://$c/out/desk" -P "$c/$1.ppd" 2>/dev/null; fi || fail "no queue"
    lpadmin -d desk
}
completed() { lpstat -W completed -o 2>/dev/null | wc -l; }
pending() { lpstat -o 2>/dev/null | wc -l; }
more() { [ "$(completed)" -gt "$1" ]; }
onQueue() { [ "$(pending)" -gt 0 ]; }
reasons() { grep '^quorla.print: "[^"]*" "' "$home/out.log" 2>/dev/null; }
told() { [ "$(reasons | wc -l)" -gt "$1" ]; }
noBox() { [ -z "$(xdotool search --onlyvisible --name "^The Korvane Scan Tool\$" 2>/dev/null)" ]; }

"$bin" >>"$home/out.log" 2>&1 &
pid=$!
row=start
main=$(demoSignOn 30) || fail "no sign-on or no main window"
click() { xdotool windowfocus "$main"; xdotool mousemove --window "$main" "$1" "$2" click 1; }
field() { click "$1" "$2"; sleep 0.3; xdotool key ctrl+a; xdotool type --delay 20 "$3"; }
# Book 1010 page 1 shown; "Use Default Printer" ticked.
waitFor 10 noBox
field 178 126 1010; field 178 150 1
xdotool key alt+a
waitFor 30 grep -q '"IM091R"' "$home/out.log" || fail "the document was not looked up"
waitIdle
noBox || fail "a box after the lookup"
click 108 376

# press <expect>: Print, then the row's end: "printed" (a job completed, no box) or a reason the
# print log names, with a box answered.
press() {
    local before told0
    before=$(completed)
    told0=$(reasons | wc -l)
    click 50 376
    if [ "$1" = printed ]; then
        waitFor 60 more "$before" || fail "no job completed"
        # A job that ended otherwise (cancelled, aborted) is counted too: the program said nothing.
        ! told "$told0" || fail "a failure was logged: $(reasons | tail -1)"
        noBox || fail "a box after a printed job"
        echo "$row: printed, job completed"
        return
    fi
    box=$(waitWindow "The Korvane Scan Tool" $((60 * scale))) || fail "no box"
    told "$told0" || fail "no reason logged"
    reasons | tail -1 | grep -q "$1" || fail "the reason is not '$1': $(reasons | tail -1)"
    xdotool windowfocus "$box"; xdotool key Return
    waitFor 10 noBox || fail "the box stays"
    echo "$row: told: $(reasons | tail -1 | sed 's/^quorla.print: //')"
}

# Rows (the program keeps running; each row changes the server first).
row="no printer";        press "no printer is set up"
row="added meanwhile";   queue raw; press printed
row="rejecting";         cupsreject desk; press "not accepting jobs"
row="stopped";           cupsaccept desk; cupsdisable -r "out of toner" desk; press "the printer is stopped (out of toner)"
row="idle again";        cancel -a; cupsenable desk; press printed
row="failing filter";    queue refuse; press "the test filter refuses every job"
row="removed mid-job";   cancel -a; queue linger
( waitFor 60 onQueue && lpadmin -x desk ) &
remover=$!
press "was cancelled\|was removed\|no such printer"
wait "$remover"
[ "$(pending)" -eq 0 ] || fail "jobs left on the server: $(lpstat -o)"
row="none the default";  lpadmin -p aside -E -v "file://$c/out/aside" -m raw 2>/dev/null; queue raw; lpadmin -x desk
press "no printer is the default"
[ -z "$(ls "$c/out/aside" 2>/dev/null)" ] || fail "printed on a queue that is not the default"
row="service down";      kill "$cupsd"; wait "$cupsd" 2>/dev/null; cupsd=
press "the print service does not answer"
row=end
echo "the program used $(awk '{print ($14 + $15) / 100}' "/proc/$pid/stat") s of processor time"
kill -TERM "$pid"
ends end "$pid" "$home" || fail "did not end cleanly"
exit 0
