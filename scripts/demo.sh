#!/bin/bash
# Builds the native preset and runs the voxa tool on its two built-in sample
# frames: encode, decode, compare (the tool reports sizes, ratio and PSNR).
# Installs the Debian packages it needs when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh native
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
