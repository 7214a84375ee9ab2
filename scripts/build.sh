#!/usr/bin/env bash
# Configures and builds one or more presets: native, native-asan, win32, win64.
#   scripts/build.sh [--target TARGET]... PRESET...
# With --target only those targets (and what they need) are built.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
targets=()
while [[ "${1:-}" == --target ]]; do
    targets+=(--target "$2")
    shift 2
done
for preset in "$@"; do
    echo "== build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs" "${targets[@]}"
done
