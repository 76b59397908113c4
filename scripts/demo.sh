#!/bin/bash
# The codec's real use, on the built-in sample clip (a 720x576 video title
# with alpha, 12 frames, moving and fading in):
#   1. the clip as a PNG sequence with alpha, as a titling program exports it;
#   2. compressed through the real driver: voxa.dll (32-bit Windows) under
#      Wine, written to an AVI file through avifil32 (voxa_avi reports sizes,
#      ratio, PSNR and time per frame and checks every frame against the
#      codec core);
#   3. compressed on Linux: 'voxa encode' of the PNG sequence;
#   4. both AVI files decoded back with 'voxa decode' (PNG sequences), compared
#      with the source (sizes, ratio, PSNR), and a contact sheet written:
#      source, driver and tool rows, every second frame over a checkerboard.
# Builds the native and win32 presets; installs the Debian packages it needs
# when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh all
cmake --preset native
cmake --build --preset native -j 2
cmake --preset win32
cmake --build --preset win32 -j 2 --target voxa_dll voxa_avi

voxa=$root/build/native/tools/voxa
avi_program=$root/build/win32/tests/host/voxa_avi.exe
for program in "$voxa" "$avi_program"; do
  [ -f "$program" ] || { echo "demo: $program was not built" >&2; exit 1; }
done
work=$root/build/native/demo
rm -rf "$work"
mkdir -p "$work/source" "$work/driver" "$work/tool"
cd "$work"

size=720x576
frames=12
echo
echo "=== the sample clip: $frames frames of $size with alpha, as a PNG sequence"
"$voxa" sample --size "$size" --frames "$frames" clip.bgra
# Raw frames are stored bottom line first, as Windows bitmaps are.
ffmpeg -v error -f rawvideo -pix_fmt bgra -s "$size" -framerate 25 -i clip.bgra -vf vflip \
  source/title_%04d.png
echo "demo: source/title_0001.png ... title_$(printf %04d "$frames").png"

echo
echo "=== through voxa.dll (32-bit Windows) under Wine: avifil32 writes driver.avi"
# The first run creates the Wine prefix build/win32/wine-prefix (unless
# WINEPREFIX is set).
"$root/cmake/wine-run.sh" "$root/build/win32/wine-prefix" "$avi_program" \
  --input clip.bgra --output driver.avi --keep | tr -d '\r'

echo
echo "=== through voxa encode on Linux: the PNG sequence into tool.avi"
"$voxa" encode source/title_%04d.png tool.avi
"$voxa" info tool.avi

echo
echo "=== decoded back with voxa decode"
for name in driver tool; do
  "$voxa" decode "$name.avi" "$name/title_%04d.png"
  "$voxa" decode "$name.avi" "$name.bgra" --bottom-up --quiet >/dev/null
  echo "$name.avi against the source: $("$voxa" compare --size "$size" clip.bgra "$name.bgra")"
done
if cmp -s driver.bgra tool.bgra; then
  echo "demo: the driver's file and the tool's decode to the same pictures"
else
  echo "demo: the driver's file and the tool's decode to different pictures" >&2
  exit 1
fi

echo
echo "=== contact sheet"
# Every second frame, 240x192 each, over a grey checkerboard; one row per
# PNG sequence.
checker="geq=lum='if(mod(floor(X/24)+floor(Y/24),2),204,153)':cb=128:cr=128"
graph=""
for i in 0 1 2; do
  graph+="color=c=gray:s=${size}:r=25,format=yuv444p,${checker}[bg$i];"
  graph+="[bg$i][$i:v]overlay=shortest=1:format=auto,select='not(mod(n,2))',"
  graph+="scale=240:192:flags=area,tile=6x1[row$i];"
done
graph+="[row0][row1][row2]vstack=inputs=3,format=rgb24"
ffmpeg -v error -y \
  -framerate 25 -i source/title_%04d.png \
  -framerate 25 -i driver/title_%04d.png \
  -framerate 25 -i tool/title_%04d.png \
  -filter_complex "$graph" -frames:v 1 contact-sheet.png
echo "demo: rows: the source, through voxa.dll under Wine, through voxa encode"
echo "demo: contact sheet: $work/contact-sheet.png"
