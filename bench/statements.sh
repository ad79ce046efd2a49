#!/usr/bin/env bash
# Compile-speed benchmark: a program of N simple statements (default 100000),
# checked with /CHECK (front end only) and compiled to an executable (front end,
# assembly output, assembler and linker). Prints the wall time of each run.
#   bench/statements.sh [N] [build-dir]
set -euo pipefail
count="${1:-100000}"
build="${2:-$(cd "$(dirname "$0")/.." && pwd)/build}"
compiler="$build/zandrel/Compilers/zdcompiler"
[ -x "$compiler" ] || { echo "build first: $compiler not found" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
{
    echo "a.i = 1"
    echo "b.i = 2"
    for ((i = 0; i < count; i++)); do
        echo "a = a + b * 3 - $((i % 97))"
    done
    echo "End a & 255"
} > bench.zd
run() {
    local start end
    start=$(date +%s%N)
    "$compiler" "$@" >/dev/null
    end=$(date +%s%N)
    awk -v ns="$((end - start))" 'BEGIN { printf "%.3f s\n", ns / 1e9 }'
}
echo "statements: $count"
echo -n "/CHECK:            "; run /CHECK /QUIET bench.zd
echo -n "full compile+link: "; run /QUIET bench.zd /OUTPUT bench.exe
ls -l bench.exe | awk '{print "executable bytes: " $5}'
