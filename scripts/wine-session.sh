#!/usr/bin/env bash
# wine-session.sh PREFIX start|stop: brings the prefix's Wine session up (and
# makes the prefix first if needed; see make-prefix.sh), or ends it.
set -uo pipefail
here=$(dirname "$0")
case ${2:-} in
start) exec "$here/make-prefix.sh" "$1" ;;
stop) "$here/wine-reap.sh" "$1"; rm -f "$1/.session-up" ;;
*) echo "usage: $0 PREFIX start|stop" >&2; exit 2 ;;
esac
