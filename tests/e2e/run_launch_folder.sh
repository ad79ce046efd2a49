#!/bin/sh
# Compiles a program without /OUTPUT in a folder whose name is not ASCII:
# the compiler launches the built Zandrel.exe, which must start in the
# folder of its source and writes that folder into started.txt there.
#   run_launch_folder.sh COMPILER SOURCE
set -u
. "$(dirname "$0")/wine_env.sh"
compiler="$1"; source="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# "é" lies in the ANSI code page, the Cyrillic letter does not.
folder="$work/dé_Ж"
mkdir "$folder"
cp "$source" "$folder/main.zd"
cd "$folder"
if ! timeout 60 "$compiler" main.zd /CONSOLE > "$work/compiler.log" 2>&1; then
    echo "compiler failed:"; cat "$work/compiler.log"; exit 1
fi
grep -q "Creating and launching executable." "$work/compiler.log" || { echo "not launched:"; cat "$work/compiler.log"; exit 1; }
# The program runs on its own once the compiler is done.
waited=0
while [ ! -s started.txt ] && [ "$waited" -lt 60 ]; do
    sleep 1
    waited=$((waited + 1))
done
[ -s started.txt ] || { echo "the program wrote no started.txt"; ls -la; exit 1; }
started="$(iconv -f UTF-16LE -t UTF-8 started.txt)"
expected="Z:$(printf '%s' "$folder" | tr '/' '\\')"
if [ "$started" != "$expected" ]; then
    printf "started in '%s', expected '%s'\n" "$started" "$expected"; exit 1
fi
echo "ok: started in its source folder"
