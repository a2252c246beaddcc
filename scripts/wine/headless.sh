#!/usr/bin/env bash
# headless.sh BUILD_DIR PROGRAM [ARGS...]: runs one Windows program in the
# build's prefix (made first if needed) and exits with its status. It draws on
# the X display in $DISPLAY when there is one, else on a private Xvfb, and the
# Wine session ends before that X server does.
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/session.sh" "$1" "$here/run.sh" "$@"
