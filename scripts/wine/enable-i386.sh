#!/usr/bin/env bash
# Makes 32-bit Linux programs (the 32-bit Wine loader) runnable. Kernels booted
# without ia32 emulation refuse them with "Exec format error"; there they run
# through qemu-i386, registered with binfmt_misc. Debian 12's own qemu 7.2
# makes every Wine program cost about a minute of CPU; the qemu of
# bookworm-backports runs them about a hundred times cheaper, so that one is
# taken (only that package comes from backports). Does nothing where 32-bit
# programs run natively.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../progress.sh"

registration=/proc/sys/fs/binfmt_misc/qemu-i386
backports=/etc/apt/sources.list.d/bookworm-backports.sources

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
# The smallest i386 program: exit(42).
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' > "$probe/exit42"
chmod +x "$probe/exit42"
runs() { local status=0; "$probe/exit42" 2>/dev/null || status=$?; [ "$status" = 42 ]; }

[ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
if [ ! -e "$registration" ] && runs; then
    echo "32-bit programs run natively" >&2
    exit 0
fi

# The installed qemu-user, if it is the current one (major version 8 or later).
current_qemu() {
    local version
    version=$(qemu-i386 --version 2>/dev/null | sed -n '1s/.*version \([0-9]*\)\..*/\1/p')
    [ -n "$version" ] && [ "$version" -ge 8 ]
}

if ! current_qemu; then
    [ "$(id -u)" = 0 ] || { echo "32-bit programs need qemu-user (run as root to install it)" >&2; exit 1; }
    export DEBIAN_FRONTEND=noninteractive
    # The suite as Debian recommends adding it: nothing comes from it unless asked for.
    if [ ! -e "$backports" ]; then
        printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
            'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' > "$backports"
    fi
    if with_progress "updating package lists" apt-get update -q >/dev/null 2>&1 &&
        with_progress "installing qemu-user from bookworm-backports" \
            apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user >/dev/null; then
        :
    else
        echo "WARNING: qemu-user from bookworm-backports could not be installed; falling back to Debian 12's" \
             "qemu-user 7.2, with which every Wine program runs about a hundred times slower" >&2
        command -v qemu-i386 >/dev/null ||
            with_progress "installing qemu-user" apt-get install -y -q --no-install-recommends qemu-user >/dev/null
    fi
fi

qemu=$(command -v qemu-i386) || { echo "no qemu-i386 could be installed" >&2; exit 1; }
# An older registration (another path, or one holding an older binary open
# with the F flag) gives way to this one.
if [ -e "$registration" ] && { ! grep -qx "interpreter $qemu" "$registration" || grep -q '^flags:.*F' "$registration"; }; then
    echo -1 > "$registration"
fi
if [ ! -e "$registration" ]; then
    echo ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:" \
        > /proc/sys/fs/binfmt_misc/register
fi
runs || { echo "cannot run 32-bit programs on this machine" >&2; exit 1; }
echo "32-bit programs run through $("$qemu" --version | head -n 1)" >&2
