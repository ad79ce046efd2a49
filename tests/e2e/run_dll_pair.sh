#!/bin/sh
# Builds a Zandrel DLL with one compiler and a host program that imports it
# with another, runs the host under wine beside the DLL and checks the exit
# code and what the DLL's entry procedures and the host printed.
#   run_dll_pair.sh DLL_COMPILER HOST_COMPILER DATA_DIR EXPECTED_EXIT EXPECTED_OUTPUT
set -u
. "$(dirname "$0")/wine_env.sh"
dll_compiler="$1"; host_compiler="$2"; data="$3"; expected_exit="$4"; expected_output="$5"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/dll" "$work/host"
cp "$data/library.zd" "$work/dll/"
cd "$work/dll"
if ! timeout 60 "$dll_compiler" library.zd /DLL /COMMENTED /OUTPUT ZandDll.dll > compiler.log 2>&1; then
    echo "compiler failed on the DLL:"; cat compiler.log; exit 1
fi
[ -f ZandDll.dll ] && [ -f ZandDll.lib ] || { echo "no DLL or import library"; cat compiler.log; exit 1; }
grep -q '^EXPORTS' Zandrel.def || { echo "no EXPORTS in Zandrel.def"; cat Zandrel.def; exit 1; }
grep -qw 'AddNumbers' Zandrel.def || { echo "AddNumbers not exported"; cat Zandrel.def; exit 1; }
if grep -qw 'NotExported' Zandrel.def; then echo "a plain procedure was exported"; cat Zandrel.def; exit 1; fi
sed "s|@DLL_LIBRARY@|$work/dll/ZandDll.lib|" "$data/host.zd" > "$work/host/main.zd"
cd "$work/host"
if ! timeout 60 "$host_compiler" main.zd /CONSOLE /OUTPUT host.exe > compiler.log 2>&1; then
    echo "compiler failed on the host:"; cat compiler.log; exit 1
fi
cp "$work/dll/ZandDll.dll" .
timeout 60 "$WINE" host.exe < /dev/null > output.txt 2>/dev/null
code=$?
[ "$code" -eq "$expected_exit" ] || { echo "exit code $code, expected $expected_exit"; exit 1; }
printf "$expected_output" > expected.txt
cmp -s output.txt expected.txt || { echo "output differs:"; od -c output.txt | head; exit 1; }
echo "ok: DLL and host, exit code $code"
