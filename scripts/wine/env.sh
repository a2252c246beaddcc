# Sourced by the Wine scripts: env.sh BUILD_DIR. The build's private 32-bit
# prefix (its one home: BUILD_DIR/wineprefix), quiet Wine, no menu entries, no
# Mono or Gecko prompts, no debugger (a crash fails a test at once instead of
# hanging it in winedbg), and a Russian locale (ANSI code page 1251) unless the
# caller chose another one in WINE_LOCALE.
export WINEPREFIX=$(realpath -m "$1")/wineprefix WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d;winedbg.exe=d"
export LANG=${WINE_LOCALE:-ru_RU.UTF-8} LC_ALL=${WINE_LOCALE:-ru_RU.UTF-8}
