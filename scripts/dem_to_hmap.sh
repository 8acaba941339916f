#!/bin/sh
# Turns an elevation model into a height image for terrain-viewer: its lowest
# point becomes the lowest level, its highest the highest, linearly between.
#
#   dem_to_hmap.sh [--shaded] [--] ELEVATION_FILE [HEIGHT_IMAGE]
#
# Levels 0 to 255 by default (the full range: 0 lies 156 units below the
# camera, 255 lies 99 above it); with --shaded, levels 1 to 50, the only ones
# the viewer shades (from black to green), so the relief shows. The height
# image is hmap.bmp unless named; it is written beside itself under a
# temporary name and takes its place only once complete and checked, with the
# mode the umask gives new files. Flat ground becomes the lowest level
# everywhere, with a warning.
#
# What GDAL reads (gdalinfo says so: GeoTIFF, NetCDF, PNG, ...) goes through
# GDAL: bands of any type (Byte, Int16, UInt16, Int32, Float32, Float64), with
# their scale and offset applied; the lowest and highest elevations computed
# from the cells themselves, never taken from stored statistics, which may be
# stale; cells of no data (the band's no-data value, or NaN) at level 0.
# Anything else goes through ImageMagick's convert, grey levels of any depth.
set -eu

me=dem_to_hmap.sh
low=0 high=255
while [ $# -gt 0 ]; do
  case $1 in
    --shaded) low=1 high=50; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $me [--shaded] [--] ELEVATION_FILE [HEIGHT_IMAGE]" >&2
  exit 2
fi
dem=$1 hmap=${2:-hmap.bmp}
fail() { echo "$me: $*" >&2; exit 1; }

# A name as a path that no tool takes for an option ("-help") or a format ("png:x").
as_path() { case $1 in /*) printf '%s' "$1" ;; *) printf './%s' "$1" ;; esac; }

# The lowest and highest value of a file's first band, no-data cells left
# out, computed from its cells; "" when it has none.
computed_range() {
  gdalinfo --config GDAL_PAM_ENABLED NO -mm "$1" |
    sed -n 's/^.*Computed Min\/Max=\([^,]*\),\([^ ]*\).*$/\1 \2/p' | head -1
}

# The sum of two numbers, to all the figures a double holds.
plus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.17g", a + b }'; }

# The range from $1 to $2 widened by more than a 32-bit float misses it by.
widened() {
  awk -v a="$1" -v b="$2" 'function size(x) { return x < 0 ? -x : x }
    BEGIN { d = 0.001 + 1e-6 * (size(a) > size(b) ? size(a) : size(b)); printf "%.17g %.17g", a - d, b + d }'
}

gdal_reads() {
  command -v gdalinfo >/dev/null 2>&1 && command -v gdal_translate >/dev/null 2>&1 &&
    gdalinfo --config GDAL_PAM_ENABLED NO "$1" >/dev/null 2>&1
}

if [ -f "$dem" ]; then
  src=$(as_path "$dem")
elif case $dem in -*) false ;; *:*) gdal_reads "$dem" ;; *) false ;; esac; then
  src=$dem  # one layer of a file, as GDAL names it: NETCDF:"dem.nc":elevation
else
  fail "$dem: no such file"
fi
[ -d "$hmap" ] && fail "$hmap is a folder: name the height image to write"
# shellcheck disable=SC3013  # -ef: dash, bash and busybox sh all have it
if [ -e "$hmap" ] && [ "$dem" -ef "$hmap" ]; then
  fail "$hmap is the elevation model itself: name another height image"
fi

# Work files in a folder of their own, and the height image written beside
# itself under a name of the script's, which no tool reads a pattern into
# (ImageMagick only ever writes to standard output). Both go on exit, and
# on the signals that end the script.
work="" tmp=""
trap 'rm -rf -- ${work:+"$work"} ${tmp:+"$tmp"}' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
work=$(mktemp -d) || fail "cannot make a temporary folder"
errors=$work/errors
# Beside the height image, so the rename at the end cannot half happen.
tmp=$(mktemp "$(dirname -- "$hmap")/.dem_to_hmap.XXXXXX") || fail "cannot write beside $hmap"

flat=""
warn_flat() {
  flat=yes
  echo "$me: warning: $dem is flat (every cell at one elevation), so the height image is level $low everywhere" >&2
}

# ImageMagick stopped by its resource policy (a model of 30000 x 30000, say):
# which limit, and what to do. Anything else: its own words.
imagemagick_failed() {
  cat "$errors" >&2
  policy=$(convert -list policy 2>/dev/null | sed -n 's/^Path: //p' | head -1)
  limit() { identify -list resource 2>/dev/null | sed -n "s/^ *$1: *//p"; }
  if grep -q 'exceeds limit' "$errors"; then
    fail "ImageMagick's resource policy stopped it: $dem is wider or taller than its width and height limits" \
      "(width $(limit Width), height $(limit Height); identify -list resource shows them). Raise them (name=\"width\" and name=\"height\") in" \
      "${policy:-its policy.xml}, or shrink the model under them with the tool that made it."
  elif grep -q 'resources exhausted\|memory allocation failed' "$errors"; then
    fail "ImageMagick's resource policy stopped it: $dem needs more than its area, memory, map or disk limits" \
      "allow ($(limit Area) pixels, $(limit Memory), $(limit Map), $(limit Disk)). Raise them (name=\"area\"," \
      "\"memory\", \"map\", \"disk\") in ${policy:-its policy.xml}, or shrink the model under them."
  fi
  fail "ImageMagick could not turn $dem into a height image"
}

