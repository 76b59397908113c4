#!/bin/bash
# Writes the sample clip of FFmpeg's VOXA decoder test (FATE), a 128x64
# title of 10 frames as a Windows host writes it, with the frames that the
# decoder must take as the codec does:
#   1-5  the title fading in over the first 4 frames and moving right;
#   6    its two chunks in the other order (second field first);
#   7    one chunk only, the first field's, which then serves both fields;
#   8    an unknown chunk ("JUNK", its payload two field tags) before the
#        field chunks;
#   9    transparent runs of up to 8 blocks as zero run words, one a block;
#   10   cut after three quarters of its bytes, in its second field.
# Frames 1-7 and 10 are 'voxa encode's; 8 and 9 are 'voxa encode-frame's of
# the clip's pictures 8 and 9, edited and put where 'voxa encode' coded a
# larger picture (the first one again), the rest of its chunk a JUNK chunk,
# as are the bytes cut off frame 10.
#
#   scripts/fate-sample.sh VOXA OUTPUT.avi
#
# VOXA is the tool (build/native/tools/voxa). The output is the same bytes on
# every run; ffmpeg/fate-suite/voxa/title.avi is this script's.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 VOXA OUTPUT.avi" >&2; exit 2; }
voxa=$1
out=$2
source "$(dirname "$0")/avi-bytes.sh"

size=128x64
picture=$((128 * 64 * 4))
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$voxa" sample --size $size --frames 10 "$tmp/clip.bgra" >"$tmp/log" 2>&1 ||
  { cat "$tmp/log" >&2; exit 1; }
# picture N: the Nth picture of the clip (raw, bottom line first)
picture() { dd if="$tmp/clip.bgra" bs=$picture skip=$(($1 - 1)) count=1 status=none; }
for n in 1 2 3 4 5 6 7 1 1 10; do picture $n; done >"$tmp/placed.bgra"
"$voxa" encode "$tmp/placed.bgra" "$tmp/title.avi" --size $size --bottom-up --quiet -y
for n in 8 9; do
  picture $n >"$tmp/p$n.bgra"
  "$voxa" encode-frame --size $size "$tmp/p$n.bgra" "$tmp/f$n.voxa" >"$tmp/log" 2>&1 ||
    { cat "$tmp/log" >&2; exit 1; }
done
# frame AVI N OUT: the bytes of the Nth frame
frame() { dd if="$1" bs=1 skip=$(($(avi_frame "$1" "$2") + 8)) count="$(avi_frame_size "$1" "$2")" status=none >"$3"; }
# the first field chunk's length, its end
chunk0() { le "$1" 8 4; }
end0() { echo $((12 + $(chunk0 "$1"))); }

frame "$tmp/title.avi" 6 "$tmp/f6.voxa"
{
  head -c 4 "$tmp/f6.voxa"
  tail -c +$(($(end0 "$tmp/f6.voxa") + 1)) "$tmp/f6.voxa"
  head -c "$(end0 "$tmp/f6.voxa")" "$tmp/f6.voxa" | tail -c +5
} >"$tmp/swapped.voxa"

frame "$tmp/title.avi" 7 "$tmp/f7.voxa"
head -c "$(end0 "$tmp/f7.voxa")" "$tmp/f7.voxa" >"$tmp/single.voxa"

{
  head -c 4 "$tmp/f8.voxa"
  printf JUNK && le32 16 && le32 0x20 && le32 0x80000020 && le32 0x20 && le32 0x80000020
  tail -c +5 "$tmp/f8.voxa"
} >"$tmp/junk.voxa"

# zero_words CHUNK-OFFSET: the chunk of f9 there, its transparent runs of up
# to 8 blocks as that many zero words.
zero_words() {
  local f=$tmp/f9.voxa chunk=$1 pos end word
  local body=$tmp/body
  pos=$((chunk + 8))
  end=$((pos + $(le "$f" $((chunk + 4)) 4)))
  : >"$body"
  while [ "$pos" -lt "$end" ]; do
    word=$(le32s "$f" "$pos")
    pos=$((pos + 4))
    if [ "$word" -lt 0 ] && [ "$word" -ge -8 ]; then
      for ((i = 0; i < -word; i++)); do le32 0; done >>"$body"
    else
      le32 $((word & 0xffffffff)) >>"$body"
      if [ "$word" -gt 0 ]; then
        dd if="$f" bs=1 skip="$pos" count=$((word * 48)) status=none >>"$body"
        pos=$((pos + word * 48))
      fi
    fi
  done
  head -c $((chunk + 4)) "$f" | tail -c 4
  le32 "$(wc -c <"$body")"
  cat "$body"
}
{
  head -c 4 "$tmp/f9.voxa"
  zero_words 4
  zero_words "$(end0 "$tmp/f9.voxa")"
} >"$tmp/zeros.voxa"

frame "$tmp/title.avi" 10 "$tmp/f10.voxa"
head -c $(($(wc -c <"$tmp/f10.voxa") * 3 / 4 & ~3)) "$tmp/f10.voxa" >"$tmp/cut.voxa"

avi_replace_frame "$tmp/title.avi" 6 "$tmp/swapped.voxa"
avi_replace_frame "$tmp/title.avi" 7 "$tmp/single.voxa"
avi_replace_frame "$tmp/title.avi" 8 "$tmp/junk.voxa"
avi_replace_frame "$tmp/title.avi" 9 "$tmp/zeros.voxa"
avi_replace_frame "$tmp/title.avi" 10 "$tmp/cut.voxa"
mv "$tmp/title.avi" "$out"
