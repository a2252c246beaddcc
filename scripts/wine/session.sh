#!/usr/bin/env bash
# session.sh BUILD_DIR COMMAND [ARGS...]: runs COMMAND with an X display (the
# one in $DISPLAY, else a private Xvfb) and exits with its status; then the
# Wine session of the build's prefix ends, before that X server does.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -n "${DISPLAY:-}" ]; then
    "${@:2}"
    status=$?
    "$here/stop.sh" "$1"
    exit $status
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
