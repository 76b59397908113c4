#!/bin/bash
# The voxa tool never destroys a file and behaves as a command-line user
# expects: one row a case, each a command with its exit status and a check
# of what it left behind (run with bash -c in the work folder, $voxa the tool).
#
#   tool_safety_test.sh VOXA WORK_DIR NO_RENAMEAT2
#
# NO_RENAMEAT2 is a library that, preloaded, makes renameat2 answer EINVAL.
#
# Ends with "tool-safety-test: N passed, M failed" (exit status 0 only when
# none failed).
set -uo pipefail

export voxa=$1
work=$2
export no_renameat2=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

passed=0
failed=0
# row NAME STATUS COMMAND [CHECK]: runs COMMAND, wants exit STATUS, then CHECK.
row() {
  local name=$1 want=$2 command=$3 check=${4:-true} status
  bash -c "$command" >"$name.out" 2>"$name.err"
  status=$?
  if [ "$status" -ne "$want" ]; then
    echo "FAILED: $name: exit status $status, not $want: $command"
    sed 's/^/  /' "$name.err" | head -n 5
    failed=$((failed + 1))
  elif ! bash -c "$check" >"$name.check" 2>&1; then
    echo "FAILED: $name: $check"
    sed 's/^/  /' "$name.check" "$name.err" | head -n 5
    failed=$((failed + 1))
  else
    echo "ok: $name"
    passed=$((passed + 1))
  fi
}
# skip NAME WHY
skip() { echo "skipped: $1: $2"; }
# stop_when_waiting SIGNAL COMMAND...: runs COMMAND (the tool) under timeout
# and sends SIGNAL once the tool catches it and sleeps in a call; COMMAND's
# exit status.
stop_when_waiting() {
  local signal=$1 bit t p comm state
  shift
  timeout -k 5 10 "$@" <&0 &
  t=$!
  bit=$((1 << ($(kill -l "$signal") - 1)))
  while kill -0 $t 2>/dev/null; do
    p=$(pgrep -P $t) && read -r _ comm state _ <"/proc/$p/stat" && [ "$comm $state" = "(voxa) S" ] &&
      (($(sed -n 's/^SigCgt:\t/0x/p' "/proc/$p/status") & bit)) && break
    sleep 0.05
  done
  kill -s "$signal" $t
  wait $t
}
export -f stop_when_waiting

# no_temporaries: nothing of a run is left under a temporary name.
export no_temporaries='! ls -a | grep -q "^\.voxa-" && ! ls -a s | grep -q "^\.voxa-"'

# The material: a clip (raw, AVI, PNG sequence numbered from 1001), a cut
# AVI whose last frame is damaged.
"$voxa" sample --size 64x32 --frames 6 clip.bgra 2>/dev/null
"$voxa" encode clip.bgra clip.avi --size 64x32 --bottom-up --quiet
cp clip.avi clip.avi.orig
ln -s clip.avi link.avi
head -c $(($(stat -c %s clip.avi) - 16 * 6 - 8 - 40)) clip.avi >cut.avi
"$voxa" decode clip.avi seq_%04d.png --quiet
mkdir s
for i in 1 2 3 4 5 6; do cp "seq_000$i.png" "s/t_$((1000 + i)).png"; done
mkdir gap && cp s/t_1001.png s/t_1002.png s/t_1004.png gap/
ffmpeg -v error -f rawvideo -pix_fmt bgra -s 64x32 -i clip.bgra -vf vflip -f rawvideo top.bgra
ffmpeg -v error -f lavfi -i testsrc2=size=64x32:rate=25 -f lavfi -i sine=duration=1 -t 1 \
  -c:v qtrle -c:a pcm_s16le sound.mov
ffmpeg -v error -f lavfi -i testsrc2=size=64x32:rate=25 -t 1 \
  -vf "setpts='N/25/TB*(1+mod(N,2))'" -fps_mode vfr -c:v ffv1 vfr.mkv
echo "earlier" >earlier.avi
cp earlier.avi earlier.bgra

# Output and input.
row same_file_encode 1 '$voxa encode clip.avi clip.avi' 'cmp clip.avi clip.avi.orig && grep -q "is the input" same_file_encode.err'
row same_file_through_link 1 '$voxa decode link.avi clip.avi --format bgra -y' 'cmp clip.avi clip.avi.orig'
row sequence_over_input 1 'cp clip.avi in_01.png && $voxa decode in_01.png in_%02d.png' \
  'cmp in_01.png clip.avi && grep -q "is the input" sequence_over_input.err && [ ! -e in_02.png ]'
