#!/bin/bash
# FFmpeg with VOXA (scripts/build-ffmpeg.sh) against the tool and the real
# driver under Wine:
#   - ffprobe names the codec;
#   - ffmpeg decodes an AVI written by 'voxa encode' and one written through
#     avifil32 and the 32-bit driver to the pictures 'voxa decode' gives
#     (framemd5 of both, as BGRA);
#   - an AVI written by 'ffmpeg -c:v libvoxa' holds the frames 'voxa encode'
#     writes of the same clip, and 'voxa decode', 'voxa info' and the 32- and
#     64-bit drivers through avifil32 read it;
#   - a damaged frame is FFmpeg's "Invalid data" error, the other frames
#     decode; a width VOXA does not take is refused with a reason;
#   - a title laid over a video with the overlay filter gives the picture the
#     same overlay of 'voxa decode's PNGs gives.
#
#   scripts/test-ffmpeg.sh
#
# Builds what it needs (FFmpeg through scripts/build-ffmpeg.sh; voxa; voxa_dll
# and voxa_avi of win32 and win64). Runs in build/ffmpeg-test. Ends with
# "ffmpeg-test: N passed, M failed"; exit status 0 when all passed.
set -uo pipefail

cd "$(dirname "$0")/.." || exit 1
root=$PWD

passed=0
failed=0
note() { echo "ffmpeg-test: $*"; }
pass() { passed=$((passed + 1)); echo "  ok: $*"; }
fail() { failed=$((failed + 1)); echo "  FAILED: $*"; }
die() { echo "ffmpeg-test: FAILED: $*" >&2; exit 1; }
# check DESCRIPTION COMMAND...: passes when the command succeeds.
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

scripts/build-ffmpeg.sh || die "building FFmpeg"
for preset in win32 win64; do
  log=build/test-ffmpeg-$preset.log
  if [ ! -f "build/$preset/build.ninja" ]; then
    cmake --preset "$preset" >"$log" 2>&1 || { cat "$log"; die "configure of preset $preset"; }
  fi
  cmake --build "build/$preset" --target voxa_dll voxa_avi >"$log" 2>&1 ||
    { cat "$log"; die "build of voxa_dll voxa_avi in build/$preset"; }
done
voxa=$root/build/native/tools/voxa
ffmpeg=$root/build/ffmpeg/bin/ffmpeg
ffprobe=$root/build/ffmpeg/bin/ffprobe

work=$root/build/ffmpeg-test
rm -rf "$work"
mkdir -p "$work"
cd "$work" || die "cannot enter $work"

# wine_run PRESET LOG PROGRAM ARGS...: a Windows program of PRESET under Wine.
wine_run() {
  local preset=$1 log=$2
  shift 2
  "$root/cmake/wine-run.sh" "$root/build/$preset/wine-prefix" "$@" </dev/null >"$log" 2>&1
}
# hashes INPUT-OPTIONS...: the MD5 of every decoded picture as BGRA, one a line.
hashes() {
  "$ffmpeg" -nostdin -v error "$@" -pix_fmt bgra -f framemd5 - | grep -v '^#' | cut -d, -f6
}
# same_pictures AVI PNG-PATTERN: ffmpeg's pictures of AVI (decoded two at a
# time) are voxa decode's PNGs.
same_pictures() {
  local a b
  a=$(hashes -threads 2 -i "$1") && b=$(hashes -i "$2") && [ -n "$a" ] && [ "$a" = "$b" ] &&
    [ "$(wc -l <<<"$a")" -eq "$frames" ]
}

size=720x576
frames=6
start=$SECONDS

"$voxa" sample --size $size --frames $frames clip.bgra >/dev/null || die "voxa sample"
"$voxa" encode clip.bgra tool.avi --size $size --quiet || die "voxa encode"
"$voxa" decode tool.avi tool.bgra --kernels auto --quiet || die "voxa decode"
"$voxa" decode tool.avi tool_%04d.png --kernels auto --quiet || die "voxa decode to PNG"

note "ffprobe and ffmpeg on the tool's file ($frames frames of $size)"
probe=$("$ffprobe" -v error -select_streams v:0 \
  -show_entries stream=codec_name,codec_tag_string,width,height,pix_fmt -of csv=p=0 tool.avi)
check "ffprobe: $probe" [ "$probe" = "voxa,VOXA,720,576,bgra" ]
check "ffmpeg decodes tool.avi to the pictures of 'voxa decode' (framemd5)" \
  same_pictures tool.avi tool_%04d.png

note "ffmpeg on a file written through avifil32 and the 32-bit driver"
if wine_run win32 host.log "$root/build/win32/tools/voxa_avi.exe" --input clip.bgra --output host.avi --keep &&
   "$voxa" decode host.avi host_%04d.png --kernels auto --quiet; then
  check "ffmpeg decodes host.avi to the pictures of 'voxa decode' (framemd5)" \
    same_pictures host.avi host_%04d.png
else
  fail "writing host.avi through avifil32 or decoding it: $(tr -d '\r' <host.log)"
fi

