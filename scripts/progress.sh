# Sourced by the set-up scripts. with_progress LABEL COMMAND...: runs COMMAND
# and, while it runs, prints "LABEL: N s so far" to stderr every 30 s, so a
# long step never leaves the terminal silent. Returns COMMAND's status.
with_progress() {
    local label=$1 start=$SECONDS ticker status=0
    shift
    (
        while sleep 30 </dev/null >/dev/null 2>&1; do
            echo "$label: $((SECONDS - start)) s so far" >&2
        done
    ) &
    ticker=$!
    "$@" || status=$?
    kill "$ticker" 2>/dev/null
    wait "$ticker" 2>/dev/null || true
    return $status
}
