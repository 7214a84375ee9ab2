# Sourced by the *_test.sh scripts here: runs a Windows check program of the
# win64 or the win32 build under Wine (the 32-bit one in the same 64-bit
# prefix, as WOW64 runs it) and judges its output (tests/windows/check_lines.h).
#   run_check_program BUILD_DIR PROGRAM.exe "SUMMARY PREFIX: " [ARGS...]
# or, to run it from elsewhere or more than once: prepare_check_program
# BUILD_DIR PROGRAM.exe; run_prepared_program [ARGS...]; judge_check_program
# "SUMMARY PREFIX: ". A run passes when the program exits with 0, prints at
# least one PASS line and no FAIL line, and its summary "PREFIX: N passed,
# M failed" counts exactly its PASS lines and no failure.

# Sets CHECK_EXE to the program's absolute path and sets up the Wine prefix.
prepare_check_program() {
    local build_dir="$1" program="$2" repo
    repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    source "$repo/scripts/wine-x86.sh"
    wine_x86_skip "$build_dir" "$program"
    if [[ ! -f "$build_dir/$program" ]]; then
        echo "FAIL: $build_dir/$program does not exist (build its preset first)" >&2
        return 1
    fi
    build_dir=$(cd "$build_dir" && pwd)
    CHECK_EXE="$build_dir/$program"
    # shellcheck source=../../scripts/wine-env.sh
    source "$repo/scripts/wine-env.sh" "$build_dir" || { echo "FAIL: cannot set up Wine" >&2; return 1; }
    CHECK_STDOUT="$WINE_ENV_PREFIX_ROOT/stdout"
    CHECK_STDERR="$WINE_ENV_PREFIX_ROOT/stderr"
}

# Runs CHECK_EXE; sets CHECK_RC and CHECK_OUTPUT (stdout without carriage returns).
run_prepared_program() {
    CHECK_RC=0
    wine_run "$CHECK_EXE" "$@" >"$CHECK_STDOUT" 2>"$CHECK_STDERR" || CHECK_RC=$?
    CHECK_OUTPUT=$(tr -d '\r' <"$CHECK_STDOUT")
}

print_check_stderr() {
    [[ -s "$CHECK_STDERR" ]] && { echo "stderr:"; sed 's/^/   /' "$CHECK_STDERR"; }
    return 0
}

run_check_program() {
    [[ $# -ge 3 ]] || { echo "usage: run_check_program BUILD_DIR PROGRAM.exe SUMMARY_PREFIX [ARGS...]" >&2; return 2; }
    local prefix="$3"
    prepare_check_program "$1" "$2" || return 1
    shift 3
    run_prepared_program "$@"
    judge_check_program "$prefix"
}

judge_check_program() {
    local prefix="$1" output="$CHECK_OUTPUT" problems=() summary pass_lines
    printf '%s\n' "$output" | grep -a -v '^$' | sed 's/^/   /'
    summary=$(printf '%s\n' "$output" | grep -a -F "$prefix" | grep -a -E '[0-9]+ passed, [0-9]+ failed' | tail -n 1)
    pass_lines=$(printf '%s\n' "$output" | grep -a -c '^PASS ')
    [[ $CHECK_RC -eq 0 ]] || problems+=("exit code $CHECK_RC, expected 0")
    if [[ -z "$summary" ]]; then
        problems+=("no summary line \"${prefix}N passed, M failed\"")
    elif [[ "$summary" != "${prefix}$pass_lines passed, 0 failed"* ]]; then
        problems+=("summary \"$summary\" does not match $pass_lines PASS lines and no failure")
    fi
    [[ $pass_lines -gt 0 ]] || problems+=("no PASS line")
    ! printf '%s\n' "$output" | grep -a -q '^FAIL ' || problems+=("the program reports failed checks")
    if [[ ${#problems[@]} -gt 0 ]]; then
        printf 'FAIL: %s\n' "${problems[@]}"
        print_check_stderr
        return 1
    fi
    echo "PASS: $CHECK_EXE under $WINE_LOADER"
}