note "ffmpeg -c:v libvoxa (two threads)"
if "$ffmpeg" -nostdin -v error -f rawvideo -pix_fmt bgra -s $size -r 25 -i clip.bgra \
     -vf vflip -c:v libvoxa -threads 2 ffmpeg.avi; then
  # The clip's lines are stored bottom line first, as a DIB's.
  check "its frames are those 'voxa encode' wrote of the clip (sizes and blocks)" \
    [ "$("$voxa" info --per-frame ffmpeg.avi | grep '^frame ')" = "$("$voxa" info --per-frame tool.avi | grep '^frame ')" ]
  check "'voxa info' reads its stream header as the tool's: $("$voxa" info ffmpeg.avi | grep '^strh:')" \
    [ "$("$voxa" info ffmpeg.avi | grep '^strh:')" = "$("$voxa" info tool.avi | grep '^strh:')" ]
  check "its format: $("$voxa" info ffmpeg.avi | grep '^strf:')" \
    grep -q '^strf: .* 720x576, planes 1, bits 32, compression VOXA' <("$voxa" info ffmpeg.avi)
  "$voxa" decode ffmpeg.avi ffmpeg.bgra --kernels auto --quiet
  check "'voxa decode' reads it to the pictures of tool.avi" cmp -s ffmpeg.bgra tool.bgra
  for preset in win32 win64; do
    if wine_run "$preset" "avifil-$preset.log" "$root/build/$preset/tools/voxa_avi.exe" \
         --decode ffmpeg.avi --dump "avifil-$preset.bgra"; then
      check "the ${preset#win}-bit driver through avifil32 decodes it to the same pictures" \
        cmp -s "avifil-$preset.bgra" tool.bgra
    else
      fail "voxa_avi --decode ffmpeg.avi (${preset#win}-bit): $(tr -d '\r' <"avifil-$preset.log")"
    fi
  done
else
  fail "ffmpeg -c:v libvoxa exited with $?"
fi

note "bad input"
# The first field chunk of the second frame claims more bytes than it has.
cp tool.avi damaged.avi
offset=$(grep -obUa QTZ1 damaged.avi | sed -n '2s/:.*//p')
printf '\377\377\377\177' | dd of=damaged.avi bs=1 seek=$((offset + 8)) conv=notrunc status=none
"$ffmpeg" -nostdin -v error -i damaged.avi -f framemd5 damaged.md5 2>damaged.log
status=$?
check "a damaged frame: exit status $status, '$(head -n 1 damaged.log)', $(grep -vc '^#' damaged.md5) other pictures" \
  eval '[ $status -eq 0 ] && grep -q "Invalid data found" damaged.log && [ "$(grep -vc "^#" damaged.md5)" -eq $((frames - 1)) ]'
"$ffmpeg" -nostdin -v error -xerror -i damaged.avi -f null - 2>/dev/null
status=$?
check "with -xerror ffmpeg stops at it (exit status $status)" [ $status -ne 0 ] && [ $status -lt 128 ]
"$ffmpeg" -nostdin -v error -f lavfi -i color=red:size=100x48 -frames:v 1 -c:v libvoxa odd.avi 2>odd.log
status=$?
check "a width that is not a multiple of 16: exit status $status, '$(head -n 1 odd.log)'" \
  eval '[ $status -ne 0 ] && [ $status -lt 128 ] && grep -q "multiple of 16" odd.log'

note "a title laid over a video"
background=(-f lavfi -i "testsrc2=size=$size:rate=25")
overlay=(-filter_complex "[0:v][1:v]overlay=shortest=1" -frames:v $frames)
over_avi=$(hashes "${background[@]}" -i tool.avi "${overlay[@]}")
over_png=$(hashes "${background[@]}" -framerate 25 -i tool_%04d.png "${overlay[@]}")
plain=$(hashes "${background[@]}" -frames:v $frames)
check "overlay of tool.avi: the composite of voxa decode's PNGs (framemd5), and not the bare background" \
  eval '[ "$(wc -l <<<"$over_avi")" -eq $frames ] && [ "$over_avi" = "$over_png" ] && [ "$over_avi" != "$plain" ]'

note "the README's examples"
mkdir readme && cp tool.avi readme/title.avi
"$ffmpeg" -nostdin -v error -f lavfi -i "testsrc2=size=$size:rate=25" -t 1 -c:v prores_ks readme/video.mov ||
  die "writing video.mov"
mapfile -t examples < <(sed -n '/<!-- ffmpeg examples -->/,/^[^ <]/p' "$root/README.md" | sed -n 's/^    \(ffmpeg .*\)$/\1/p')
[ "${#examples[@]}" -eq 3 ] || fail "the README has ${#examples[@]} FFmpeg examples, not 3"
for line in "${examples[@]}"; do
  (cd readme && PATH=$root/build/ffmpeg/bin:$PATH bash -c "$line" </dev/null >example.log 2>&1)
  status=$?
  check "$line (exit status $status)" [ $status -eq 0 ]
done
count=$("$ffprobe" -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 readme/composite.mov)
check "composite.mov: $count pictures, the video's 25" [ "$count" = 25 ]

echo
note "took $((SECONDS - start)) s after the build"
note "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
