#!/bin/sh
# Builds the test library Variants with Zandforge into a copy of the
# installation, then compiles and runs its program with every processor
# option; the exit code tells which variants of the commands ran. Then the
# libraries OrderBase and OrderUser (which needs OrderBase): the order of
# their start routines (and the debugger variant) is printed, that of
# their end routines is the exit code.
#   run_library_variants.sh HOME COMPILER_NAME DATA_DIR CLANG
set -u
. "$(dirname "$0")/wine_env.sh"
home="$1"; compiler_name="$2"; data="$3"; clang="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The compilers load the libraries of their own installation: a copy of the
# compiler with links to the rest of the installation and the test library.
. "$(dirname "$0")/library_home.sh"
make_library_home "$home" "$compiler_name" "$work"
forge_test_library "$work" "$data" Variants "$clang" || exit 1
failed=0
check() {
    expected="$1"; shift
    cp "$data/main.zd" "$work/main.zd"
    rm -f "$work/program.exe"
    if ! (cd "$work" && timeout 60 "$work/home/Compilers/$compiler_name" main.zd /CONSOLE "$@" /OUTPUT program.exe > compiler.log 2>&1); then
        echo "compiler failed with $*:"; cat "$work/compiler.log"; failed=1; return
    fi
    (cd "$work" && timeout 60 "$WINE" program.exe < /dev/null > /dev/null 2>&1)
    code=$?
    if [ "$code" -ne "$expected" ]; then echo "exit code $code with $*, expected $expected"; failed=1; else echo "ok: $* -> $code"; fi
}
check 10
check 11 /MMX
check 32 /SSE
check 53 /SSE2
check 14 /3DNOW
# Chosen at start-up: every x64 processor runs SSE2.
check 53 /DYNAMICCPU
check 53 /DYNAMICCPU /THREAD
check 53 /DYNAMICCPU /OPTIMIZER
check 32 /SSE /DEBUGGER
forge_test_library "$work" "$data" OrderBase "$clang" || exit 1
forge_test_library "$work" "$data" OrderUser "$clang" || exit 1
check_order() {
    expected_output="$1"; shift
    cp "$data/order.zd" "$work/order.zd"
    rm -f "$work/order.exe"
    if ! (cd "$work" && timeout 60 "$work/home/Compilers/$compiler_name" order.zd /CONSOLE "$@" /OUTPUT order.exe > compiler.log 2>&1); then
        echo "compiler failed with $*:"; cat "$work/compiler.log"; failed=1; return
    fi
    (cd "$work" && timeout 60 "$WINE" order.exe < /dev/null > order.out 2>/dev/null)
    code=$?
    output="$(tr -d '\r' < "$work/order.out")"
    if [ "$output" != "$expected_output" ] || [ "$code" -ne 45 ]; then
        echo "start steps $output and end steps $code with $*, expected $expected_output and 45"; failed=1
    else
        echo "ok: order $* -> $output $code"
    fi
}
check_order 23
check_order 23 /THREAD
check_order 123 /DEBUGGER
exit $failed
