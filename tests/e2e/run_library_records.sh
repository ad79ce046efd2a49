#!/bin/sh
# Builds the test library Records with Zandforge into a copy of the
# installation, compiles its program (structure names and containers given
# to commands, a command with two forms, a deprecated command) and runs it:
# the exit code is 42 when every command got what it should, and the
# compiler warns once about the deprecated command.
#   run_library_records.sh HOME COMPILER_NAME DATA_DIR CLANG
set -u
. "$(dirname "$0")/wine_env.sh"
. "$(dirname "$0")/library_home.sh"
home="$1"; compiler_name="$2"; data="$3"; clang="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
make_library_home "$home" "$compiler_name" "$work"
forge_test_library "$work" "$data" Records "$clang" || exit 1
failed=0
check() {
    cp "$data/main.zd" "$work/main.zd"
    rm -f "$work/program.exe"
    if ! (cd "$work" && timeout 60 "$work/home/Compilers/$compiler_name" main.zd /CONSOLE "$@" /OUTPUT program.exe > compiler.log 2>&1); then
        echo "compiler failed with $*:"; cat "$work/compiler.log"; failed=1; return
    fi
    warnings="$(grep -c "^Warning: Line 56 - Deprecated function 'OldTwice()' used.\$" "$work/compiler.log")"
    if [ "$warnings" -ne 1 ]; then echo "deprecation warning $warnings times with $*:"; cat "$work/compiler.log"; failed=1; fi
    (cd "$work" && timeout 60 "$WINE" program.exe < /dev/null > /dev/null 2>&1)
    code=$?
    if [ "$code" -ne 42 ]; then echo "exit code $code with $*, expected 42"; failed=1; else echo "ok: $* -> $code"; fi
}
check
check /DEBUGGER
check /THREAD
exit $failed
