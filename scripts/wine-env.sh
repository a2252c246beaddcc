# Sourced by the Wine scripts: wine-env.sh PREFIX. The private 32-bit prefix,
# quiet Wine, no menu entries, no Mono or Gecko prompts, no debugger (a crash
# fails a test at once instead of hanging it or starting winedbg, which is
# slow under emulation), and a Russian locale (ANSI code page 1251) unless the
# caller chose another one in WINE_LOCALE.
export WINEPREFIX=$1 WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d;winedbg.exe=d"
export LANG=${WINE_LOCALE:-ru_RU.UTF-8} LC_ALL=${WINE_LOCALE:-ru_RU.UTF-8}

# wine_process_alive NAME: true while a Wine process of this prefix whose
# command line contains NAME runs.
wine_process_alive() {
    local dir
    for dir in /proc/[0-9]*; do
        tr '\0' ' ' 2>/dev/null < "$dir/cmdline" | grep -qF "$1" || continue
        tr '\0' '\n' 2>/dev/null < "$dir/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}
