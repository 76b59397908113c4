#!/bin/bash
# Measures the kernels: every variant this processor has (portable, sse,
# sse2, avx2), encoding and decoding whole frames of a title and of an opaque
# picture at 720x576 and 1920x1080, beside memcpy of the same frame, all in
# one run. Prints the throughput and its ratio to memcpy. Installs the Debian
# packages first when run as root.
#
#   scripts/bench.sh [extra Google Benchmark flags]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh native
cmake --preset native >/dev/null
cmake --build --preset native -j 2 --target voxa_bench

csv=build/native/bench/frames.csv
# The median of three runs of each, which the machine's noise moves less.
build/native/bench/voxa_bench --benchmark_filter='^(memcpy|encode_frame|decode_frame)/' \
  --benchmark_min_time=0.3 --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv "$@" > "$csv"

# name,iterations,real_time,cpu_time,time_unit,bytes_per_second,...
awk -F, '
  !/_median"?,/ { next }
  { sub(/_median/, "", $1) }
  /^"?memcpy\// { gsub(/"/, "", $1); split($1, n, "/"); memcpy[n[2] "/" n[3]] = $6; next }
  /^"?(encode|decode)_frame\// {
    gsub(/"/, "", $1); split($1, n, "/")
    key = n[2] "/" n[3]; row = key " " n[4] " " n[5]
    if (!(row in seen)) { seen[row] = 1; order[++rows] = row }
    speed[row, n[1]] = $6
  }
  END {
    printf "%-16s %-7s %-9s %14s %7s %14s %7s\n", "frame", "picture", "kernels",
           "encode MB/s", "ratio", "decode MB/s", "ratio"
    for (i = 1; i <= rows; ++i) {
      split(order[i], p, " "); m = memcpy[p[1]]
      e = speed[order[i], "encode_frame"]; d = speed[order[i], "decode_frame"]
      printf "%-16s %-7s %-9s %14.0f %7.2f %14.0f %7.2f\n", p[1], p[2], p[3],
             e / 1e6, e / m, d / 1e6, d / m
    }
    print "ratio: throughput / memcpy of the same frame, measured in this run (medians of 3)"
  }' "$csv"
