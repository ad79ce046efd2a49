#!/usr/bin/env bash
# Runs the differential test of the two compilers for a fixed time: random
# programs from tests/difftest/zdgen.py, each built by zdcompiler and
# zdcompilerc and run under wine; their output and exit code must agree.
#
#   tests/difftest/run_difftest.sh [-t SECONDS] [-b BUILD_DIR] [-o OUTPUT_DIR] [-j JOBS] [-a] [-d]
#
#   -t  seconds to run (default 60)
#   -b  the build whose installation is used (default build)
#   -o  where each differing program is kept with both outputs and its
#       reduction to a small program that still differs (default: a
#       temporary folder, removed afterwards when nothing differed)
#   -j  programs built at once (default 4)
#   -a  all features, also those the fixed set leaves out because the
#       compilers still differ on them (difftest.py's KNOWN_DIFFERENCES)
#   -d  build with /DEBUGGER too
#
# Fails when a program gives different answers in the two compilers, or
# when neither compiler builds a generated program (a fault of the
# generator).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
seconds=60
build="$root/build"
output=""
jobs=4
extra=(--fixed-set)
while getopts "t:b:o:j:ad" option; do
    case "$option" in
        t) seconds="$OPTARG" ;;
        b) build="$(cd "$OPTARG" && pwd)" ;;
        o) output="$OPTARG" ;;
        j) jobs="$OPTARG" ;;
        a) extra=() ;;
        d) extra+=(--debugger) ;;
        *) sed -n '2,20p' "$0" >&2; exit 2 ;;
    esac
done
keep_output=1
if [ -z "$output" ]; then
    output="$(mktemp -d /tmp/zandrel-difftest.XXXXXX)"
    keep_output=0
fi
sh "$root/tests/e2e/wine_setup.sh" >/dev/null
rc=0
python3 "$here/difftest.py" --home "$build/zandrel" --seconds "$seconds" --jobs "$jobs" --output "$output" \
    --quiet "${extra[@]}" || rc=$?
if [ "$rc" -ne 0 ]; then
    echo "run_difftest: differences (programs, outputs and reductions under $output)" >&2
    exit 1
fi
[ "$keep_output" -eq 1 ] || rm -rf "$output"
