#!/bin/bash
# Fuzzes the frame decoder: builds the fuzz preset (clang, libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer), writes the seed corpus and
# runs voxa_decode_frame_fuzzer for a while. Installs the Debian packages
# first when run as root.
#
#   scripts/fuzz.sh [SECONDS]          (default: 60)
#
#   build/fuzz/corpus        the seed inputs, written anew each run
#   build/fuzz/corpus-found  inputs the fuzzer found new coverage with; kept,
#                            so later runs start from them
#   build/fuzz/crashes       inputs that failed a check or crashed; kept
#   build/fuzz/fuzz.log      the fuzzer's output
#
# Exits non-zero when an input fails, printing it as hex. Replay one with
#   build/fuzz/fuzz/voxa_decode_frame_fuzzer build/fuzz/crashes/FILE
set -uo pipefail

cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi

fail() {
  echo "fuzz: FAILED: $*" >&2
  exit 1
}

scripts/install-deps.sh fuzz || fail "installing the Debian packages"
cmake --preset fuzz || fail "configure of preset fuzz"
cmake --build --preset fuzz -j 2 || fail "build of preset fuzz"

dir=build/fuzz
rm -rf "$dir/corpus"
mkdir -p "$dir/corpus" "$dir/corpus-found" "$dir/crashes"
"$dir/fuzz/voxa_fuzz_seeds" "$dir/corpus" || fail "writing the seed corpus"

# Failures found by this run are the artifacts newer than this stamp.
stamp="$dir/crashes/.run-started"
touch "$stamp"

export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
if command -v llvm-symbolizer >/dev/null; then
  ASAN_SYMBOLIZER_PATH=$(command -v llvm-symbolizer)
  export ASAN_SYMBOLIZER_PATH
fi

# Inputs of up to 16 KiB: a frame of 64 blocks by 64 lines would take more,
# but longer inputs only slow the search down.
echo "=== fuzz: voxa_decode_frame_fuzzer for $seconds s"
"$dir/fuzz/voxa_decode_frame_fuzzer" \
  -max_len=16384 -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
  -dict=fuzz/decode_frame.dict -print_final_stats=1 -artifact_prefix="$dir/crashes/" \
  "$dir/corpus-found" "$dir/corpus" 2>&1 | tee "$dir/fuzz.log"
status=${PIPESTATUS[0]}

found=()
while IFS= read -r -d '' file; do
  found+=("$file")
done < <(find "$dir/crashes" -type f -newer "$stamp" ! -name '.*' -print0)

for file in "${found[@]}"; do
  echo "fuzz: failing input $file ($(stat -c %s "$file") bytes):"
  od -An -v -tx1 "$file" | tr -d ' \n'
  echo
done

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/fuzz.log")
speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/fuzz.log")
coverage=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$dir/fuzz.log" | tail -n 1)
if [ "$status" -ne 0 ] || [ ${#found[@]} -ne 0 ]; then
  fail "the fuzzer exited with $status and left ${#found[@]} failing input(s) in $dir/crashes"
fi
echo "fuzz: passed: ${runs:-?} runs in $seconds s (${speed:-?} a second), ${coverage:-no coverage line}"
