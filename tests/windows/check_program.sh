# Sourced by the *_test.sh scripts here: runs one Windows check program of the
# win64 build under wine64 and judges its output.
#
#   source tests/windows/check_program.sh
#   run_check_program BUILD_DIR PROGRAM.exe "SUMMARY PREFIX: " [ARGS...]
# or, to run the program from elsewhere or more than once:
#   prepare_check_program BUILD_DIR PROGRAM.exe; CHECK_EXE=...;
#   run_prepared_program [ARGS...]; judge_check_program "SUMMARY PREFIX: "
#
# The program prints one "PASS name" or "FAIL name" line per check and ends
# with "SUMMARY PREFIX: N passed, M failed" (anything may follow M). It
# passes when it exits with 0, prints at least one PASS line and no FAIL line,
# and its summary counts exactly its PASS lines and no failure.

# Sets CHECK_EXE to BUILD_DIR/PROGRAM.exe as an absolute path and sets up
# the Wine prefix; fails when the program was not built.
prepare_check_program() {
    local build_dir="$1" program="$2"
    if [[ ! -f "$build_dir/$program" ]]; then
        echo "FAIL: $build_dir/$program does not exist (build the win64 preset first)" >&2
        return 1
    fi
    build_dir=$(cd "$build_dir" && pwd)
    CHECK_EXE="$build_dir/$program"
    local repo
    repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    # shellcheck source=../../scripts/wine-env.sh
    source "$repo/scripts/wine-env.sh" "$build_dir" || { echo "FAIL: cannot set up Wine" >&2; return 1; }
    CHECK_STDOUT="$WINE_ENV_PREFIX_ROOT/stdout"
    CHECK_STDERR="$WINE_ENV_PREFIX_ROOT/stderr"
}

# Runs CHECK_EXE with ARGS into CHECK_STDOUT and CHECK_STDERR; sets
# CHECK_RC and CHECK_OUTPUT (stdout without carriage returns).
run_prepared_program() {
    CHECK_RC=0
    wine_run "$CHECK_EXE" "$@" >"$CHECK_STDOUT" 2>"$CHECK_STDERR" || CHECK_RC=$?
    CHECK_OUTPUT=$(tr -d '\r' <"$CHECK_STDOUT")
}

print_check_stderr() {
    if [[ -s "$CHECK_STDERR" ]]; then
        echo "stderr:"
        sed 's/^/   /' "$CHECK_STDERR"
    fi
}

run_check_program() {
    if [[ $# -lt 3 ]]; then
        echo "usage: run_check_program BUILD_DIR PROGRAM.exe SUMMARY_PREFIX [ARGS...]" >&2
        return 2
    fi
    local prefix="$3"
    prepare_check_program "$1" "$2" || return 1
    shift 3
    run_prepared_program "$@"
    judge_check_program "$prefix"
}

# Judges the last run_prepared_program by the rules above.
judge_check_program() {
    local prefix="$1"
    local output="$CHECK_OUTPUT"
    printf '%s\n' "$output" | grep -a -v '^$' | sed 's/^/   /'

    local status=0 summary pass_lines
    if [[ $CHECK_RC -ne 0 ]]; then
        echo "FAIL: exit code $CHECK_RC, expected 0"
        status=1
    fi
    summary=$(printf '%s\n' "$output" | grep -a -F "$prefix" | grep -a -E '[0-9]+ passed, [0-9]+ failed' | tail -n 1)
    pass_lines=$(printf '%s\n' "$output" | grep -a -c '^PASS ')
    if [[ -z "$summary" ]]; then
        echo "FAIL: no summary line \"${prefix}N passed, M failed\""
        status=1
    elif [[ "$summary" != "${prefix}$pass_lines passed, 0 failed"* ]]; then
        echo "FAIL: summary \"$summary\" does not match $pass_lines PASS lines and no failure"
        status=1
    fi
    if [[ $pass_lines -eq 0 ]]; then
        echo "FAIL: no PASS line"
        status=1
    fi
    if printf '%s\n' "$output" | grep -a -q '^FAIL '; then
        echo "FAIL: the program reports failed checks"
        status=1
    fi
    if [[ $status -ne 0 ]]; then
        print_check_stderr
        return 1
    fi
    echo "PASS: $CHECK_EXE under $WINE_LOADER"
}