row link_output_y 0 'cp earlier.bgra target.bgra && ln -s target.bgra out_link.bgra && $voxa decode clip.avi out_link.bgra --format bgra -y --quiet' \
  '[ -L out_link.bgra ] && $voxa decode clip.avi plain.bgra --quiet && cmp target.bgra plain.bgra'
row fifo_output 0 'mkfifo fifo && { cat fifo >fifo.bytes & } && $voxa decode clip.avi fifo --format bgra --quiet && wait' \
  '[ -p fifo ] && [ $(stat -c %s fifo.bytes) -eq 49152 ]'
if [ "$(id -u)" -eq 0 ]; then
  row device_output_failed_run 1 'mknod null c 1 3 && $voxa decode cut.avi null --format bgra' '[ -c null ]'
else
  skip device_output_failed_run "making a device node needs root"
fi
row existing_output 1 '$voxa encode clip.bgra earlier.avi --size 64x32' 'cmp earlier.avi earlier.bgra && grep -q "give -y" existing_output.err'
row existing_output_y 0 '$voxa encode clip.bgra earlier.avi --size 64x32 -y --quiet' '$voxa info earlier.avi >/dev/null'
row existing_output_before_run 1 '$voxa decode cut.avi earlier.bgra' '[ "$(cat earlier.bgra)" = earlier ] && grep -q "give -y" existing_output_before_run.err'
row dangling_link_output 1 'ln -s nowhere dangling.bgra && $voxa decode cut.avi dangling.bgra' \
  '[ -L dangling.bgra ] && [ ! -e nowhere ] && grep -q "exists; give -y" dangling_link_output.err'
row new_file_mode 0 'umask 022 && $voxa decode clip.avi mode.bgra --quiet && $voxa sample --size 64x32 mode.raw 2>/dev/null' \
  '[ "$(stat -c %a mode.bgra mode.raw)" = "$(printf "644\n644")" ]'
row failed_run_over_file 1 'cp earlier.bgra over.bgra && $voxa decode cut.avi over.bgra -y' 'cmp over.bgra earlier.bgra && eval "$no_temporaries"'
# Interrupted in the middle, whatever the machine's speed: the input never
# ends (and never makes the run wait), and the interrupt comes once the run
# has made its temporary output.
row interrupted 130 'cp earlier.bgra big.avi &&
  { $voxa encode - big.avi --size 1920x1080 -y --threads 1 </dev/zero & p=$!; } &&
  until ls -a | grep -q "^\.voxa-" || ! kill -0 $p 2>/dev/null; do sleep 0.05; done;
  kill -INT $p; wait $p' \
  'cmp big.avi earlier.bgra && eval "$no_temporaries"'
# A failed run whose frames cannot be kept (a file appeared at the output's
# name meanwhile, without -y) reports its own error, not the refusal to keep.
row kept_frames_refused 1 'mkfifo kp.fifo && { $voxa encode - kp.avi --size 64x32 --keep-partial --threads 1 <kp.fifo & p=$!; } &&
  exec 3>kp.fifo && head -c 16384 clip.bgra >&3 && until ls -a | grep -q "^\.voxa-.*-kp\.avi$"; do sleep 0.05; done;
  echo appeared >kp.avi; head -c 100 clip.bgra >&3; exec 3>&-; wait $p' \
  'tail -n 1 kept_frames_refused.err | grep -q "picture 3 of .-. cannot be decoded" && grep -q "could not keep the frames written: .kp.avi. exists" kept_frames_refused.err && [ "$(cat kp.avi)" = appeared ] && eval "$no_temporaries"'
