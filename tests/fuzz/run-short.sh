#!/usr/bin/env bash
# The short fuzz run of `make test`: every target for FUZZ_SHORT_SECONDS (default 8) seconds,
# so that a change that breaks a reader on inputs near the seeds and the old crash inputs shows
# in CI. Expects the fuzz build (`make fuzz-build`); extra arguments go to run.sh.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
targets=(dat_reader wtr_reader bitmap sample_decoder generate process)
passed=0
failed=0
for target in "${targets[@]}"; do
    if bash "$root/tests/fuzz/run.sh" -s "${FUZZ_SHORT_SECONDS:-8}" "$@" "$target"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
