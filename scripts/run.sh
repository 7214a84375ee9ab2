#!/usr/bin/env bash
# The main job: Portolan's scan on the bundled sample PC.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh native >/dev/null
build/native/portolan-report "${@:-samples/office-pc.json}"
