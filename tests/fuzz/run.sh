#!/usr/bin/env bash
# Runs fuzz targets for a set time each, one after another.
#   tests/fuzz/run.sh [-b BUILD_DIR] [-w WORK_DIR] [-s SECONDS] [TARGET...]
# BUILD_DIR holds the fuzz build (default build/fuzz, the fuzz preset); WORK_DIR the corpora,
# findings and logs below (default BUILD_DIR); SECONDS per target
# (default $FUZZ_SECONDS or 600); TARGETs default to every target. Each target's working corpus
# is WORK_DIR/fuzz-corpus/<target>, started from the committed seeds in tests/fuzz/corpus/<target>
# and the regression inputs; crash, leak, timeout and out-of-memory inputs go to
# WORK_DIR/fuzz-findings/<target>/ and make the script fail. libFuzzer's output (runs, coverage)
# is kept in WORK_DIR/fuzz-logs/<target>.log. FUZZ_TIMEOUT (default 25) is the wall-clock seconds
# after which one input counts as a hang: raise it for campaigns run at low priority on a busy
# machine, where an input of one second can wait half a minute for a core.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build/fuzz"
seconds="${FUZZ_SECONDS:-600}"
work=""
while getopts "b:w:s:" option; do
    case "$option" in
        b) build="$(cd "$OPTARG" && pwd)" ;;
        w) mkdir -p "$OPTARG" && work="$(cd "$OPTARG" && pwd)" ;;
        s) seconds="$OPTARG" ;;
        *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
work="${work:-$build}"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(dat_reader wtr_reader bitmap sample_decoder generate process)
fi

# Per target: the largest input worth trying. Every target keeps its own size guards too, so
# that no input can legitimately ask for gigabytes; the limits below turn anything else into a
# finding.
max_len() {
    case "$1" in
        dat_reader) echo 32768 ;;
        process) echo 65536 ;;
        *) echo 16384 ;;
    esac
}

status=0
for target in "${targets[@]}"; do
    binary="$build/tests/fuzz/fuzz_$target"
    if [ ! -x "$binary" ]; then
        echo "run.sh: $binary is not built" >&2
        exit 2
    fi
    corpus="$work/fuzz-corpus/$target"
    findings="$work/fuzz-findings/$target"
    logs="$work/fuzz-logs"
    mkdir -p "$corpus" "$findings" "$logs"
    seeds=("$root/tests/fuzz/corpus/$target")
    if [ -d "$root/tests/data/fuzz-regressions/$target" ]; then
        seeds+=("$root/tests/data/fuzz-regressions/$target")
    fi
    echo "== fuzz_$target for ${seconds}s"
    # detect_leaks stays on: a leak on a bad input is a finding like any other.
    if ! ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        "$binary" "$corpus" "${seeds[@]}" \
        -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout="${FUZZ_TIMEOUT:-25}" \
        -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1 \
        -artifact_prefix="$findings/" >"$logs/$target.log" 2>&1; then
        echo "run.sh: fuzz_$target found a problem; input in $findings, log in $logs/$target.log" >&2
        tail -n 40 "$logs/$target.log" >&2
        status=1
    fi
    # The coverage and run figures of the last status line, and the final statistics.
    grep -E "^#[0-9]+.*(DONE|cov:)" "$logs/$target.log" | tail -n 1 || true
    grep -E "^stat::(number_of_executed_units|peak_rss_mb)" "$logs/$target.log" || true
done
exit $status
