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
#   - a cut frame is decoded as far as its bytes go and returned with its
#     decode error flags (ffmpeg's "corrupt decoded frame"; -xerror stops at
#     it), and is an "Invalid data" error with -err_detect explode; a frame
#     that is not VOXA is an "Invalid data" error;
#   - a width that is not a multiple of 16 and an odd height are refused with
#     the reason, by the encoder and by the decoder (an odd height would lose
#     a line);
#   - a title laid over a video with the overlay filter gives the picture the
#     same overlay of 'voxa decode's PNGs gives.
#
#   scripts/test-ffmpeg.sh
#
# Builds what it needs (FFmpeg through scripts/build-ffmpeg.sh; voxa; voxa_dll
# and voxa_avi of win32 and win64). Runs in build/ffmpeg-test. Ends with
# "ffmpeg-test: N passed, M failed"; exit status 0 when all passed.
set -uo pipefail

source "$(dirname "$0")/test-steps.sh" ffmpeg-test

scripts/build-ffmpeg.sh || die "building FFmpeg"
build_presets "voxa_dll voxa_avi" win32 win64
voxa=$root/build/native/tools/voxa
ffmpeg=$root/build/ffmpeg/bin/ffmpeg
ffprobe=$root/build/ffmpeg/bin/ffprobe

enter_work ffmpeg-test

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
"$voxa" encode clip.bgra tool.avi --size $size --bottom-up --quiet || die "voxa encode"
"$voxa" decode tool.avi tool.bgra --kernels auto --bottom-up --quiet || die "voxa decode"
"$voxa" decode tool.avi tool_%04d.png --kernels auto --quiet || die "voxa decode to PNG"

note "ffprobe and ffmpeg on the tool's file ($frames frames of $size)"
probe=$("$ffprobe" -v error -select_streams v:0 \
  -show_entries stream=codec_name,codec_tag_string,width,height,pix_fmt -of csv=p=0 tool.avi)
check "ffprobe: $probe" [ "$probe" = "voxa,VOXA,720,576,bgra" ]
check "ffmpeg decodes tool.avi to the pictures of 'voxa decode' (framemd5)" \
  same_pictures tool.avi tool_%04d.png

