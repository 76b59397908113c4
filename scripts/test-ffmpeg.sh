#!/bin/bash
# FFmpeg with its own VOXA decoder and encoder (scripts/build-ffmpeg.sh)
# against the tool and the real driver under Wine:
#   - ffmpeg and ffprobe link no libvoxa, and ffmpeg lists the decoder and
#     the encoder voxa;
#   - ffprobe names the codec;
#   - ffmpeg decodes an AVI written by 'voxa encode' and one written through
#     avifil32 and the 32-bit driver to the pictures 'voxa decode' gives
#     (framemd5 of both, as BGRA);
#   - an AVI written by 'ffmpeg -c:v voxa' holds the frames 'voxa encode'
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
#     same overlay of 'voxa decode's PNGs gives;
#   - every clip above, and the FATE sample, decodes to the pictures of
#     libvoxa's SSE2 kernels byte for byte (of 'voxa decode-frame', and of
#     'voxa decode' for a damaged frame), with FFmpeg's SIMD and with
#     -cpuflags 0; '-c:v voxa' writes the frames of 'voxa encode --kernels
#     sse2' byte for byte (packets, framemd5), with and without SIMD;
#   - the FATE tests of VOXA pass, with the sample of ffmpeg/fate-suite (the
#     one scripts/fate-sample.sh writes), and checkasm's voxadsp and
#     voxaencdsp: the SIMD functions give the C functions' bytes;
#   - FFmpeg's decoder fuzzer, built with libFuzzer and AddressSanitizer,
#     runs VOXA_FFMPEG_FUZZ_SECONDS (default 30) from the sample's frames
#     without a crash.
#
#   scripts/test-ffmpeg.sh
#
# Builds what it needs (FFmpeg and the fuzzer through scripts/build-ffmpeg.sh;
# voxa; voxa_dll and voxa_avi of win32 and win64). Runs in build/ffmpeg-test.
# Ends with "ffmpeg-test: N passed, M failed"; exit status 0 when all passed.
set -uo pipefail

source "$(dirname "$0")/test-steps.sh" ffmpeg-test
source "$root/scripts/avi-bytes.sh"

scripts/build-ffmpeg.sh || die "building FFmpeg"
scripts/build-ffmpeg.sh --fuzzer || die "building FFmpeg's fuzzer"
build_presets voxa native
build_presets "voxa_dll voxa_avi" win32 win64
voxa=$root/build/native/tools/voxa
ffmpeg=$root/build/ffmpeg/bin/ffmpeg
ffprobe=$root/build/ffmpeg/bin/ffprobe
fftree=$root/build/ffmpeg/work
fuzzer=$root/build/ffmpeg-fuzz/work/tools/target_dec_voxa_fuzzer

enter_work ffmpeg-test

note "FFmpeg's own VOXA"
# links_libvoxa PROGRAM: PROGRAM needs a libvoxa, or the dynamic linker
# loads one for it.
links_libvoxa() { readelf -d "$1" | grep NEEDED | grep -q libvoxa || ldd "$1" | grep -q libvoxa; }
for program in "$ffmpeg" "$ffprobe"; do
  check "$(basename "$program") links no libvoxa: $(readelf -d "$program" | grep -c NEEDED) libraries, none libvoxa" \
    eval '[ -s "$program" ] && ! links_libvoxa "$program"'
done
check "ffmpeg -decoders lists voxa: $("$ffmpeg" -hide_banner -decoders | grep ' voxa ')" \
  eval '"$ffmpeg" -hide_banner -decoders | grep -q "^ V.* voxa  *VOXA"'
check "ffmpeg -encoders lists voxa: $("$ffmpeg" -hide_banner -encoders | grep ' voxa ')" \
  eval '"$ffmpeg" -hide_banner -encoders | grep -q "^ V.* voxa  *VOXA"'

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

note "ffmpeg -c:v voxa (two threads)"
if "$ffmpeg" -nostdin -v error -f rawvideo -pix_fmt bgra -s $size -r 25 -i clip.bgra \
     -vf vflip -c:v voxa -threads 2 ffmpeg.avi; then
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
  fail "ffmpeg -c:v voxa exited with $?"
fi

note "bad input"
# (le, put_le and at come from avi-bytes.sh.)
# pictures MD5FILE: the pictures a framemd5 file lists (0 when there is none).
pictures() { cat "$1" 2>/dev/null | grep -vc '^#'; }
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

