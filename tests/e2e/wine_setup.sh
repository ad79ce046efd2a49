#!/bin/sh
# Test fixture: creates the wine prefix once and starts a persistent wine
# server, so each program of the test run starts in milliseconds.
set -eu
. "$(dirname "$0")/wine_env.sh"
mkdir -p "$(dirname "$WINEPREFIX")"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 300 "$WINE" wineboot --init </dev/null >/dev/null 2>&1
fi
# The server must not hold the test runner's output pipe open.
"$WINESERVER" -p60 </dev/null >/dev/null 2>&1 || true  # 2 when one runs already
echo "wine prefix ready: $WINEPREFIX"
