#!/bin/sh
# Runs every tav script of a folder in a fresh directory and compares standard output,
# exit status and the files made with the committed expectations.
#   run_tav_scripts.sh <tav binary> <scripts folder>
tav="$1"
dir="$2"
failed=0
for script in "$dir"/*.tav; do
  name=$(basename "$script" .tav)
  work=$(mktemp -d)
  cp "$script" "$work/"
  if [ "${name%.stdin}" != "$name" ]; then
    (cd "$work" && "$tav" - < "$(basename "$script")" > stdout.txt 2>&1; echo $? > rc.txt)
  else
    (cd "$work" && "$tav" "$(basename "$script")" > stdout.txt 2>&1; echo $? > rc.txt)
  fi
  expected_rc=0
  [ -f "$dir/$name.rc" ] && expected_rc=$(cat "$dir/$name.rc")
  if [ "$(cat "$work/rc.txt")" != "$expected_rc" ]; then
    echo "FAIL $name: exit status $(cat "$work/rc.txt"), expected $expected_rc"; failed=1
  fi
  if ! diff -u "$dir/$name.stdout" "$work/stdout.txt"; then
    echo "FAIL $name: standard output differs"; failed=1
  fi
  if [ -f "$dir/$name.sha256" ] && ! (cd "$work" && sha256sum --quiet -c "$dir/$name.sha256"); then
    echo "FAIL $name: files differ"; failed=1
  fi
  rm -rf "$work"
done
exit $failed
