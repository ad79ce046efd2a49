#!/bin/sh
# Compiles a Zandrel DLL, makes its import file and Windows import library
# with "zdcompiler /IMPORT ... /WINDOWSIMPORT ..." from an Import block,
# compiles a program whose Import block names that library, runs it under
# wine beside the DLL and checks the exit code.
#   run_import_block.sh COMPILER DLL_SOURCE DATA_DIR EXPECTED_EXIT
set -u
. "$(dirname "$0")/wine_env.sh"
compiler="$1"; dll_source="$2"; data="$3"; expected_exit="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/dll" "$work/import" "$work/program"
cp "$dll_source" "$work/dll/library.zd"
cd "$work/dll"
if ! timeout 60 "$compiler" library.zd /DLL /OUTPUT ZandDll.dll > compiler.log 2>&1; then
    echo "compiler failed on the DLL:"; cat compiler.log; exit 1
fi
cp "$data/make_import.zd" "$work/import/"
cd "$work/import"
if ! timeout 60 "$compiler" make_import.zd /IMPORT "$work/import/ZandDll.imp" /WINDOWSIMPORT "$work/import/ZandDll.lib" > compiler.log 2>&1; then
    echo "compiler failed on the import block:"; cat compiler.log; exit 1
fi
grep -q "Import library '.*ZandDll.imp' created." compiler.log || { echo "no import file message"; cat compiler.log; exit 1; }
grep -q "Windows import library '.*ZandDll.lib' created." compiler.log || { echo "no import library message"; cat compiler.log; exit 1; }
[ -f ZandDll.imp ] && [ -f ZandDll.lib ] || { echo "import file or library missing"; ls; exit 1; }
[ -f ZandDll.lib.def ] && { echo "the .def file was left behind"; exit 1; }
# The import file names the library and holds the function with its symbol.
grep -q "AddNumbers_" ZandDll.imp || { echo "no function record in the import file"; exit 1; }
sed "s|@IMPORT_LIBRARY@|$work/import/ZandDll.lib|" "$data/main.zd" > "$work/program/main.zd"
cd "$work/program"
if ! timeout 60 "$compiler" main.zd /CONSOLE /OUTPUT program.exe > compiler.log 2>&1; then
    echo "compiler failed on the program:"; cat compiler.log; exit 1
fi
cp "$work/dll/ZandDll.dll" .
timeout 60 "$WINE" program.exe < /dev/null > output.txt 2>/dev/null
code=$?
[ "$code" -eq "$expected_exit" ] || { echo "exit code $code, expected $expected_exit"; exit 1; }
echo "ok: imported DLL function called, exit code $code"
