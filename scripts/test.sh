#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test, once
# in the normal build with warnings as errors and once under AddressSanitizer
# and UBSan. The Windows programs are cross-built first, packaged, and tested
# under Wine by the normal build's CTest (label "wine"); the time that part
# costs is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
scripts/windows-package.sh
windows_build=$((SECONDS - started))
CALVENORI_WINDOWS_BUILD=build/windows scripts/setup.sh werror
started=$SECONDS
# Wine now and then fails to start a process at all (CreateProcess: "Internal
# error"), which no Windows does: a Wine test that fails runs once more.
ctest --preset werror -L wine --repeat until-pass:2
windows_tests=$((SECONDS - started))
ctest --preset werror -LE wine
scripts/package.sh --check werror
scripts/setup.sh asan
ctest --preset asan
echo "Windows part: build and packages ${windows_build} s, Wine tests ${windows_tests} s"
