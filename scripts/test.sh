#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh default
ctest --preset default
