#!/usr/bin/env bash
# Runs every benchmark script bench/bench_*.sh against the release build. Each script prints
# its own figures, measured side by side with the comparison tool in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
export ALTIMO_CLI="$PWD/build/release/cli/altimo-cli"
export ALTIMO_BENCH_DIR="${ALTIMO_BENCH_DIR:-$PWD/build/bench-data}"
mkdir -p "$ALTIMO_BENCH_DIR"
for script in bench/bench_*.sh; do
    [ -e "$script" ] || continue
    echo "== $(basename "$script" .sh)"
    bash "$script"
done
