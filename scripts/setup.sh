#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test the uploader,
# then configures and builds the given CMake preset (default: "default"), all
# of it or only the targets named after it. CALVENORI_PACKAGING=1 adds what
# scripts/package.sh needs. The "windows" preset cross-builds with MinGW-w64
# against the Qt of ../shared/toolchains (CALVENORI_TOOLCHAINS names another
# folder), unpacked once into build/qt-mingw64, and installs Wine and NSIS.
#   scripts/setup.sh [preset [target...]]
set -euo pipefail
cd "$(dirname "$0")/.."

preset="${1:-default}"
shift || true
targets=("$@")
packages=(build-essential cmake ninja-build qt6-base-dev qt6-serialport-dev libgl-dev socat)
case "$preset" in
  asan|fuzz) packages+=(clang libclang-rt-dev) ;;
  windows) packages+=(g++-mingw-w64-x86-64-posix qt6-base-dev-tools wine wine64 fonts-wine nsis xvfb x11-utils) ;;
esac
[ -n "${CALVENORI_PACKAGING:-}" ] && packages+=(dpkg-dev file help2man lintian)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "== Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [ "$preset" = windows ] && [ ! -d build/qt-mingw64/qt-6.4.2-mingw64 ]; then
  archive="${CALVENORI_TOOLCHAINS:-../shared/toolchains}/qt-6.4.2-mingw64.tar.xz"
  echo "== Unpacking $archive"
  mkdir -p build/qt-mingw64
  tar -xJf "$archive" -C build/qt-mingw64
fi

echo "== Configuring preset $preset"
configure=(cmake --preset "$preset")
# The Windows build whose programs the Linux build's tests run under Wine.
[ -n "${CALVENORI_WINDOWS_BUILD:-}" ] && configure+=("-DCALVENORI_WINDOWS_BUILD=$(realpath "$CALVENORI_WINDOWS_BUILD")")
"${configure[@]}" >/dev/null
echo "== Building ${targets[*]:-everything} ($preset)"
build=(cmake --build --preset "$preset" -j "$(nproc)")
[ "${#targets[@]}" -gt 0 ] && build+=(--target "${targets[@]}")
"${build[@]}"
