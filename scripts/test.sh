#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test, once
# in the normal build and once under AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh default
ctest --preset default
scripts/setup.sh asan
ctest --preset asan
