#!/usr/bin/env bash
# Builds the Windows installer calvenori-uploader-<version>-win64.exe (NSIS)
# and the portable calvenori-uploader-<version>-win64.zip from the windows
# preset's build into build/windows/package/, and prints their sizes.
#   scripts/windows-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh windows
rm -f build/windows/package/calvenori-uploader-*
cpack --config build/windows/CPackConfig.cmake -B build/windows/package
for file in build/windows/package/calvenori-uploader-*-win64.{exe,zip}; do
  echo "$(basename "$file"): $(stat -c %s "$file") bytes"
done
