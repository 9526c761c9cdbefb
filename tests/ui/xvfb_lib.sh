# Helpers of the Xvfb road scripts (sourced).

# waitWindow <title> <seconds>: the id of the first visible window of that exact title.
waitWindow() {
    local id
    for _ in $(seq 1 $(($2 * 10))); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
