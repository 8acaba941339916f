#!/usr/bin/env bash
# Installs what the viewer and its tests need on Debian 12, only what is missing,
# and the further packages a script names (scripts/setup.sh gnuplot-nox).
set -euo pipefail

packages=(
  cmake g++ make pkg-config clang libclang-rt-14-dev
  liballegro5-dev liballegro-acodec5-dev liballegro-audio5-dev liballegro-dialog5-dev
  liballegro-image5-dev liballegro-ttf5-dev liballegro-video5-dev libpulse-dev libopenal-dev
  libx11-dev libxtst-dev libgl1-mesa-dri libgtest-dev libgmock-dev
  xvfb xdotool imagemagick time file
  # The fuzz target's copy of Allegro, built from source: what its core needs.
  libgl-dev libglu1-mesa-dev libxcursor-dev
  # The Debian package and its check: the manual page's source tool, CPack's
  # dpkg-shlibdeps, man, lintian; GDAL for the GeoTIFF recipe.
  scdoc dpkg-dev man-db lintian gdal-bin
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "setup: apt-get update" >&2
$sudo apt-get update -qq
# apt-get's own progress (a line a package fetched, unpacked and set up) on
# standard error: standard output stays the callers'.
echo "setup: apt-get install (some minutes on a fresh machine)" >&2
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