if gdal_reads "$src"; then
  # A file of several layers (NetCDF variables, say) opens as its one layer,
  # or names them.
  if ! gdalinfo --config GDAL_PAM_ENABLED NO "$src" | grep -q '^Band 1 '; then
    layers=$(gdalinfo --config GDAL_PAM_ENABLED NO "$src" | sed -n 's/^ *SUBDATASET_[0-9]*_NAME=//p')
    [ "$(printf '%s\n' "$layers" | grep -c .)" = 1 ] ||
      fail "$dem holds several layers: name one as GDAL does, in single quotes" \
        "($me [--shaded] 'LAYER' [HEIGHT_IMAGE]). Its layers:$(printf '\n%s' "$layers" | sed 's/^./  &/')"
    src=$layers
  fi
  # The elevations themselves: the band's scale and offset applied, as
  # 64-bit floats, in a virtual file that reads the model as it goes.
  elevations=$work/elevations.vrt
  gdal_translate -q --config GDAL_PAM_ENABLED NO -of VRT -b 1 -unscale -ot Float64 "$src" "$elevations" ||
    fail "GDAL could not read the elevations of $dem"
  range=$(computed_range "$elevations")
  [ -n "$range" ] || fail "GDAL found no elevations in $dem (every cell is no data)"
  # shellcheck disable=SC2086  # two numbers
  set -- $range
  # Printed to three decimals, too coarse for the levels of a narrow range (a
  # model in kilometres, say): then read again from the elevations stretched
  # over 0 to 10^9, from a little below the lowest to a little above the
  # highest (GDAL reckons them in 32-bit floats: 7 figures). The height
  # image is made from the same stretched elevations, so its ends are exact.
  if awk -v a="$1" -v b="$2" 'BEGIN { exit !(b - a < 1000) }'; then
    stretched=$work/stretched.vrt
    # shellcheck disable=SC2046  # two numbers
    gdal_translate -q --config GDAL_PAM_ENABLED NO -of VRT -scale $(widened "$1" "$2") 0 1000000000 \
      "$elevations" "$stretched" || fail "GDAL could not read the elevations of $dem"
    elevations=$stretched
    range=$(computed_range "$elevations")
    # shellcheck disable=SC2086  # two numbers
    set -- $range
    [ $# = 2 ] || fail "GDAL could not read the elevations of $dem"
  fi
  bottom=$1 top=$2
  if awk -v a="$bottom" -v b="$top" 'BEGIN { exit !(a == b) }'; then
    warn_flat
    top=$(plus "$bottom" 1) high=$low  # the one elevation onto the lowest level
    set -- "$low" "$((low + 1))"
  else
    set -- "$low" "$high"
  fi
  # No .aux.xml file beside the image (GDAL_PAM_ENABLED=NO): the viewer has no use for one.
  gdal_translate -q --config GDAL_PAM_ENABLED NO -ot Byte -scale "$bottom" "$top" "$1" "$2" -a_nodata 0 \
    -of BMP "$elevations" "$tmp" || fail "GDAL could not turn $dem into a height image"
  levels=$(computed_range "$tmp" | sed 's/\.[0-9]*//g')
  nodata=0  # no-data cells lie below the lowest level
else
  command -v convert >/dev/null 2>&1 ||
    fail "GDAL cannot read $dem, and ImageMagick is not installed (Debian: apt-get install imagemagick)"
  # +level and -evaluate take percentages of the whole range, whatever ImageMagick's depth.
  percent() { awk -v level="$1" 'BEGIN { printf "%.6f", level * 100 / 255 }'; }
  range=$(convert "$src" -alpha off -colorspace Gray -format '%[min] %[max]' info: 2>"$errors") ||
    imagemagick_failed
  # shellcheck disable=SC2086  # two numbers
  set -- $range
  if [ "$1" = "$2" ]; then
    warn_flat
    high=$low
    set -- -evaluate set "$(percent "$low")%"
  else
    set -- -auto-level +level "$(percent $low)%,$(percent $high)%"
  fi
  convert "$src" -alpha off -colorspace Gray "$@" -depth 8 -type Grayscale BMP3:- 2>"$errors" >"$tmp" ||
    imagemagick_failed
  levels=$(convert BMP3:- -channel B -separate -format '%[fx:round(255*minima)] %[fx:round(255*maxima)]' \
    info: <"$tmp" 2>/dev/null) || levels=""
  nodata=$low
fi

# The promised levels, or nothing is replaced.
# shellcheck disable=SC2086  # two numbers
set -- $levels ""
if [ "${2:-}" != "$high" ] || { [ "$1" != "$low" ] && [ "$1" != "$nodata" ]; }; then
  fail "the height image came out with levels ${levels:-unknown}, not $low to $high; $hmap is left as it was"
fi
chmod "$(printf '%o' $((0666 & ~0$(umask))))" "$tmp"
mv -f -- "$tmp" "$hmap"
[ -s "$hmap" ] || fail "$hmap could not be written"
if [ -n "$flat" ]; then
  echo "$hmap: level $low everywhere (flat ground)"
else
  echo "$hmap: levels $low to $high"
fi
