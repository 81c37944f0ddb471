#!/usr/bin/env bash
# Takes the panel's pictures with the driver and turns them into PNG files:
#   take-screenshots.sh WINE_RUN DRIVER_EXE SCREENSHOT_DIR
# The driver writes BMP files into SCREENSHOT_DIR (the screenshots/ folder beside its bin/ folder).
set -euo pipefail
usage() { echo "usage: tests/driver/take-screenshots.sh WINE_RUN DRIVER_EXE SCREENSHOT_DIR"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) usage >&2; exit 2 ;;
esac
[ $# -ge 3 ] || { usage >&2; exit 2; }
wine_run=$1 driver=$2 folder=$3

mkdir -p "$folder"
rm -f "$folder"/panel-*.bmp "$folder"/panel-*.png
"$wine_run" "$driver" --gtest_filter='PanelScreenshots.*'

for picture in panel-opened panel-output-on; do
  [ -s "$folder/$picture.bmp" ] || { echo "take-screenshots: $picture.bmp was not written" >&2; exit 1; }
  convert "$folder/$picture.bmp" "$folder/$picture.png"
  rm -f "$folder/$picture.bmp"
  echo "take-screenshots: $folder/$picture.png"
done
