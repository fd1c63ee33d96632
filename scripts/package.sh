#!/usr/bin/env bash
# Builds the Debian package calvenori-uploader_<version>_<arch>.deb from a
# preset's build (default: "default"; CPack strips what it packages) into
# build/<preset>/package/ and checks it with lintian, failing on any error.
# With --check (CI) it also lists the package, unpacks it into a throwaway
# folder and runs every program's --version from there, checks that the
# training kit (the example files) is in it and named by the man pages, and
# runs the user guide's session with the unpacked programs and examples alone.
#   scripts/package.sh [--check] [preset]
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
if [ "${1:-}" = "--check" ]; then check=1; shift; fi
preset="${1:-default}"
build="build/$preset"

CALVENORI_PACKAGING=1 scripts/setup.sh "$preset"
rm -f "$build"/package/*.deb
cpack --config "$build/CPackConfig.cmake" -B "$build/package"
deb=$(ls "$build"/package/calvenori-uploader_*.deb)
echo "lintian $deb:"
lintian --fail-on error "$deb"
echo "lintian: no errors"
[ "$check" -eq 1 ] || exit 0

dpkg-deb -c "$deb"
unpacked="$(mktemp -d "${TMPDIR:-/tmp}/calvenori-package.XXXXXX")"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
version="$(dpkg-deb -f "$deb" Version)"
for program in calvenori-uploader calvenori-upload calvenori-sim; do
  [ -x "$unpacked/usr/bin/$program" ] || { echo "$deb lacks usr/bin/$program" >&2; exit 1; }
done
for program in "$unpacked"/usr/bin/*; do
  name="$(basename "$program")"
  [ -f "$unpacked/usr/share/man/man1/$name.1.gz" ] || { echo "$deb lacks a man page for $name" >&2; exit 1; }
  # The system's Qt, no library path of ours; no display needed.
  said="$(QT_QPA_PLATFORM=offscreen timeout 30 "$program" --version)"
  echo "$name --version: $said"
  grep -qwF "$version" <<<"$said" || { echo "$name does not say version $version" >&2; exit 1; }
done

# The training kit: the examples as in the source tree, where the man pages say.
examples=usr/share/calvenori-uploader/examples
for file in pump-parameters.txt pump-controller-v1.5.s19; do
  cmp -s "examples/$file" "$unpacked/$examples/$file" || { echo "$deb lacks $examples/$file" >&2; exit 1; }
done
for name in calvenori-upload calvenori-sim calvenori-uploader; do
  # grep reads to the end: with -q it may leave sed writing into a closed pipe,
  # and pipefail then takes SIGPIPE for a missing name.
  zcat "$unpacked/usr/share/man/man1/$name.1.gz" | sed 's/\\-/-/g' | grep -F "/$examples" >/dev/null ||
    { echo "the man page of $name does not name /$examples" >&2; exit 1; }
done
echo "examples: /$examples, named by the man pages"

# The user guide's session from the package alone: the simulator in the
# background, a whole upload of the examples through its control socket.
session="$unpacked/session"
mkdir "$session"
coproc SIM { exec "$unpacked/usr/bin/calvenori-sim" --control "$session/ctl" --link "$session/pump"; }
# Bash forgets SIM_PID once the coprocess has ended: keep it.
sim_pid=$SIM_PID
read -r device <&"${SIM[0]}"
status=0
(cd "$session" && "$unpacked/usr/bin/calvenori-upload" --port "$session/pump" \
   --params "$unpacked/$examples/pump-parameters.txt" --program "$unpacked/$examples/pump-controller-v1.5.s19" \
   --actions "$unpacked/usr/bin/calvenori-sim ctl $session/ctl" --restore keep) >"$session/upload.log" 2>&1 || status=$?
kill "$sim_pid" 2>/dev/null || echo "note: the simulator had ended before the session's end" >&2
wait "$sim_pid" || true
if [ "$status" -ne 0 ]; then
  cat "$session/upload.log" >&2
  echo "the examples' upload through $device ended with status $status" >&2
  exit 1
fi
echo "session: the examples uploaded through the simulator on $device"
