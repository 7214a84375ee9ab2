#!/usr/bin/env bash
# Screenshots of the five help pages in a real browser engine (headless
# Chromium), for the README: Wine's HTML Help window cannot show them here.
#   docs/images/help-t100.png ... help-t104.png
#
#   scripts/help-screenshots.sh [OUTPUT_DIR]      (default docs/images)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=${1:-docs/images}
scripts/setup.sh
if ! command -v chromium >/dev/null 2>&1; then
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update
    "${sudo_cmd[@]}" apt-get install -y --no-install-recommends chromium
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)

# As wide as the advice window beside the main window on a 1280 by 1024
# screen; tall enough for the longest page, the white below cut off after.
profile=$(mktemp -d "${TMPDIR:-/tmp}/portolan-chromium.XXXXXX")
pages="$profile/pages"
trap 'rm -rf "$profile"' EXIT
# The pages as the help file holds them, the support contact filled in.
scripts/build-help.sh --sources "$pages"
for topic in 100 101 102 103 104; do
    chromium --headless=new --no-sandbox --disable-gpu --hide-scrollbars \
        --user-data-dir="$profile" --window-size=560,2400 \
        --screenshot="$out/help-t$topic.png" "file://$pages/t$topic.html" 2>/dev/null
    [[ -s "$out/help-t$topic.png" ]] || { echo "help-screenshots: no picture of t$topic.html" >&2; exit 1; }
    convert "$out/help-t$topic.png" -trim +repage -bordercolor white -border 14 "$out/help-t$topic.png"
    echo "help-screenshots: $out/help-t$topic.png"
done
