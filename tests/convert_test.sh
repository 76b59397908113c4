#!/bin/bash
# The voxa tool's video verbs against FFmpeg's own command-line programs:
# what ffprobe reads from files the tool writes, a PNG sequence with alpha
# through encode and decode, inputs with alpha of other kinds, bad inputs,
# the progress bar.
#
#   convert_test.sh VOXA WORK_DIR CASE
#
# Each case works in WORK_DIR/CASE and ends with "convert-test: CASE passed"
# (exit status 0) or a FAILED line (exit status 1).
set -uo pipefail

voxa=$1
work=$2/$3
case_name=$3

fail() { echo "convert-test: $case_name: FAILED: $*"; exit 1; }
for program in ffmpeg ffprobe; do
  command -v "$program" >/dev/null || fail "$program is not installed (Debian package ffmpeg: scripts/install-deps.sh native)"
done
rm -rf "$work"
mkdir -p "$work"
cd "$work" || fail "cannot enter $work"

# run COMMAND...: runs it with its output in run.log; fails the case on a
# non-zero exit.
run() {
  "$@" >run.log 2>&1 || { cat run.log; fail "exited with $?: $*"; }
}

# png_clip SIZE FRAMES PATTERN: the tool's sample clip as a PNG sequence with
# alpha (ffmpeg turns the raw frames, bottom line first, upright).
png_clip() {
  run "$voxa" sample --size "$1" --frames "$2" clip.bgra
  run ffmpeg -v error -f rawvideo -pix_fmt bgra -s "$1" -framerate 25 -i clip.bgra -vf vflip "$3"
}

# probe FILE: ffprobe's view of the video stream, one key=value a line.
probe() {
  ffprobe -v error -select_streams v:0 \
    -show_entries stream=codec_tag_string,width,height,r_frame_rate,nb_frames \
    -of default=noprint_wrappers=1 "$1"
}

# expect_probe FILE KEY=VALUE...
expect_probe() {
  local file=$1 info pair
  shift
  info=$(probe "$file") || fail "ffprobe cannot read $file"
  for pair in "$@"; do
    grep -qx "$pair" <<<"$info" || fail "ffprobe on $file: expected $pair, got: $(tr '\n' ' ' <<<"$info")"
  done
  echo "ffprobe $file: $(tr '\n' ' ' <<<"$info")"
}

# expect_bad_input PATTERN OUTPUT COMMAND...: exit status 1, one line
# "voxa: ..." matching PATTERN on standard error, and no OUTPUT file.
expect_bad_input() {
  local pattern=$1 output=$2 status
  shift 2
  "$@" >out.log 2>err.log
  status=$?
  [ "$status" -eq 1 ] || { cat out.log err.log; fail "exit status $status, not 1: $*"; }
  [ "$(wc -l <err.log)" -eq 1 ] || { cat err.log; fail "more than one line of error: $*"; }
  grep -Eq "^voxa: .*$pattern" err.log || fail "error '$(cat err.log)' does not match '$pattern'"
  [ ! -e "$output" ] || fail "$output was left behind"
  echo "refused: $(cat err.log)"
}

