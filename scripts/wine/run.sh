#!/usr/bin/env bash
# run.sh BUILD_DIR PROGRAM [ARGS...]: runs one Windows program in the build's
# prefix (made first if needed) and exits with its status. Needs an X server for
# anything with a window.
set -uo pipefail
build=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
source "$here/env.sh" "$build"
"$here/prefix.sh" "$build" || exit 1
# The program starts Wine's services, which inherit its output and outlive
# it by a few seconds; with the caller's pipe there, the caller would wait
# for them. So the program writes to files, passed on to the caller while
# it runs.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
wine "$@" </dev/null >"$out" 2>"$err" &
program=$!
tail -n +1 -s 0.2 -f --pid=$program "$out" &
follow_out=$!
tail -n +1 -s 0.2 -f --pid=$program "$err" >&2 &
follow_err=$!
wait $program
status=$?
wait $follow_out $follow_err
exit $status
