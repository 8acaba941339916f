#!/usr/bin/env bash
# Builds the Debian package into build-package/ and prints its path: built
# as Debian builds its packages (the compiler and linker flags of
# dpkg-buildflags, every hardening feature on), without tests and benchmarks,
# packed by CPack with its dependencies read from the binary (dpkg-shlibdeps).
#
#   scripts/package.sh     then: apt-get install ./build-package/terrain-viewer_VERSION_amd64.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-package"
# What it does goes to standard error, a line a step with the build's own
# progress; standard output holds only the package's path.
"$root/scripts/setup.sh"
cd "$root"  # dpkg-buildflags maps this folder out of the debugging paths

echo "package.sh: configuring build-package/ with Debian's build flags (hardening on)" >&2
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=None -DBUILD_TESTING=OFF -DTERRAIN_BENCHMARKS=OFF >/dev/null
echo "package.sh: building the viewer and its manual page (a minute or so on 2 cores)" >&2
cmake --build "$build" -j"$(nproc)" >&2
echo "package.sh: packing it with CPack" >&2
rm -f "$build"/terrain-viewer_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }
ls "$build"/terrain-viewer_*.deb