note "ffmpeg on a file written through avifil32 and the 32-bit driver"
if wine_run win32 host.log "$root/build/win32/tests/host/voxa_avi.exe" --input clip.bgra --output host.avi --keep &&
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
  "$voxa" decode ffmpeg.avi ffmpeg.bgra --kernels auto --bottom-up --quiet
  check "'voxa decode' reads it to the pictures of tool.avi" cmp -s ffmpeg.bgra tool.bgra
  for preset in win32 win64; do
    if wine_run "$preset" "avifil-$preset.log" "$root/build/$preset/tests/host/voxa_avi.exe" \
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
# le FILE OFFSET BYTES: the unsigned little-endian number of BYTES bytes at OFFSET.
le() { od -An -v -tu1 -j "$2" -N "$3" "$1" | awk '{ for (i = NF; i >= 1; i--) v = v * 256 + $i } END { print v + 0 }'; }
# put_le FILE OFFSET BYTES VALUE: writes VALUE there, little-endian.
put_le() {
  local out= i
  for ((i = 0; i < $3; i++)); do out+=$(printf '\\%03o' $(($4 >> 8 * i & 255))); done
  printf "$out" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
# pictures MD5FILE: the pictures a framemd5 file lists (0 when there is none).
pictures() { cat "$1" 2>/dev/null | grep -vc '^#'; }
# at FILE FOURCC [N]: the offset of the Nth (default first; $ the last) FOURCC in FILE.
at() { grep -obUa "$2" "$1" | sed -n "${3:-1}s/:.*//p"; }
# frame_picture AVI N OUT: the Nth picture ffmpeg decodes of AVI, raw BGRA.
# One thread: the picture gets the buffer of one before it, so that what the
# decoder leaves unwritten shows.
frame_picture() {
  "$ffmpeg" -nostdin -v error -threads 1 -i "$1" -vf "trim=start_frame=$2:end_frame=$(($2 + 1))" \
    -f rawvideo -pix_fmt bgra -y "$3" 2>>pictures.log
}

# bad.avi: the second frame is cut, its last quarter gone (its chunk is
# shortened, in the index too, and what follows becomes a JUNK chunk), so
# that its second field runs past its end; the fourth frame is not VOXA (its
# magic is overwritten).
cp tool.avi bad.avi
chunk=$(($(at bad.avi QTZ1 2) - 8))
whole=$(le bad.avi $((chunk + 4)) 4)
kept=$((whole * 3 / 4 & ~1))
idx1=$(at bad.avi idx1 '$')
put_le bad.avi $((chunk + 4)) 4 $kept
printf JUNK | dd of=bad.avi bs=1 seek=$((chunk + 8 + kept)) conv=notrunc status=none
put_le bad.avi $((chunk + 12 + kept)) 4 $(((whole + 1 & ~1) - kept - 8))
put_le bad.avi $((idx1 + 8 + 16 + 12)) 4 $kept
printf XXXX | dd of=bad.avi bs=1 seek="$(at bad.avi QTZ1 3)" conv=notrunc status=none
[ "$(le bad.avi $((idx1 + 8 + 16 + 12)) 4)" -eq $kept ] && [ "$(grep -obUa QTZ1 bad.avi | wc -l)" -eq $((frames - 1)) ] ||
  die "making bad.avi"

"$ffmpeg" -nostdin -v warning -i bad.avi -f framemd5 bad.md5 2>bad.log
status=$?
# (Counting log lines would not do: ffmpeg folds repeated lines, and frame
# threads log in any order.)
check "the cut frame is returned flagged, the one that is not VOXA is dropped: exit status $status, '$(grep -m 1 corrupt bad.log)', $(pictures bad.md5) pictures" \
  eval '[ $status -eq 0 ] && grep -q "corrupt decoded frame" bad.log &&
        grep -q "Invalid data found" bad.log && grep -q "not a VOXA frame" bad.log &&
        [ "$(pictures bad.md5)" -eq $((frames - 1)) ]'
# only_lost CUT WHOLE: CUT is not empty and differs from WHOLE, only in bytes
# that are 0 in CUT (cmp -l lists offset, byte of CUT, byte of WHOLE).
only_lost() {
  [ "$(tr -d '\000' <"$1" | wc -c)" -gt 0 ] && [ "$(wc -c <"$1")" -eq "$(wc -c <"$2")" ] &&
    ! cmp -s "$1" "$2" && { cmp -l "$1" "$2" || true; } | awk '$2 != 0 { kept = 1 } END { exit kept }'
}
frame_picture bad.avi 1 cut.bgra && frame_picture tool.avi 1 whole.bgra
check "its picture is the whole frame's where its bytes reach, transparent in the $({ cmp -l cut.bgra whole.bgra || true; } | wc -l) bytes beyond" \
  only_lost cut.bgra whole.bgra
"$ffmpeg" -nostdin -v error -xerror -i bad.avi -f framemd5 xerror.md5 2>xerror.log
status=$?
check "with -xerror ffmpeg stops at it: exit status $status, '$(grep -m 1 corrupt xerror.log)', $(pictures xerror.md5) pictures" \
  eval '[ $status -eq 1 ] && grep -q "corrupt decoded frame" xerror.log && [ "$(pictures xerror.md5)" -le 1 ]'
"$ffmpeg" -nostdin -v error -err_detect explode -i bad.avi -f framemd5 explode.md5 2>explode.log
status=$?
check "with -err_detect explode it is an error too: exit status $status, '$(grep -m 1 damaged explode.log)', $(pictures explode.md5) pictures" \
  eval '[ $status -eq 0 ] && grep -q "damaged VOXA frame, decoded as far as it goes" explode.log &&
        grep -q "Invalid data found" explode.log && ! grep -q "corrupt decoded frame" explode.log &&
        [ "$(pictures explode.md5)" -eq $((frames - 2)) ]'

"$ffmpeg" -nostdin -v error -f lavfi -i color=red:size=100x48 -frames:v 1 -c:v libvoxa width.avi 2>width.log
status=$?
check "a width that is not a multiple of 16: exit status $status, '$(head -n 1 width.log)'" \
  eval '[ $status -ne 0 ] && [ $status -lt 128 ] && grep -q "(the width must be a multiple of 16)" width.log'
# An odd height from raw frames (lavfi's sources round heights to even).
"$voxa" sample --size 64x48 --frames 1 title48.bgra >/dev/null && head -c $((64 * 47 * 4)) title48.bgra >title47.bgra ||
  die "making title47.bgra"
"$ffmpeg" -nostdin -v error -f rawvideo -pix_fmt bgra -s 64x47 -i title47.bgra -c:v libvoxa height.avi 2>height.log
status=$?
check "an odd height for the encoder: exit status $status, '$(head -n 1 height.log)'" \
  eval '[ $status -ne 0 ] && [ $status -lt 128 ] && grep -q "cannot code 64x47 pictures (the height must be even)" height.log &&
        [ ! -s height.avi ]'
# odd.avi: a 64x47 clip as a Windows host writes one through the driver. Its
# stored top line is in neither field, so its frames are those of its bottom
# 46 lines: 'voxa encode' writes them into even.avi, and only the headers
# (avih, strh's frame rectangle, strf and its image size) say 47.
"$voxa" sample --size 64x46 --frames 3 title46.bgra >/dev/null &&
  "$voxa" encode title46.bgra even.avi --size 64x46 --quiet || die "making even.avi"
cp even.avi odd.avi
put_le odd.avi $(($(at odd.avi avih) + 44)) 4 47
put_le odd.avi $(($(at odd.avi strh) + 62)) 2 47
put_le odd.avi $(($(at odd.avi strf) + 16)) 4 47
put_le odd.avi $(($(at odd.avi strf) + 28)) 4 $((64 * 47 * 4 + 4096))
grep -q '^strf: .* 64x47, .* image size 16128$' <("$voxa" info odd.avi) || die "making odd.avi"
"$ffmpeg" -nostdin -v error -i odd.avi -f framemd5 odd.md5 2>odd.log
status=$?
even=$(hashes -i even.avi | wc -l)
check "an odd height for the decoder: exit status $status, '$(head -n 1 odd.log)', $(pictures odd.md5) pictures ($even of the 46-line file)" \
  eval '[ $status -ne 0 ] && [ $status -lt 128 ] && grep -q "cannot code 64x47 pictures (the height must be even)" odd.log &&
        [ "$(pictures odd.md5)" -eq 0 ] && [ $even -eq 3 ]'

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
finish
