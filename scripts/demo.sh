#!/usr/bin/env bash
# Installs what is missing, builds, and runs a whole upload against the
# simulated pump controller with the files in examples/. With a display you
# click through it; without one (or with --unattended) it runs by itself,
# reports each step here and saves screenshots to ./demo-output/.
#   scripts/demo.sh [--unattended] [--unpaced] [--mode full|parameters] [--out DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/setup.sh" default calvenori-demo
exec "$root/build/default/demo/calvenori-demo" "$@"
