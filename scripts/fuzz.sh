#!/usr/bin/env bash
# Runs both fuzz targets under ASan and UBSan, each for SECONDS (default 60).
#   scripts/fuzz.sh [SECONDS] [--grow]
# The committed corpus in tests/fuzz/corpus seeds each run; new inputs go to
# a scratch folder and, with --grow, are merged back into the corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
grow=${2:-}
scripts/build.sh fuzz >/dev/null

for target in scan_replies topology_file; do
    corpus=tests/fuzz/corpus/$target
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    case $target in
        scan_replies) max_len=600 ;;
        topology_file) max_len=1500 ;;
    esac
    echo "== fuzz $target for ${seconds}s"
    # Crash reproducers land in build/fuzz, where the failure message names them.
    build/fuzz/fuzz_$target -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix=build/fuzz/ -print_final_stats=1 "$scratch" "$corpus" 2>&1 |
        grep -E '^(#[0-9]+ +DONE|Done|stat::number_of_executed_units|stat::new_units_added)|ERROR|fuzz check|SUMMARY' || true
    if ls build/fuzz/crash-* build/fuzz/leak-* build/fuzz/timeout-* >/dev/null 2>&1; then
        echo "fuzz $target found a failing input:" build/fuzz/crash-* build/fuzz/leak-* build/fuzz/timeout-* 2>/dev/null
        exit 1
    fi
    if [[ $grow == --grow ]]; then
        build/fuzz/fuzz_$target -merge=1 -max_len="$max_len" "$corpus" "$scratch" 2>&1 | tail -1
    fi
    rm -rf "$scratch"
    trap - EXIT
done
