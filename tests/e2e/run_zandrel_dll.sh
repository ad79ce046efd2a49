#!/bin/sh
# Compiles a Zandrel source into a DLL with "zdcompiler /DLL", checks its
# export file and import library, rebuilds a hand-written console program
# that imports the DLL's exported procedure, runs it under wine and checks
# the exit code (the procedure's result).
#   run_zandrel_dll.sh COMPILER DATA_DIR EXPECTED_EXIT
set -u
. "$(dirname "$0")/wine_env.sh"
compiler="$1"; data="$2"; expected_exit="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/dll" "$work/caller"
cp "$data/library.zd" "$work/dll/"
cd "$work/dll"
if ! timeout 60 "$compiler" library.zd /DLL /COMMENTED /OUTPUT ZandDll.dll > compiler.log 2>&1; then
    echo "compiler failed on the DLL:"; cat compiler.log; exit 1
fi
[ -f ZandDll.dll ] || { echo "no ZandDll.dll"; cat compiler.log; exit 1; }
[ -f ZandDll.lib ] || { echo "no import library ZandDll.lib"; cat compiler.log; exit 1; }
# The commented build leaves the export file beside the source.
grep -q '^EXPORTS' Zandrel.def || { echo "no EXPORTS in Zandrel.def"; cat Zandrel.def; exit 1; }
grep -qw 'AddNumbers' Zandrel.def || { echo "AddNumbers not exported"; cat Zandrel.def; exit 1; }
if grep -qw 'NotExported' Zandrel.def; then echo "a plain procedure was exported"; cat Zandrel.def; exit 1; fi
grep -q "^public _Procedure[0-9]* as 'AddNumbers'" zandrel.asm || { echo "no public line for AddNumbers"; exit 1; }

sed "s|@DLL_LIBRARY@|$work/dll/ZandDll.lib|" "$data/caller.asm" > "$work/caller/zandrel.asm"
cd "$work/caller"
if ! timeout 60 "$compiler" main.zd /REASM /CONSOLE /OUTPUT caller.exe > compiler.log 2>&1; then
    echo "compiler failed on the caller:"; cat compiler.log; exit 1
fi
cp "$work/dll/ZandDll.dll" .
timeout 60 "$WINE" caller.exe < /dev/null > output.txt 2>/dev/null
code=$?
[ "$code" -eq "$expected_exit" ] || { echo "exit code $code, expected $expected_exit"; exit 1; }
echo "ok: Zandrel DLL called, exit code $code"
