#!/bin/bash
# Measures FFmpeg's own VOXA decoder and encoder (scripts/build-ffmpeg.sh)
# against libvoxa, in one run: a title and an opaque picture at 720x576 and
# 1920x1080, coded in memory over and over by bench/ffmpeg_bench.c (one
# process, one thread each, processor time, the median of three interleaved
# rounds): libvoxa with its best kernels on this processor (auto) and with
# SSE2, FFmpeg with its SIMD and with -cpuflags 0 (C). Prints frames a second
# and the ratios FFmpeg / libvoxa. Then checkasm --bench of the SIMD
# functions against C. A measurement, not a test: it judges nothing.
#
#   scripts/bench-ffmpeg.sh [SECONDS]     (a case's coding time, default 1.5)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-1.5}

scripts/build-ffmpeg.sh
cmake --preset native >/dev/null
cmake --build --preset native -j 2 --target voxa voxa_static >/dev/null
ff=build/ffmpeg
lib=$(find build/native -name libvoxa.a | head -n 1)
out=build/ffmpeg-bench
mkdir -p "$out"
# Against the static libraries of this FFmpeg, not the system's.
cc -O2 -std=c11 -o "$out/ffmpeg_bench" bench/ffmpeg_bench.c -I"$ff/include" -Iinclude \
  "$ff/lib/libavcodec.a" "$ff/lib/libavutil.a" "$lib" -lstdc++ -lz -lm -lpthread

printf '%-10s %-7s %-6s | %9s %9s %9s %9s | %11s %11s %9s\n' size picture coding \
  "voxa auto" "voxa sse2" "ffmpeg" "ffmpeg C" "ffmpeg/auto" "ffmpeg/sse2" "C/sse2"
for size in 720x576 1920x1080; do
  for kind in title opaque; do
    picture=$out/$kind-$size.bgra
    build/native/tools/voxa sample --size $size --kind $kind "$picture" >/dev/null
    read -r -a r < <("$out/ffmpeg_bench" "${size%x*}" "${size#*x}" "$picture" "$seconds")
    [ ${#r[@]} -eq 10 ] || { echo "bench-ffmpeg: ffmpeg_bench failed on $picture" >&2; exit 1; }
    # encode: a b c d decode: e f g h
    for coding in encode decode; do
      [ $coding = encode ] && set -- "${r[@]:1:4}" || set -- "${r[@]:6:4}"
      awk -v row="$size $kind $coding" -v a="$1" -v s="$2" -v f="$3" -v c="$4" 'BEGIN {
        split(row, w, " ")
        printf "%-10s %-7s %-6s | %9.0f %9.0f %9.0f %9.0f | %11.2f %11.2f %9.2f\n",
               w[1], w[2], w[3], a, s, f, c, f / a, f / s, c / s }'
    done
  done
done
echo "frames a second of processor time, one thread; voxa auto: libvoxa's $(build/native/tools/voxa --version | sed -n 's/.*kernels[^:]*: *//p' | head -n 1)"

echo
checkasm=$ff/work/tests/checkasm/checkasm
for test in voxadsp voxaencdsp; do
  # name_c: cycles, name_sse2: cycles ... (checkasm's timer units)
  "$checkasm" --test=$test --bench 2>&1 | awk -v test=$test '
    /^ *[a-z0-9_]+_(c|sse2|avx2): *[0-9.]+/ {
      sub(/:$/, "", $1); n = split($1, part, "_"); isa = part[n]
      name = substr($1, 1, length($1) - length(isa) - 1)
      t[name, isa] = $2; if (!(name in seen)) { seen[name] = 1; order[++count] = name }
    }
    END {
      for (i = 1; i <= count; i++) {
        f = order[i]; c = t[f, "c"]
        printf "checkasm %-22s C %7.0f", f, c
        if ((f, "sse2") in t) printf ", SSE2 %6.0f (%.1fx)", t[f, "sse2"], c / t[f, "sse2"]
        if ((f, "avx2") in t) printf ", AVX2 %6.0f (%.1fx)", t[f, "avx2"], c / t[f, "avx2"]
        printf "\n"
      }
    }'
done