"$ffmpeg" -nostdin -v error -f lavfi -i color=red:size=100x48 -frames:v 1 -c:v voxa width.avi 2>width.log
status=$?
check "a width that is not a multiple of 16: exit status $status, '$(head -n 1 width.log)'" \
  eval '[ $status -ne 0 ] && [ $status -lt 128 ] && grep -q "(the width must be a multiple of 16)" width.log'
# An odd height from raw frames (lavfi's sources round heights to even).
"$voxa" sample --size 64x48 --frames 1 title48.bgra >/dev/null && head -c $((64 * 47 * 4)) title48.bgra >title47.bgra ||
  die "making title47.bgra"
"$ffmpeg" -nostdin -v error -f rawvideo -pix_fmt bgra -s 64x47 -i title47.bgra -c:v voxa height.avi 2>height.log
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

note "libvoxa's SSE2 pictures and frames, with FFmpeg's SIMD and with -cpuflags 0"
fate_sample=$root/ffmpeg/fate-suite/voxa/title.avi
# sse2_pictures AVI SIZE OUT: the pictures of libvoxa's SSE2 kernels of each
# frame of AVI, bottom line first, one after the other: 'voxa decode-frame'
# of each; a damaged frame, which decode-frame refuses, as 'voxa decode
# --keep-going' gives it as far as its bytes go, from a clip of that frame
# alone. Frames that are not VOXA are left out, as FFmpeg drops them. The
# frames stay in AVI.frames.
sse2_pictures() {
  local dir f
  dir=$(basename "$1").frames
  rm -rf "$dir" && mkdir "$dir" && : >"$3" &&
    "$ffmpeg" -nostdin -v error -i "$1" -c copy -f image2 "$dir/%04d.voxa" || return 1
  for f in "$dir"/*.voxa; do
    if ! "$voxa" decode-frame --size "$2" --kernels sse2 "$f" "$f.bgra" >/dev/null 2>"$f.log"; then
      grep -q "is damaged" "$f.log" || continue
      "$ffmpeg" -nostdin -v error -f image2 -c:v voxa -video_size "$2" -i "$f" -c copy "$f.avi" || return 1
      "$voxa" decode "$f.avi" "$f.bgra" --kernels sse2 --bottom-up --keep-going --keep-partial --quiet 2>>"$f.log"
      [ -s "$f.bgra" ] || return 1
    fi
    cat "$f.bgra" >>"$3"
  done
}
# same_as_sse2 AVI OPTION...: ffmpeg with OPTIONs decodes AVI to libvoxa's
# SSE2 pictures (made by sse2_pictures into AVI.sse2).
same_as_sse2() {
  local avi=$1 name
  shift
  name=$(basename "$avi")
  "$ffmpeg" -nostdin -v error "$@" -i "$avi" -vf vflip -fps_mode passthrough -f rawvideo -pix_fmt bgra -y "$name.ffmpeg" 2>/dev/null &&
    [ -s "$name.sse2" ] && cmp -s "$name.sse2" "$name.ffmpeg"
}
for avi in tool.avi host.avi ffmpeg.avi bad.avi even.avi "$fate_sample"; do
  [ -f "$avi" ] || { fail "$avi is missing"; continue; }
  dims=$("$ffprobe" -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$avi")
  if ! sse2_pictures "$avi" "$dims" "$(basename "$avi").sse2"; then
    fail "voxa decode-frame --kernels sse2 of the frames of $avi"
    continue
  fi
  count=$(($(wc -c <"$(basename "$avi").sse2") / ${dims%x*} / ${dims#*x} / 4))
  check "$(basename "$avi") ($count pictures of $dims): SIMD, two threads" same_as_sse2 "$avi" -threads 2
  check "$(basename "$avi"): -cpuflags 0, one thread" same_as_sse2 "$avi" -cpuflags 0 -threads 1
done

# packets AVI: the size and MD5 of each packet of AVI, one a line.
packets() { "$ffmpeg" -nostdin -v error -i "$1" -c copy -f framemd5 - | grep -v '^#' | cut -d, -f5-; }
# same_frames RAW SIZE OPTION...: ffmpeg -c:v voxa with OPTIONs codes the
# clip RAW (bottom line first) into the packets 'voxa encode --kernels sse2'
# writes.
same_frames() {
  local raw=$1 size=$2 a b
  shift 2
  "$voxa" encode "$raw" "$raw.sse2.avi" --size "$size" --bottom-up --kernels sse2 --quiet -y &&
    "$ffmpeg" -nostdin -v error "$@" -f rawvideo -pix_fmt bgra -s "$size" -r 25 -i "$raw" \
      -vf vflip -c:v voxa -y "$raw.ffmpeg.avi" &&
    a=$(packets "$raw.sse2.avi") && b=$(packets "$raw.ffmpeg.avi") && [ -n "$a" ] && [ "$a" = "$b" ] &&
    [ "$(wc -l <<<"$a")" -eq $(($(wc -c <"$raw") / ${size%x*} / ${size#*x} / 4)) ]
}
"$voxa" sample --size $size --kind opaque --frames 3 opaque.bgra >/dev/null || die "voxa sample --kind opaque"
"$voxa" sample --size 1920x1080 --frames 2 hd.bgra >/dev/null || die "voxa sample --size 1920x1080"
for clip in "clip.bgra $size" "opaque.bgra $size" "hd.bgra 1920x1080" "title46.bgra 64x46"; do
  set -- $clip
  check "-c:v voxa codes $1 ($2) into the packets of 'voxa encode --kernels sse2': SIMD, two threads" \
    same_frames "$1" "$2" -threads 2
  check "-c:v voxa codes $1: -cpuflags 0, one thread" same_frames "$1" "$2" -cpuflags 0 -threads 1
done

note "FATE and checkasm (in $fftree)"
"$root/scripts/fate-sample.sh" "$voxa" fate-sample.avi || die "scripts/fate-sample.sh"
check "ffmpeg/fate-suite/voxa/title.avi is what scripts/fate-sample.sh writes" cmp -s fate-sample.avi "$fate_sample"
for test in voxa-title voxa-title-c voxa-encode voxa-encode-c vsynth1-voxa checkasm-voxadsp checkasm-voxaencdsp; do
  make -C "$fftree" "fate-$test" SAMPLES="$root/ffmpeg/fate-suite" >"fate-$test.log" 2>&1
  status=$?
  check "make fate-$test: exit status $status, $(grep -c '^TEST' "fate-$test.log") test run" \
    eval '[ $status -eq 0 ] && grep -q "^TEST *$test\$" "fate-$test.log"'
done
# The SIMD functions are those of SSE2, which every x86-64 has, and of AVX2
# where the processor has it: checkasm tests each against C.
# sse2_checked LOG DSP FUNCTION...: checkasm's LOG says each FUNCTION of DSP
# passed among the SSE2 ones.
sse2_checked() {
  local log=$1 dsp=$2 function
  shift 2
  for function in "$@"; do
    sed -n '/^SSE2:$/,/^[A-Z0-9]*:$/p' "$log" | grep -q "^ - $dsp\.$function *\[OK\]" || return 1
  done
}
for functions in "voxadsp decode_literals" "voxaencdsp find_visible encode_blocks"; do
  dsp=${functions%% *}
  "$fftree/tests/checkasm/checkasm" --test="$dsp" >"checkasm-$dsp.log" 2>&1
  status=$?
  check "checkasm --test=$dsp: exit status $status, $(grep -c '\[OK\]' "checkasm-$dsp.log") functions OK, $(grep -c FAILED "checkasm-$dsp.log") failed" \
    eval '[ $status -eq 0 ] && ! grep -q FAILED "checkasm-$dsp.log" && sse2_checked "checkasm-$dsp.log" $functions'
done

note "FFmpeg's decoder fuzzer ($fuzzer)"
# A seed: the packets of a clip, each ended by FFmpeg's fuzzer tag, then the
# 1024 bytes the fuzzer reads the codec's settings from: width, height, bit
# rate, bits per coded sample, flags (0x40: no SIMD; 0x0c: -err_detect
# explode), and zeros.
settings() {
  le32 "$1"; le32 "$2"; head -c 8 /dev/zero; le32 32
  printf "\\$(printf %03o "$3")"; head -c 1003 /dev/zero
}
mkdir seeds corpus
for f in title.avi.frames/*.voxa; do
  { cat "$f"; settings 128 64 0; } >"seeds/$(basename "$f" .voxa)"
done
for flags in 0 $((0x40)) $((0x4c)); do
  { for f in title.avi.frames/*.voxa; do cat "$f"; printf FUZZ-TAG; done; settings 128 64 $flags; } >"seeds/clip-$flags"
done
seconds=${VOXA_FFMPEG_FUZZ_SECONDS:-30}
(cd corpus && "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2560 -timeout=10 . ../seeds >../fuzz.log 2>&1)
status=$?
check "$seconds s of fuzzing from $(ls seeds | wc -l) seeds: exit status $status, $(grep -o 'Done [0-9]* runs' fuzz.log), $(ls corpus | wc -l) inputs in the corpus" \
  eval '[ $status -eq 0 ] && grep -q "^Done [0-9]* runs" fuzz.log && ! ls corpus | grep -q "^crash-"'

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
