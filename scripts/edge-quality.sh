#!/bin/bash
# How the decoders treat the edges of titles against transparency: a frame
# of the tool's sample title (720x576) and a 1080-line title of anti-aliased
# text over nothing with a soft shadow (drawn by ffmpeg), each coded once and
# decoded with every kernel variant this processor has. Prints, per picture
# and variant, what 'voxa compare' measures against the source (colour PSNR
# alpha-weighted, visible pixels lost, pixels off by more than 48), and the
# largest alpha difference between the variants' pictures.
#
#   scripts/edge-quality.sh [VOXA]     (default: build/native/tools/voxa)
set -euo pipefail
cd "$(dirname "$0")/.."

voxa=${1:-build/native/tools/voxa}
[ -x "$voxa" ] || { cmake --preset native >/dev/null && cmake --build --preset native --target voxa >/dev/null; }
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
[ -f "$font" ] || { echo "edge-quality: needs $font (Debian package fonts-dejavu-core)" >&2; exit 1; }
work=build/native/edge-quality
rm -rf "$work" && mkdir -p "$work"
voxa=$(realpath "$voxa")
cd "$work"

"$voxa" sample --size 720x576 title576.bgra 2>/dev/null
text="drawtext=fontfile=$font:fontsize=110:fontcolor=0xEFEFEF:x=120:y=240:text='Anti-aliased text over nothing'"
shadowed="drawtext=fontfile=$font:fontsize=130:x=200:y=640:text='Shadowed Title'"
ffmpeg -v error -f lavfi -i "color=c=black@0.0:s=1920x1080,format=rgba" \
  -f lavfi -i "color=c=black@0.0:s=1920x1080,format=rgba" -filter_complex \
  "[0]${shadowed/x=200:y=640/x=212:y=652}:fontcolor=black@0.85,gblur=sigma=10[shadow];[1]$text,$shadowed:fontcolor=white[text];[shadow][text]overlay=format=auto,vflip" \
  -frames:v 1 -f rawvideo -pix_fmt bgra title1080.bgra

for picture in title576:720x576 title1080:1920x1080; do
  name=${picture%%:*} size=${picture##*:}
  "$voxa" encode-frame --size "$size" "$name.bgra" "$name.voxa" 2>/dev/null
  variants=()
  for kernels in portable sse sse2 avx2; do
    "$voxa" decode-frame --size "$size" --kernels "$kernels" "$name.voxa" "$name.$kernels" >/dev/null 2>&1 || continue
    variants+=("$kernels")
    echo "$name $kernels: $("$voxa" compare --size "$size" "$name.bgra" "$name.$kernels" |
      sed 's/; fully transparent pixels [0-9]*, [0-9]* of them not in the decoded//')"
  done
  for other in "${variants[@]:1}"; do
    echo "$name ${variants[0]} against $other: $("$voxa" compare --size "$size" "$name.${variants[0]}" "$name.$other" |
      grep -o 'largest difference colour [0-9]*, alpha [0-9]*')"
  done
done