# Every command stops on these signals while it waits for a FIFO (an input
# that never ends, an output without a reader), exits with 128 + the
# signal's number and leaves nothing behind.
# (Each row's folder holds what its run writes, and must be empty after it.)
mkfifo in.fifo out.fifo && exec 9<>in.fifo
for signal in INT TERM HUP QUIT; do
  for run in 'encode:encode - DIR/out.avi --size 64x32 <in.fifo' 'info:info in.fifo' 'inspect:inspect in.fifo' \
             'decode:decode clip.avi out.fifo --format bgra' 'sample:sample --size 64x32 out.fifo'; do
    name=signal_${signal}_${run%%:*}
    mkdir "$name.d" && run=${run//DIR/$name.d}
    row "$name" $((128 + $(kill -l $signal))) "stop_when_waiting $signal \$voxa ${run#*:}" \
      "grep -q 'interrupted by SIG$signal' $name.err && [ -z \"\$(ls -A $name.d)\" ]"
  done
done
# Formats written with seeks refuse a FIFO or a device before writing a byte.
row avi_to_fifo 1 'mkfifo fifo.avi && { cat fifo.avi >fifo.got & } && $voxa encode clip.bgra fifo.avi --size 64x32; s=$?; exec 3<>fifo.avi 3>&-; wait; exit $s' \
  '[ -p fifo.avi ] && [ ! -s fifo.got ] && grep -q "AVI file cannot go to .fifo.avi. (a device or FIFO" avi_to_fifo.err'
row avi_to_device 1 'ln -s /dev/null null.avi && $voxa encode clip.bgra null.avi --size 64x32' 'grep -q "AVI file cannot go to .null.avi. (a device or FIFO" avi_to_device.err'
row movie_to_device 1 'ln -s /dev/null null.mov && $voxa decode clip.avi null.mov' 'grep -q "QuickTime movie cannot go to .null.mov. (a device or FIFO" movie_to_device.err'
# A sequence goes into place whole or not at all; with -y a link at a
# frame's name stays and its target gets the frame.
row sequence_commit_fails 1 'echo old1 >sc_01.png && echo old2 >sc_02.png && mkdir sc_03.png && $voxa decode clip.avi sc_%02d.png -y' \
  '[ "$(cat sc_01.png sc_02.png)" = "$(printf "old1\nold2")" ] && [ -d sc_03.png ] && [ ! -e sc_04.png ] && eval "$no_temporaries"'
row sequence_link_y 0 'echo old >sl_target.png && ln -s sl_target.png sl_02.png && $voxa decode clip.avi sl_%02d.png -y --quiet' \
  '[ -L sl_02.png ] && cmp sl_target.png seq_0002.png && eval "$no_temporaries"'
# Without renameat2 the move into place takes another way, which replaces no
# file either, not one that appeared while the run wrote.
row without_renameat2 0 'LD_PRELOAD=$no_renameat2 ASAN_OPTIONS=verify_asan_link_order=0 $voxa encode top.bgra nr.avi --size 64x32 --quiet' \
  'cmp nr.avi clip.avi && [ ! -s without_renameat2.err ]'
row without_renameat2_appeared 1 'mkfifo nr.fifo && { LD_PRELOAD=$no_renameat2 ASAN_OPTIONS=verify_asan_link_order=0 $voxa encode - nr2.avi --size 64x32 --threads 1 <nr.fifo & p=$!; } &&
  exec 3>nr.fifo && until ls -a | grep -q "^\.voxa-.*-nr2\.avi$"; do sleep 0.05; done; echo appeared >nr2.avi; cat top.bgra >&3; exec 3>&-; wait $p' \
  '[ "$(cat nr2.avi)" = appeared ] && grep -q "nr2.avi. exists; give -y" without_renameat2_appeared.err && eval "$no_temporaries"'
row standard_output 0 '$voxa decode clip.avi - --format bgra >stdout.bgra' \
  '$voxa decode clip.avi file.bgra --quiet && cmp stdout.bgra file.bgra && grep -q "^decoded 6 frames" standard_output.err'
row standard_input 0 'cat top.bgra | $voxa encode - stdin.avi --size 64x32 --quiet' 'cmp stdin.avi clip.avi && [ ! -s standard_input.err ]'
row avi_to_standard_output 1 '$voxa encode clip.bgra - --size 64x32' 'grep -q "cannot go to standard output" avi_to_standard_output.err'
row encode_not_avi 2 '$voxa encode clip.bgra clip.mp4 --size 64x32' '[ ! -e clip.mp4 ] && grep -q "name the output .avi" encode_not_avi.err'
row leftover_frames 0 '$voxa decode clip.avi left_%02d.png --quiet && $voxa sample --size 64x32 --frames 2 two.bgra 2>/dev/null && $voxa encode two.bgra two.avi --size 64x32 --quiet && $voxa decode two.avi left_%02d.png -y' \
  'grep -q "left_03.png. to .left_06.png. of an earlier sequence remain" leftover_frames.err'
row one_leftover_frame 0 '$voxa decode clip.avi lone_%02d.png --quiet && $voxa sample --size 64x32 --frames 5 five.bgra 2>/dev/null && $voxa encode five.bgra five.avi --size 64x32 --quiet && $voxa decode five.avi lone_%02d.png -y' \
  'grep -q "^voxa: warning: .lone_06.png. of an earlier sequence remain after the 5 frames written" one_leftover_frame.err'

# Help, version, exit statuses.
row help 0 '$voxa --help && $voxa -h && $voxa help' 'grep -c "^usage: voxa COMMAND" help.out | grep -qx 3'
row help_command 0 '$voxa help encode && $voxa decode --help' 'grep -q "^  -y " help_command.out && grep -q "^examples:" help_command.out && grep -qx "  --kernels auto|portable|sse|sse2|avx2" help_command.out'
row version 0 '$voxa --version' 'grep -q "^voxa [0-9]" version.out && grep -q "libavformat" version.out && grep -q "^kernels: " version.out'
row bad_size 2 '$voxa encode clip.bgra x.avi --size 0x0'
row bad_rate 2 '$voxa encode clip.bgra x.avi --size 64x32 --rate 0'
row quiet 0 '$voxa encode clip.bgra quiet.avi --size 64x32 --quiet && $voxa decode quiet.avi quiet.bgra --quiet' '[ ! -s quiet.err ] && [ ! -s quiet.out ]'

# Inputs.
row raw_without_size 2 '$voxa encode clip.bgra x.avi' 'grep -q "give their size with --size" raw_without_size.err'
row names_with_colons 0 'cp clip.avi take:1.avi && $voxa info take:1.avi && cp top.bgra take:2.bgra && $voxa encode take:2.bgra take:3.avi --size 64x32 --quiet &&
  $voxa decode take:3.avi take:%02d.png --quiet && $voxa encode take:%02d.png take:4.avi --quiet && rm take:02.png && $voxa encode take:%02d.png take:5.avi --fill-gaps --quiet' \
  'cmp take:3.avi clip.avi && $voxa info take:5.avi | grep -q ", 6 frames,"'

# Raw frames: top line first unless --bottom-up (sample writes bottom line
# first, as the frame commands store frames).
row raw_top_down_default 0 '$voxa encode top.bgra top.avi --size 64x32 --quiet' \
  'cmp top.avi clip.avi && ffmpeg -v error -f rawvideo -pix_fmt bgra -s 64x32 -i top.bgra up_%02d.png && $voxa encode up_%02d.png up.avi --quiet && cmp up.avi top.avi'
row raw_top_down_output 0 '$voxa decode clip.avi - --format bgra --quiet >so.bgra' \
  'ffmpeg -v error -i seq_%04d.png -f rawvideo -pix_fmt bgra png.bgra && cmp so.bgra png.bgra'
row raw_bottom_up 0 '$voxa decode clip.avi bu.bgra --bottom-up --quiet && $voxa encode bu.bgra bu.avi --size 64x32 --bottom-up --quiet' \
  'ffmpeg -v error -f rawvideo -pix_fmt bgra -s 64x32 -i so.bgra -vf vflip -f rawvideo flipped.bgra && cmp flipped.bgra bu.bgra && $voxa encode so.bgra so.avi --size 64x32 --quiet && cmp so.avi bu.avi'
row top_down_alias 0 '$voxa encode top.bgra alias.avi --size 64x32 --top-down --quiet' 'cmp alias.avi clip.avi'
row bottom_up_not_y16a 2 '$voxa decode clip.avi x.y16a --bottom-up' 'grep -q "is for raw BGRA frames" bottom_up_not_y16a.err && [ ! -e x.y16a ]'
row bottom_up_not_raw 2 '$voxa encode s/t_%04d.png x.avi --bottom-up' 'grep -q "is for raw frames" bottom_up_not_raw.err'

# Options as users type them.
row size_with_equals 0 '$voxa encode top.bgra eq.avi --size=64x32 --quiet && $voxa sample --size=64x32 eq.raw 2>/dev/null' \
  'cmp eq.avi clip.avi && [ $(stat -c %s eq.raw) -eq 8192 ]'
row end_of_options 0 'cp top.bgra ./-top.bgra && $voxa encode --size 64x32 --quiet -- -top.bgra dash.avi' 'cmp dash.avi clip.avi'
row rgba_alias 0 '$voxa decode clip.avi rgba.raw --format rgba --quiet && $voxa sample --size 64x32 --format rgba rgba-sample.raw 2>/dev/null' \
  'cmp rgba.raw so.bgra && $voxa sample --size 64x32 --format bgra bgra-sample.raw 2>/dev/null && cmp rgba-sample.raw bgra-sample.raw'
row rate 0 '$voxa encode s/t_%04d.png rate.avi --rate 30000/1001 --quiet' '$voxa info rate.avi | grep -q "rate 30000/1001, length 6"'
row sequence_from_1001 0 '$voxa encode s/t_%04d.png s.avi --quiet' '$voxa encode seq_%04d.png seq.avi --quiet && cmp s.avi seq.avi'
row sequence_gap 1 '$voxa encode gap/t_%04d.png gap.avi' '[ ! -e gap.avi ] && grep -q "gap/t_1003.png. is missing" sequence_gap.err'
row sequence_gap_filled 0 '$voxa encode gap/t_%04d.png gap.avi --fill-gaps' \
  '$voxa info gap.avi | grep -q ", 4 frames," && grep -q "1 missing frame .* shows the frame before it" sequence_gap_filled.err'
row sound_and_variable_rate 0 '$voxa encode sound.mov sound.avi && $voxa encode vfr.mkv vfr.avi' \
  'grep -q "has sound, which a VOXA AVI file does not carry" sound_and_variable_rate.err && grep -q "has a variable frame rate" sound_and_variable_rate.err'

# Sizes, comparisons and messages as the user counts.
row frame_size_zero 2 '$voxa compare --size 0x0 clip.bgra clip.bgra; [ $? -eq 2 ] && $voxa sample --size 0x0 zero.bgra' \
  '[ ! -e zero.bgra ] && grep -q "is empty" frame_size_zero.err'
row frame_odd_height 2 '$voxa encode-frame --size 64x31 clip.bgra odd.vx' '[ ! -e odd.vx ] && grep -q "height 31 is odd" frame_odd_height.err'
row compare_upside_down 1 '$voxa compare --size 64x32 clip.bgra top.bgra' 'grep -q "line orders may differ" compare_upside_down.err'
row rate_ntsc 0 'for r in 29.97 59.94 23.976; do $voxa encode clip.bgra ntsc.avi --size 64x32 --rate $r -y --quiet && $voxa info ntsc.avi | grep -o "rate [0-9/]*"; done' \
  '[ "$(echo $(cat rate_ntsc.out))" = "rate 30000/1001 rate 60000/1001 rate 24000/1001" ]'
row one_frame 0 '$voxa sample --size 64x32 --frames 1 one.bgra && $voxa encode one.bgra one.avi --size 64x32' \
  'grep -q "^wrote 1 frame of" one_frame.err && grep -q "^encoded 1 frame of" one_frame.err'
row png_to_standard_output 1 '$voxa decode clip.avi - --format png' 'grep -q "PNG sequence cannot go to standard output" png_to_standard_output.err'
row movie_through_pipe 1 'ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -t 1 -c:v qtrle big.mov && cat big.mov | $voxa encode - pipe.avi' \
  'grep -q "needs an input that can be seeked" movie_through_pipe.err'
row keep_going_first 1 'cp clip.avi first.avi && movi=$(grep -obUa movi first.avi | head -n 1 | cut -d: -f1) &&
  printf XXXX | dd of=first.avi bs=1 seek=$((movi + 12)) conv=notrunc status=none && $voxa decode first.avi first_%02d.png --keep-going' \
  'grep -q "frame 1, with no picture before it, shows what of it decodes (the rest transparent) (the first: frame 1 of .first.avi. (first_01.png) is not" keep_going_first.err'

# Damaged frames, full disks.
row keep_going 1 '$voxa decode cut.avi going.bgra --keep-going' \
  '[ $(stat -c %s going.bgra) -eq 49152 ] && grep -q "1 of the 6 frames was damaged and shows the picture before it" keep_going.err'
if mkdir small && [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=3m tmpfs small 2>/dev/null; then
  "$voxa" sample --size 720x576 --frames 40 mid.bgra 2>/dev/null
  row disk_full 1 '$voxa encode mid.bgra small/full.avi --size 720x576' '[ ! -e small/full.avi ] && ! ls -a small | grep -q voxa'
  row disk_full_keep_partial 1 '$voxa encode mid.bgra small/full.avi --size 720x576 --keep-partial' \
    '$voxa decode small/full.avi kept.bgra --quiet && [ $(stat -c %s kept.bgra) -gt 0 ] && grep -q "kept the [0-9]* frames written whole" disk_full_keep_partial.err'
  umount small
else
  skip disk_full "no tmpfs can be mounted here (needs root)"
fi

echo "tool-safety-test: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
