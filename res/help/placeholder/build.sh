#!/usr/bin/env bash
# Compiles this project with chmcmd (Debian fp-utils) into res/help/placeholder.chm.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/*.hhp "$here"/*.html "$work"/
(cd "$work" && chmcmd --no-html-scan placeholder.hhp)
cp "$work/placeholder.chm" "$here/../placeholder.chm"
