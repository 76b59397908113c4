#!/bin/bash
# The tool's AVI files and a Windows host's, under Wine, with the real driver:
#   - an AVI written by 'voxa encode' decodes through avifil32
#     (AVIStreamGetFrame, voxa_avi --decode) to the same pictures as
#     'voxa decode --kernels auto' gives (the driver installs the same kernel
#     variant on this processor), for the 32- and the 64-bit driver;
#   - an AVI written through avifil32 and the driver (voxa_avi) from the same
#     clip decodes with 'voxa decode' to the same pictures as avifil32 gives
#     and as the tool's own file gives; its frames have the same sizes and
#     blocks, and its stream header and format say what the tool's say.
#
#   scripts/test-interop.sh
#
# Needs the native, win32 and win64 presets configured (scripts/test-all.sh
# does that; configures what is missing) and builds voxa, voxa_dll and
# voxa_avi. Runs in build/interop-test with each Windows preset's own Wine
# prefix (build/<preset>/wine-prefix). Ends with
# "interop-test: N passed, M failed"; exit status 0 when all passed.
set -uo pipefail

source "$(dirname "$0")/test-steps.sh" interop-test

# ---- builds ------------------------------------------------------------------------

build_presets voxa native
build_presets "voxa_dll voxa_avi" win32 win64
voxa=$root/build/native/tools/voxa

enter_work interop-test

# run NAME COMMAND...: output into NAME.log; sets $status.
run() {
  local name=$1
  shift
  "$@" </dev/null >"$name.log" 2>&1
  status=$?
}
# wine_program PRESET NAME PROGRAM ARGS...: wine_run into NAME.log; sets $status.
wine_program() {
  local preset=$1 name=$2
  shift 2
  wine_run "$preset" "$name.log" "$@"
  status=$?
}
# header_lines AVI: what 'voxa info' reads from the stream header and format.
header_lines() { "$voxa" info "$1" | grep -E '^(strh|strf):'; }

start=$SECONDS

# ---- the tool's files ----------------------------------------------------------------

sizes=(720x576:12 1920x1080:4)
for entry in "${sizes[@]}"; do
  size=${entry%%:*}
  frames=${entry##*:}
  note "voxa encode: the sample clip, $frames frames of $size"
  run sample-$size "$voxa" sample --size "$size" --frames "$frames" "clip-$size.bgra"
  [ "$status" -eq 0 ] || die "voxa sample: $(cat "sample-$size.log")"
  run encode-$size "$voxa" encode "clip-$size.bgra" "tool-$size.avi" --size "$size" --bottom-up --quiet
  [ "$status" -eq 0 ] || die "voxa encode: $(cat "encode-$size.log")"
  run decode-$size "$voxa" decode "tool-$size.avi" "tool-$size.bgra" --kernels auto --bottom-up --quiet
  [ "$status" -eq 0 ] || die "voxa decode: $(cat "decode-$size.log")"
done

for preset in win32 win64; do
  bits=${preset#win}
  program=$root/build/$preset/tests/host/voxa_avi.exe

  for entry in "${sizes[@]}"; do
    size=${entry%%:*}
    frames=${entry##*:}
    note "$bits-bit driver: tool-$size.avi through avifil32 AVIStreamGetFrame"
    wine_program "$preset" "avifil-$preset-$size" "$program" --decode "tool-$size.avi" --dump "avifil-$preset-$size.bgra"
    if [ "$status" -ne 0 ]; then
      fail "voxa_avi --decode exited with $status: $(tr -d '\r' <"avifil-$preset-$size.log")"
    elif cmp -s "avifil-$preset-$size.bgra" "tool-$size.bgra"; then
      pass "$frames pictures of $size from avifil32 are byte for byte those of 'voxa decode --kernels auto'"
    else
      fail "the pictures from avifil32 differ from 'voxa decode --kernels auto': $(cmp "avifil-$preset-$size.bgra" "tool-$size.bgra" 2>&1)"
    fi
  done

  note "$bits-bit driver: a clip written through avifil32 (voxa_avi), read by voxa decode"
  wine_program "$preset" "host-$preset" "$program" --input clip-720x576.bgra --output "host-$preset.avi" --keep
  if [ "$status" -ne 0 ]; then
    fail "voxa_avi exited with $status: $(tr -d '\r' <"host-$preset.log")"
    continue
  fi
  run "decode-host-$preset" "$voxa" decode "host-$preset.avi" "host-$preset.bgra" --kernels auto --bottom-up --quiet
  if [ "$status" -ne 0 ]; then
    fail "voxa decode host-$preset.avi exited with $status: $(cat "decode-host-$preset.log")"
    continue
  fi
  pass "voxa decode read the 12 frames avifil32 wrote"
  wine_program "$preset" "avifil-host-$preset" "$program" --decode "host-$preset.avi" --dump "avifil-host-$preset.bgra"
  if [ "$status" -eq 0 ] && cmp -s "avifil-host-$preset.bgra" "host-$preset.bgra"; then
    pass "its pictures are byte for byte those avifil32 decodes"
  else
    fail "its pictures differ from avifil32's ($status): $(cmp "avifil-host-$preset.bgra" "host-$preset.bgra" 2>&1)"
  fi
  # The same clip, the same kernels: the same frames as the tool's own file.
  if cmp -s "host-$preset.bgra" "tool-720x576.bgra"; then
    pass "and those of the tool's own file of the same clip"
  else
    fail "they differ from the pictures of tool-720x576.avi"
  fi
  if [ "$("$voxa" info --per-frame "host-$preset.avi" | grep '^frame ')" = \
       "$("$voxa" info --per-frame tool-720x576.avi | grep '^frame ')" ]; then
    pass "its frames have the sizes and blocks of the tool's: $("$voxa" info tool-720x576.avi | grep '^frames:')"
  else
    fail "its frames differ in size or blocks from the tool's"
  fi
  "$voxa" compare --size 720x576 clip-720x576.bgra "host-$preset.bgra" >"compare-$preset.log" 2>&1
  psnr=$(sed -n 's/.*PSNR colour (alpha-weighted) \([0-9.]*\) dB.*/\1/p' "compare-$preset.log")
  if awk -v p="${psnr:-0}" 'BEGIN { exit !(p >= 40) }' &&
     grep -q ', 0 of them not in the decoded' "compare-$preset.log"; then
    pass "against the source clip: $(cat "compare-$preset.log")"
  else
    fail "against the source clip (wanted 40 dB or more, transparency kept): $(cat "compare-$preset.log")"
  fi
  if [ "$(header_lines "host-$preset.avi")" = "$(header_lines tool-720x576.avi)" ]; then
    pass "stream header and format the same as the tool's: $(header_lines tool-720x576.avi | tr '\n' ' ')"
  else
    fail "stream header or format differ: avifil32 '$(header_lines "host-$preset.avi" | tr '\n' ' ')', voxa encode '$(header_lines tool-720x576.avi | tr '\n' ' ')'"
  fi
done

echo
note "took $((SECONDS - start)) s after the build"
finish