case "$case_name" in
  ffprobe_png_sequence)
    # A PNG sequence at the image demuxer's 25 frames/s.
    png_clip 720x576 12 title_%04d.png
    run "$voxa" encode title_%04d.png title.avi --quiet
    expect_probe title.avi codec_tag_string=VOXA width=720 height=576 r_frame_rate=25/1 nb_frames=12
    ;;
  ffprobe_ntsc_rate)
    # QuickTime Animation with alpha at 30000/1001 frames/s, of a size that
    # needs padding.
    png_clip 704x480 7 title_%04d.png
    run ffmpeg -v error -framerate 30000/1001 -i title_%04d.png -vf crop=700:477:0:0 \
      -c:v qtrle -pix_fmt argb title.mov
    expect_bad_input "width 700 is not a multiple of 16 and height 477 is odd; nearest sizes it takes: 688x476 \(cropped\) or 704x478" \
      title.avi "$voxa" encode title.mov title.avi
    run "$voxa" encode title.mov title.avi --pad --quiet
    expect_probe title.avi codec_tag_string=VOXA width=704 height=478 r_frame_rate=30000/1001 nb_frames=7
    ;;
  png_round_trip)
    # Encode a PNG sequence with alpha, decode it to PNG again: the pictures
    # are the codec's (the decoded PNGs hold exactly what 'voxa decode'
    # gives raw), with its PSNR, and what was fully transparent stays so.
    png_clip 720x576 12 title_%04d.png
    run "$voxa" encode title_%04d.png title.avi --quiet
    run "$voxa" decode title.avi back_%04d.png --quiet
    [ -f back_0012.png ] && [ ! -e back_0013.png ] || fail "decode did not write back_0001.png to back_0012.png"
    # Raw frames top line first, as the PNGs and FFmpeg's raw video are.
    run "$voxa" decode title.avi back.bgra --quiet
    run ffmpeg -v error -i back_%04d.png -f rawvideo -pix_fmt bgra png.bgra
    cmp -s png.bgra back.bgra || fail "the decoded PNGs differ from the raw decode"
    run ffmpeg -v error -i title_%04d.png -f rawvideo -pix_fmt bgra source.bgra
    run ffmpeg -v error -f rawvideo -pix_fmt bgra -s 720x576 -i clip.bgra -vf vflip -f rawvideo upright.bgra
    cmp -s source.bgra upright.bgra || fail "the source PNGs are not the sample clip"
    "$voxa" compare --size 720x576 source.bgra back.bgra >compare.log || fail "compare failed"
    cat compare.log
    psnr=$(sed -n 's/.*PSNR colour (alpha-weighted) \([0-9.]*\) dB.*/\1/p' compare.log)
    [ -n "$psnr" ] || fail "no PSNR in: $(cat compare.log)"
    awk -v p="$psnr" 'BEGIN { exit !(p >= 40) }' || fail "PSNR $psnr dB is below the codec's 40 dB"
    grep -Eq 'fully transparent pixels [1-9][0-9]*, 0 of them not in the decoded' compare.log ||
      fail "fully transparent pixels did not all stay so"
    echo "round-trip PSNR: $psnr dB"
    ;;
  prores_and_webm_inputs)
    # Alpha from ProRes 4444 and from VP9 in WebM (which FFmpeg's own VP9
    # decoder would drop) reaches the codec.
    png_clip 320x240 6 title_%04d.png
    run ffmpeg -v error -framerate 25 -i title_%04d.png -c:v prores_ks -profile:v 4444 \
      -pix_fmt yuva444p10le title.mov
    run ffmpeg -v error -framerate 25 -i title_%04d.png -c:v libvpx-vp9 -pix_fmt yuva420p \
      -deadline realtime -b:v 2M title.webm
    for input in title.mov title.webm; do
      run "$voxa" encode "$input" "$input.avi" --quiet
      run "$voxa" decode "$input.avi" "$input.bgra" --bottom-up --quiet
      # VP9's alpha is lossy: a pixel of alpha 2 or so may arrive transparent.
      "$voxa" compare --size 320x240 clip.bgra "$input.bgra" >compare.log 2>compare.err ||
        [ "$input" = title.webm ] || fail "compare failed: $(cat compare.err)"
      echo "$input: $(cat compare.log)"
      alpha=$(sed -n 's/.*, alpha \([0-9.]*\) dB.*/\1/p' compare.log)
      awk -v a="${alpha:-0}" 'BEGIN { exit !(a >= 25) }' || fail "$input: the alpha channel was lost (alpha PSNR ${alpha:-none})"
    done
    expect_probe title.webm.avi codec_tag_string=VOXA width=320 height=240 nb_frames=6
    ;;
  bad_inputs)
    echo "not a video" >notes.txt
    expect_bad_input "cannot read 'notes.txt' as video" out.avi "$voxa" encode notes.txt out.avi
    expect_bad_input "cannot read 'notes.txt' as video" out.bgra "$voxa" decode notes.txt out.bgra
    # An AVI of another codec.
    run ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 3 -c:v mjpeg other.avi
    expect_bad_input "holds no VOXA video: its video is mjpeg" out_%04d.png \
      "$voxa" decode other.avi out_%04d.png
    [ ! -e out_0001.png ] || fail "out_0001.png was left behind"
    expect_bad_input "holds no VOXA video" out.avi "$voxa" info other.avi
    # A width the codec cannot take.
    run ffmpeg -v error -f lavfi -i testsrc2=size=100x50:rate=25 -frames:v 2 wide_%02d.png
    expect_bad_input "width 100 is not a multiple of 16; nearest sizes it takes: 96x50 \(cropped\) or 112x50" \
      out.avi "$voxa" encode wide_%02d.png out.avi
    # A damaged VOXA frame: the file cut 40 bytes before the end of its last
    # frame (the index of 3 frames, 56 bytes, follows it).
    png_clip 64x32 3 title_%04d.png
    run "$voxa" encode title_%04d.png good.avi --quiet
    head -c $(($(stat -c %s good.avi) - 56 - 40)) good.avi >cut.avi
    expect_bad_input "frame 3 of 'cut.avi' is damaged" out.mov "$voxa" decode cut.avi out.mov
    ;;
  progress_bar)
    # On a terminal: a bar with frames/s on standard error; --quiet or no
    # terminal: none.
    command -v script >/dev/null || fail "script (util-linux) is not installed"
    run "$voxa" sample --size 720x576 --frames 30 clip.bgra
    script -qec "'$voxa' encode clip.bgra tty.avi --size 720x576 --threads 1" /dev/null >tty.log 2>&1 ||
      fail "encode on a terminal failed: $(cat tty.log)"
    grep -aq $'\r''encode \[##############################\] 30/30 frames, [0-9.]* frames/s' tty.log ||
      { cat -v tty.log; fail "no progress bar on the terminal"; }
    script -qec "'$voxa' encode clip.bgra quiet.avi --size 720x576 --quiet" /dev/null >quiet.log 2>&1 ||
      fail "encode --quiet failed"
    ! grep -aq 'frames/s,\|\[#' quiet.log || fail "--quiet still drew a bar: $(cat -v quiet.log)"
    "$voxa" decode tty.avi piped.bgra 2>piped.err >/dev/null || fail "decode failed"
    ! grep -aq $'\r\|\\[#' piped.err || fail "a bar without a terminal: $(cat -v piped.err)"
    echo "bar: $(tr '\r' '\n' <tty.log | grep -a '30/30' | head -n 1)"
    ;;
  *)
    fail "unknown case"
    ;;
esac
echo "convert-test: $case_name passed"
