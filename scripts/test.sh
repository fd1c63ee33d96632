#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test, once
# in the normal build with warnings as errors and once under AddressSanitizer
# and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh werror
ctest --preset werror
scripts/package.sh --check werror
scripts/setup.sh asan
ctest --preset asan
