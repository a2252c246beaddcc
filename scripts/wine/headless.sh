#!/usr/bin/env bash
# headless.sh PREFIX PROGRAM [ARGS...]: runs one Windows program in the prefix
# (made first if needed) and exits with its status. It draws on the X display
# in $DISPLAY when there is one, else on a private Xvfb, and then the Wine
# session ends before that X server does.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -n "${DISPLAY:-}" ]; then
    exec "$here/run.sh" "$@"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" \
    bash -c '"$0/run.sh" "$@"; status=$?; "$0/stop.sh" "$1"; exit $status' "$here" "$@"
