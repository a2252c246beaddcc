#!/usr/bin/env bash
# Makes 32-bit Linux programs (the 32-bit Wine loader) runnable. Kernels booted
# without ia32 emulation refuse them with "Exec format error"; there qemu-i386
# runs them through binfmt_misc. Does nothing where they already run.
set -euo pipefail

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
# The smallest i386 program: exit(42).
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' > "$probe/exit42"
chmod +x "$probe/exit42"
status=0; "$probe/exit42" 2>/dev/null || status=$?
if [ "$status" = 42 ]; then
    exit 0
fi

echo "32-bit programs do not run natively here; using qemu-i386 through binfmt_misc" >&2
if ! command -v qemu-i386 >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends qemu-user >/dev/null
fi
if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
fi
if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:' \
        > /proc/sys/fs/binfmt_misc/register
fi
status=0; "$probe/exit42" 2>/dev/null || status=$?
if [ "$status" != 42 ]; then
    echo "cannot run 32-bit programs on this machine" >&2
    exit 1
fi
