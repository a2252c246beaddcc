#!/usr/bin/env bash
# Installs the cross compiler, Wine, Xvfb and the Russian locale on Debian 12.
# Idempotent: does nothing that is already done.
set -euo pipefail
source "$(dirname "$0")/progress.sh"

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
command -v wine >/dev/null || need+=(wine)
[ -e /usr/lib/i386-linux-gnu/wine ] || need+=(wine32:i386)
# A native wineserver, also where the 32-bit loader runs through qemu.
[ -x /usr/lib/wine/wineserver64 ] || need+=(wine64)
[ -d /usr/share/wine/fonts ] || need+=(fonts-wine)
command -v xvfb-run >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
command -v locale-gen >/dev/null || need+=(locales)
command -v cmake >/dev/null || need+=(cmake)
command -v zip >/dev/null || need+=(zip)
command -v unzip >/dev/null || need+=(unzip)
command -v cppcheck >/dev/null || need+=(cppcheck)
command -v clang-format >/dev/null || need+=(clang-format)
command -v python3 >/dev/null || need+=(python3)
[ -d /usr/src/googletest ] || need+=(googletest)

if [ ${#need[@]} -gt 0 ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "missing packages: ${need[*]} (run as root to install)" >&2
        exit 1
    fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    # A mirror in the middle of a sync can fail an index: try again, then go
    # on with the indexes that did arrive.
    for attempt in 1 2 3; do
        apt-get update -q && break
        [ $attempt = 3 ] || sleep 20
    done
    # With one architecture's update index missing, the newest amd64 and i386
    # versions of a library differ and multiarch refuses them; the release's
    # own packages always match.
    with_progress "installing ${need[*]}" apt-get install -y -q --no-install-recommends "${need[@]}" ||
        with_progress "installing ${need[*]}" apt-get install -y -q --no-install-recommends -t bookworm "${need[@]}"
fi

if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
    if [ "$(id -u)" = 0 ]; then
        sed -i 's/^# *ru_RU.UTF-8 UTF-8/ru_RU.UTF-8 UTF-8/' /etc/locale.gen
        grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' >> /etc/locale.gen
        with_progress "generating the Russian locale" locale-gen >/dev/null
    else
        echo "locale ru_RU.UTF-8 missing (run as root)" >&2
        exit 1
    fi
fi
