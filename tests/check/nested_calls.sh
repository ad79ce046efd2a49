#!/bin/sh
# Calls nested 200 deep in an argument, through both compilers' syntax
# check: procedures, string procedures, library commands (alternating with
# a procedure), interface methods, and a bad argument at the bottom of a
# nest. Each call's argument list is read a fixed number of times, so the
# check ends at once; the ctest entry's time limit fails a compiler whose
# reading doubles with each level.
# Usage: nested_calls.sh <compilers folder>
set -u
compilers=$(cd "$1" && pwd)
depth=200
work=$(mktemp -d /tmp/zd_nested_XXXXXX)
trap 'rm -rf "$work"' EXIT

# nest <open> <close> <inner> <count>: the inner text wrapped count times.
nest() {
    awk -v open="$1" -v tail="$2" -v inner="$3" -v count="$4" 'BEGIN {
        text = inner
        for (i = 0; i < count; i++) text = open text tail
        print text
    }'
}

{
    printf 'Procedure f(x)\n  ProcedureReturn x + 1\nEndProcedure\n'
    printf 'x = %s\n' "$(nest 'f(' ')' 1 $depth)"
} > "$work/procedures.zd"
{
    printf 'Procedure.s g(x.s)\n  ProcedureReturn x + "!"\nEndProcedure\n'
    printf 'a$ = %s\n' "$(nest 'g(' ')' '"a"' $depth)"
} > "$work/string_procedures.zd"
{
    printf 'Procedure n(s.s)\n  ProcedureReturn 1\nEndProcedure\n'
    printf 'a$ = %s\n' "$(nest 'Str(1 + n(' '))' '"1"' $((depth / 2)))"
} > "$work/library_commands.zd"
{
    printf 'Interface Counter\n  Step(a)\nEndInterface\nDefine o.Counter\n'
    printf 'x = %s\n' "$(nest 'o\\Step(' ')' 1 $depth)"
} > "$work/interface_methods.zd"
{
    printf 'Procedure f(x)\n  ProcedureReturn x + 1\nEndProcedure\n'
    printf 'x = %s\n' "$(nest 'f(' ')' '"a"' $depth)"
} > "$work/bad_argument.zd"

failures=0
expect() {  # compiler source wanted-text
    output=$(cd "$work" && "$compilers/$1" /CHECK "$2" </dev/null 2>&1)
    case $output in
    *"$3"*) ;;
    *)
        echo "FAIL: $1 $2: wanted \"$3\", got:"
        echo "$output"
        failures=$((failures + 1))
        ;;
    esac
}
for compiler in zdcompiler zdcompilerc; do
    for source in procedures string_procedures library_commands interface_methods; do
        expect $compiler $source.zd "Syntax check finished without error"
    done
    expect $compiler bad_argument.zd "Line 4 - Bad parameter type, number expected instead of string."
done
exit $failures
