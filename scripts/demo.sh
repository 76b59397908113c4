#!/bin/bash
# Builds the native preset and runs the voxa tool on its two built-in sample
# frames: encode, decode, compare (the tool reports sizes, ratio and PSNR).
# Then builds voxa.dll for 32-bit Windows and sends a short title clip
# through it under Wine, as a Video for Windows program would: written to an
# AVI file through avifil32 and read back (voxa_avi reports sizes, ratio,
# PSNR and time per frame, and checks every frame against the codec core).
# Installs the Debian packages it needs when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh all
cmake --preset native
cmake --build --preset native -j 2

voxa=build/native/tools/voxa
[ -x "$voxa" ] || { echo "demo: $voxa was not built" >&2; exit 1; }
work=build/native/demo
rm -rf "$work"
mkdir -p "$work"

size=720x576
for kind in title opaque; do
  echo
  echo "=== $kind sample, $size RGBA"
  raw=$work/$kind.rgba
  "$voxa" sample --size "$size" --format rgba --kind "$kind" "$raw"
  "$voxa" encode-frame --size "$size" --format rgba "$raw" "$work/$kind.voxa"
  "$voxa" decode-frame --size "$size" --format rgba "$work/$kind.voxa" "$work/$kind.decoded.rgba"
  "$voxa" compare --size "$size" --format rgba "$raw" "$work/$kind.decoded.rgba"
done

echo
echo "=== voxa.dll (32-bit Windows, under Wine): a 720x576 title clip through avifil32"
cmake --preset win32
cmake --build --preset win32 -j 2 --target voxa_dll voxa_avi
root=$PWD
win32=$root/build/win32
[ -f "$win32/tools/voxa_avi.exe" ] || { echo "demo: $win32/tools/voxa_avi.exe was not built" >&2; exit 1; }
mkdir -p "$win32/demo"
# The first run creates the Wine prefix build/win32/wine-prefix (unless
# WINEPREFIX is set).
(cd "$win32/demo" &&
   "$root/cmake/wine-run.sh" "$win32/wine-prefix" "$win32/tools/voxa_avi.exe" \
     --frames 10 --output voxa-clip.avi --keep)
echo "demo: the clip is build/win32/demo/voxa-clip.avi"
