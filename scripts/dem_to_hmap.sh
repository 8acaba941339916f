#!/bin/sh
# Turns an elevation model into a height image for terrain-viewer: its lowest
# point becomes the lowest level, its highest the highest, linearly between.
#
#   dem_to_hmap.sh [--shaded] ELEVATION_FILE [HEIGHT_IMAGE]
#
# Levels 0 to 255 by default (the full range: 0 lies 156 units below the
# camera, 255 lies 99 above it); with --shaded, levels 1 to 50, the only ones
# the viewer shades (from black to green), so the relief shows. The height
# image is hmap.bmp unless named.
#
# A GeoTIFF (.tif, .tiff) goes through GDAL's gdal_translate, which knows its
# no-data value: no-data cells become level 0. Anything else (a 16-bit PNG,
# say) goes through ImageMagick's convert, grey levels of any depth.
set -eu

low=0 high=255
if [ "${1:-}" = --shaded ]; then
  low=1 high=50
  shift
fi
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: dem_to_hmap.sh [--shaded] ELEVATION_FILE [HEIGHT_IMAGE]" >&2
  exit 2
fi
dem=$1 hmap=${2:-hmap.bmp}
[ -f "$dem" ] || { echo "dem_to_hmap.sh: $dem: no such file" >&2; exit 1; }

needs() {
  command -v "$1" >/dev/null 2>&1 || { echo "dem_to_hmap.sh: $2 needs $1 (Debian: apt-get install $3)" >&2; exit 1; }
}

case "$dem" in
  *.tif | *.tiff | *.TIF | *.TIFF)
    needs gdal_translate "a GeoTIFF" gdal-bin
    # The lowest and highest elevation, no-data cells left out.
    range=$(gdalinfo -mm "$dem" | sed -n 's/^ *Computed Min\/Max=\([^,]*\),\(.*\)$/\1 \2/p' | head -1)
    [ -n "$range" ] || { echo "dem_to_hmap.sh: GDAL found no elevations in $dem" >&2; exit 1; }
    # shellcheck disable=SC2086  # two numbers
    set -- $range
    # No .aux.xml file beside the image (GDAL_PAM_ENABLED=NO): the viewer has no use for one.
    gdal_translate -q --config GDAL_PAM_ENABLED NO -b 1 -ot Byte -scale "$1" "$2" "$low" "$high" -a_nodata 0 \
      -of BMP "$dem" "$hmap"
    ;;
  *)
    needs convert "this" imagemagick
    # +level takes percentages of the whole range, whatever ImageMagick's depth.
    percent() { awk -v level="$1" 'BEGIN { printf "%.6f", level * 100 / 255 }'; }
    convert "$dem" -alpha off -colorspace Gray -auto-level +level "$(percent $low)%,$(percent $high)%" \
      -depth 8 -type Grayscale "BMP3:$hmap"
    ;;
esac
echo "$hmap: levels $low to $high"
