#!/bin/sh
# Rebuilds the test DLL with "zdcompiler /REASM /OUTPUT MathDll.dll", checks
# its import library, then rebuilds a console program that imports it
# through that library and runs the program under wine.
#   run_dll_fixture.sh COMPILER DATA_DIR
set -u
. "$(dirname "$0")/wine_env.sh"
compiler="$1"; data="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/dll" "$work/caller"
cp "$data"/dll/* "$work/dll/"
cd "$work/dll"
if ! timeout 60 "$compiler" main.zd /REASM /OUTPUT MathDll.dll > compiler.log 2>&1; then
    echo "compiler failed on the DLL:"; cat compiler.log; exit 1
fi
grep -q 'Creating DLL "MathDll.dll"' compiler.log || { echo "no DLL message:"; cat compiler.log; exit 1; }
[ -f MathDll.dll ] || { echo "no MathDll.dll"; exit 1; }
[ -f MathDll.lib ] || { echo "no import library MathDll.lib"; exit 1; }

sed "s|@DLL_LIBRARY@|$work/dll/MathDll.lib|" "$data/dll_caller/zandrel.asm" > "$work/caller/zandrel.asm"
cd "$work/caller"
if ! timeout 60 "$compiler" main.zd /REASM /CONSOLE /OUTPUT caller.exe > compiler.log 2>&1; then
    echo "compiler failed on the caller:"; cat compiler.log; exit 1
fi
cp "$work/dll/MathDll.dll" .
timeout 60 "$WINE" caller.exe < /dev/null > output.txt 2>/dev/null
code=$?
printf 'Hello from the DLL\r\n' > expected.txt
cmp -s output.txt expected.txt || { echo "output differs:"; od -c output.txt | head; exit 1; }
[ "$code" -eq 42 ] || { echo "exit code $code, expected 42"; exit 1; }
echo "ok: DLL called, exit code $code"
