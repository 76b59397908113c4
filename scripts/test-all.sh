#!/bin/bash
# Builds and tests every preset: native (after it, scripts/build-packages.sh
# builds, installs, checks and purges the Debian packages), native-asan,
# native-i386 (libvoxa for 32-bit x86 Linux and its C test), win32, win64 (the
# Windows ones run their tests under Wine; after win64, scripts/test-install.sh
# installs and uninstalls the release package under Wine,
# scripts/test-setup.sh does the same with the setup program, and
# scripts/test-interop.sh exchanges AVI files between the tool and avifil32
# with the real driver, and scripts/test-ffmpeg.sh builds FFmpeg with VOXA
# and tests it against the tool, libvoxa and the driver), then fuzzes the
# frame decoder in the fuzz preset (scripts/fuzz.sh) for VOXA_FUZZ_SECONDS
# (default 60).
# Installs the Debian packages first when run as root. Stops at the first
# failure.
#
#   scripts/test-all.sh [PRESET...]      (default: all six)
set -uo pipefail

cd "$(dirname "$0")/.."

presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then
  presets=(native native-asan native-i386 win32 win64 fuzz)
fi

scripts/install-deps.sh all || { echo "test-all: FAILED: installing the Debian packages" >&2; exit 1; }

# step_done NAME STATUS RESULT FAILURE START: stops the run with FAILURE when
# STATUS is not 0; otherwise NAME's RESULT and time since START go into the
# summary.
step_done() {
  if [ "$2" -ne 0 ]; then
    echo "test-all: FAILED: $4" >&2
    exit 1
  fi
  summary+=("$(printf '%-12s %s (%d s)' "$1" "$3" $((SECONDS - $5)))")
}

# A test script run after the presets: NAME, what it does, the script, the
# prefix of its "PREFIX: N passed, M failed" line, and what a failure means.
run_step() {
  local name=$1 what=$2 script=$3 prefix=$4 failure=$5
  echo
  echo "=== $name: $what ($script)"
  local start=$SECONDS log="build/test-all-$name.log"
  "$script" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local result
  result=$(sed -n "s/^$prefix: \([0-9]* passed, [0-9]* failed\)\$/\1/p" "$log" | tail -n 1)
  step_done "$name" "$status" "${result:-no result line}" "$failure (${result:-see $log})" "$start"
}

# A full run writes about 11 GB (four builds and four Wine prefixes of over
# a gigabyte each); a disk that fills up shows itself late and obscurely.
free_kb=$(df -Pk . | awk 'NR == 2 { print $4 }')
if [ "${free_kb:-0}" -lt $((12 * 1024 * 1024)) ]; then
  echo "test-all: warning: $((free_kb / 1024 / 1024)) GB free here; a full run needs about 11 GB" >&2
fi

summary=()
start_all=$SECONDS

for preset in "${presets[@]}"; do
  echo
  start=$SECONDS
  if [ "$preset" = fuzz ]; then
    log="build/fuzz/test-all-fuzz.log"
    mkdir -p build/fuzz
    scripts/fuzz.sh "${VOXA_FUZZ_SECONDS:-60}" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    result=$(sed -n 's/^fuzz: passed: //p' "$log" | tail -n 1)
    step_done "$preset" "$status" "${result:-no result line}" "fuzzing (see $log and build/fuzz/crashes)" "$start"
    continue
  fi
  echo "=== $preset: configure"
  if ! cmake --preset "$preset"; then
    echo "test-all: FAILED: configure of preset $preset" >&2
    exit 1
  fi
  echo "=== $preset: build"
  if ! cmake --build --preset "$preset" -j 2; then
    echo "test-all: FAILED: build of preset $preset" >&2
    exit 1
  fi
  echo "=== $preset: test"
  log="build/$preset/test-all-ctest.log"
  ctest --preset "$preset" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  counts=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
  step_done "$preset" "$status" "${counts:-no test count}" \
    "tests of preset $preset (${counts:-ctest exited with $status})" "$start"

  if [ "$preset" = native ]; then
    # The Debian packages built, linted, installed (the README's example and
    # FFmpeg built against them) and purged.
    run_step packages "the Debian packages" scripts/build-packages.sh \
      packages-test "the Debian packages"
  fi
  if [ "$preset" = win64 ]; then
    # The release package installed into Wine prefixes of its own, for 32-
    # and 64-bit programs (builds what it needs of win32 too).
    run_step install "the release package under Wine" scripts/test-install.sh \
      install-test "installing the release package"
    # The setup program: installs, upgrades, refuses to downgrade silently,
    # uninstalls, also while hosts hold the codec (fresh Wine prefixes).
    run_step setup "the setup program under Wine" scripts/test-setup.sh \
      setup-test "the setup program"
    # The tool's AVI files through avifil32 and the real driver, and a
    # Windows host's AVI files through the tool (needs the native build).
    run_step interop "voxa encode/decode and avifil32 under Wine" scripts/test-interop.sh \
      interop-test "interoperability under Wine"
    # FFmpeg with VOXA (scripts/build-ffmpeg.sh) against the tool, libvoxa
    # and the driver.
    run_step ffmpeg "FFmpeg's own VOXA" scripts/test-ffmpeg.sh \
      ffmpeg-test "FFmpeg's own VOXA"
  fi
done

echo
echo "=== summary"
printf '%s\n' "${summary[@]}"
echo "all presets passed in $((SECONDS - start_all)) s"
