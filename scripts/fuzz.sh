#!/usr/bin/env bash
# Runs the fuzz targets under ASan and UBSan, each for SECONDS (default 60).
#   scripts/fuzz.sh [SECONDS] [--grow]
#   scripts/fuzz.sh --coverage
# The committed corpus in tests/fuzz/corpus seeds each run, with the
# target's dictionary from tests/fuzz/dictionaries; new inputs go to a
# scratch folder and, with --grow, are merged back into the corpus.
#
# --coverage runs the committed corpus through targets built with clang's
# source-based coverage (build/fuzz-coverage), prints for every function of
# usb/, tree/ and assess/ whether the corpus reached it, and fails when one
# of those named in tests/fuzz/reply_functions.txt was not reached.
set -euo pipefail
cd "$(dirname "$0")/.."
targets="scan_replies topology_file"

max_len_of() {
    case $1 in
        scan_replies) echo 600 ;;
        topology_file) echo 1500 ;;
    esac
}

if [[ "${1:-}" == "--coverage" ]]; then
    scripts/build.sh fuzz-coverage >/dev/null
    build=build/fuzz-coverage
    profiles=$(mktemp -d)
    trap 'rm -rf "$profiles"' EXIT
    objects=()
    for target in $targets; do
        # -runs=0 runs each input of the corpus once and stops.
        LLVM_PROFILE_FILE="$profiles/$target-%p.profraw" \
            "$build/fuzz_$target" -runs=0 -max_len="$(max_len_of "$target")" "tests/fuzz/corpus/$target" \
            >"$profiles/$target.log" 2>&1 || { tail -20 "$profiles/$target.log"; exit 1; }
        objects+=(-object "$build/fuzz_$target")
    done
    llvm-profdata merge -sparse "$profiles"/*.profraw -o "$profiles/all.profdata"
    llvm-cov export -format=text -summary-only=false -instr-profile="$profiles/all.profdata" "${objects[@]:1}" \
        >"$profiles/coverage.json"
    python3 tools/fuzz_coverage.py "$profiles/coverage.json" "${PORTOLAN_REPLY_FUNCTIONS:-tests/fuzz/reply_functions.txt}"
    exit $?
fi

seconds=${1:-60}
grow=${2:-}
scripts/build.sh fuzz >/dev/null

for target in $targets; do
    corpus=tests/fuzz/corpus/$target
    mkdir -p "$corpus"
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    max_len=$(max_len_of "$target")
    echo "== fuzz $target for ${seconds}s"
    # Crash reproducers land in build/fuzz, where the failure message names them.
    build/fuzz/fuzz_$target -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
        -dict="tests/fuzz/dictionaries/$target.dict" -artifact_prefix=build/fuzz/ -print_final_stats=1 \
        "$scratch" "$corpus" 2>&1 |
        grep -E '^(#[0-9]+ +DONE|Done|stat::number_of_executed_units|stat::new_units_added)|ERROR|fuzz check|SUMMARY' || true
    if ls build/fuzz/crash-* build/fuzz/leak-* build/fuzz/timeout-* build/fuzz/oom-* >/dev/null 2>&1; then
        echo "fuzz $target found a failing input:" build/fuzz/crash-* build/fuzz/leak-* build/fuzz/timeout-* \
            build/fuzz/oom-* 2>/dev/null
        exit 1
    fi
    if [[ $grow == --grow ]]; then
        # Edges only: an input joins when it reaches code no other input reaches.
        build/fuzz/fuzz_$target -merge=1 -use_counters=0 -use_value_profile=0 -max_len="$max_len" "$corpus" "$scratch" 2>&1 | tail -1
    fi
    rm -rf "$scratch"
    trap - EXIT
done
