# Environment for running Windows programs under wine in the tests: one
# shared prefix outside the work tree, no debug output, no crash dialogs,
# no display.
export WINEPREFIX="${ZANDREL_WINEPREFIX:-$HOME/.cache/zandrel-wine}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY
WINE="$(command -v wine64 || echo /usr/lib/wine/wine64)"
WINESERVER="$(command -v wineserver || echo /usr/lib/wine/wineserver)"
