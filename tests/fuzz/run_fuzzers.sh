#!/usr/bin/env bash
# Runs the fuzz targets of a fuzz build, each for a fixed time, starting from
# the corpus kept here and the project's own test inputs.
#
#   tests/fuzz/run_fuzzers.sh [-t SECONDS] [-b BUILD_DIR] [-o OUTPUT_DIR] [TARGET...]
#
#   -t  seconds per target (default 20)
#   -b  the fuzz build (default build-fuzz; made with
#       CC=clang CXX=clang++ cmake -S . -B build-fuzz -DZANDREL_FUZZ=ON)
#   -o  where each target keeps the inputs it found and what it reports
#       (default: a temporary folder, removed afterwards when all passed)
#   TARGET  check compile_x64 compile_c library resident import catalog
#           standby forge reasm (default: all)
#
# Fails when a target reports a crash, a hang (an input running longer than
# FUZZ_INPUT_TIMEOUT seconds, default 30), a leak or any sanitizer finding.
# The input that shows it stays in the output folder (crash-*, timeout-*,
# leak-*, oom-*); once the fault is mended it goes into corpus/<kind>/ as a
# regression input.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
seconds=20
build="$root/build-fuzz"
output=""
while getopts "t:b:o:" option; do
    case "$option" in
        t) seconds="$OPTARG" ;;
        b) build="$(cd "$OPTARG" && pwd)" ;;
        o) output="$OPTARG" ;;
        *) sed -n '2,20p' "$0" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(check compile_x64 compile_c library resident import catalog standby forge reasm)

keep_output=1
if [ -z "$output" ]; then
    output="$(mktemp -d /tmp/zandrel-fuzz.XXXXXX)"
    keep_output=0
fi
mkdir -p "$output"

# The seed folders of a target: its corpus here, then inputs the project
# already has.
seeds() {
    case "$1" in
        check|compile_x64|compile_c) echo "$here/corpus/source $root/tests/e2e/programs $root/examples" ;;
        library) echo "$here/corpus/library $build/zandrel/ZandLibraries" ;;
        import) echo "$here/corpus/import $build/zandrel/ZandLibraries/Windows" ;;
        forge) echo "$here/corpus/forge $root/toolchain/libraries" ;;
        *) echo "$here/corpus/$1" ;;
    esac
}

failed=()
for target in "${targets[@]}"; do
    program="$build/tests/fuzz/fuzz_$target"
    if [ ! -x "$program" ]; then
        echo "run_fuzzers: no fuzz target $program (build it first)" >&2
        exit 2
    fi
    work="$output/$target"
    mkdir -p "$work/found"
    rc=0
    # shellcheck disable=SC2046
    "$program" -max_total_time="$seconds" -timeout="${FUZZ_INPUT_TIMEOUT:-30}" -rss_limit_mb=3072 \
        -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$work/" \
        "$work/found" $(seeds "$target") >"$work/log" 2>&1 || rc=$?
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)"
    coverage="$(grep -o 'cov: [0-9]* ft: [0-9]*' "$work/log" | tail -1)"
    echo "fuzz_$target: ${runs:-?} runs, ${coverage:-no coverage line} (${seconds} s)"
    if [ "$rc" -ne 0 ]; then
        failed+=("$target")
        echo "fuzz_$target FAILED (exit $rc); its report:" >&2
        grep -E "ERROR|SUMMARY|Test unit written|runtime error|==[0-9]+==" "$work/log" | head -20 >&2 || true
        echo "  log: $work/log" >&2
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "run_fuzzers: findings in: ${failed[*]} (inputs and logs under $output)" >&2
    exit 1
fi
[ "$keep_output" -eq 1 ] || rm -rf "$output"
