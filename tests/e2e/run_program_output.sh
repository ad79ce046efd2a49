#!/bin/sh
# Compiles a Zandrel program with zdcompiler, runs it under wine and checks
# its output and exit code.
#   run_program_output.sh COMPILER SOURCE EXPECTED_EXIT EXPECTED_OUTPUT [SWITCHES...]
# EXPECTED_OUTPUT is a printf format ("\r\n" for line ends).
set -u
. "$(dirname "$0")/wine_env.sh"
compiler="$1"; source="$2"; expected_exit="$3"; expected_output="$4"; shift 4
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$source" "$work/main.zd"
# The checks of the self-checking programs are included from next to them.
checks="$(dirname "$source")/checks.zdi"
[ -f "$checks" ] && cp "$checks" "$work/"
cd "$work"
if ! timeout 60 "$compiler" main.zd "$@" /OUTPUT program.exe > compiler.log 2>&1; then
    echo "compiler failed:"; cat compiler.log; exit 1
fi
[ -f program.exe ] || { echo "no program.exe"; cat compiler.log; exit 1; }
timeout 60 "$WINE" program.exe < /dev/null > output.txt 2>/dev/null
code=$?
printf "$expected_output" > expected.txt
if ! cmp -s output.txt expected.txt; then
    echo "output differs:"; od -c output.txt | head -20; echo "expected:"; od -c expected.txt | head -20; exit 1
fi
if [ "$code" -ne "$expected_exit" ]; then
    echo "exit code $code, expected $expected_exit"; echo "output:"; cat output.txt; exit 1
fi
echo "ok: output and exit code $code"
