# What the test scripts of scripts/ share; sourced by each, after
# `set -uo pipefail`, as
#
#   source "$(dirname "$0")/test-steps.sh" NAME
#
# It makes the top folder the working folder ($root), counts the checks
# ($passed, $failed) and gives:
#   note TEXT, die TEXT            a line "NAME: TEXT"; die also ends the script
#   pass TEXT, fail TEXT           count a check and say so
#   check TEXT COMMAND...          passes when COMMAND succeeds
#   build_presets TARGETS PRESET...  configures each PRESET not yet configured
#                                  and builds TARGETS (a space-separated list)
#                                  in it; dies with the build's log otherwise
#   enter_work NAME                a new, empty build/NAME as the working
#                                  folder ($work)
#   wine_run PRESET LOG PROGRAM ARGS...  a Windows program of PRESET under
#                                  Wine, in the preset's prefix, output in LOG
#   prefix_run NAME COMMAND...     COMMAND under Wine in $WINEPREFIX (made
#                                  once, its services started), output in
#                                  $work/NAME.log; sets $status and $output
#   prefix_run64 NAME COMMAND...   the same through the 64-bit loader, in a
#                                  prefix that prefix_run has started
#   find_wine64                    the 64-bit loader's path into $wine64
#   expect_decoder BITS found|absent  the Media Foundation decoder as MFTEnumEx
#                                  shows it to a BITS-bit program in
#                                  $WINEPREFIX (found: it also decodes a clip
#                                  through the Media Session), a check counted
#   finish                         the "NAME: N passed, M failed" line; the
#                                  script's exit status
test_name=$1
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
root=$PWD
passed=0
failed=0

note() { echo "$test_name: $*"; }
pass() { passed=$((passed + 1)); echo "  ok: $*"; }
fail() { failed=$((failed + 1)); echo "  FAILED: $*"; }
die() { echo "$test_name: FAILED: $*" >&2; exit 1; }
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

build_presets() {
  local targets=$1 preset log
  shift
  mkdir -p build
  for preset in "$@"; do
    log=build/$test_name-$preset.log
    if [ ! -f "build/$preset/build.ninja" ]; then
      cmake --preset "$preset" >"$log" 2>&1 || { cat "$log"; die "configure of preset $preset"; }
    fi
    # shellcheck disable=SC2086 # the targets are words
    cmake --build "build/$preset" --target $targets >"$log" 2>&1 ||
      { cat "$log"; die "build of $targets in build/$preset"; }
  done
}

enter_work() {
  work=$root/build/$1
  rm -rf "$work"
  mkdir -p "$work"
  cd "$work" || die "cannot enter $work"
}

wine_run() {
  local preset=$1 log=$2
  shift 2
  "$root/cmake/wine-run.sh" "$root/build/$preset/wine-prefix" "$@" </dev/null >"$log" 2>&1
}

prefix_run() {
  local name=$1
  shift
  "$root/cmake/wine-run.sh" "$WINEPREFIX" "$@" </dev/null >"$work/$name.log" 2>&1
  status=$?
  output=$(tr -d '\r' <"$work/$name.log")
}

wine64=
find_wine64() {
  [ -n "$wine64" ] && return
  wine64=$(command -v wine64 || true)
  [ -n "$wine64" ] || { [ -x /usr/lib/wine/wine64 ] && wine64=/usr/lib/wine/wine64; }
  [ -n "$wine64" ] || die "no 64-bit Wine loader (wine64) found"
}
prefix_run64() {
  local name=$1
  shift
  find_wine64
  # Without address-space randomisation, as cmake/wine-run.sh says why.
  WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" setarch "$(uname -m)" -R "$wine64" "$@" \
    </dev/null >"$work/$name.log" 2>&1
  status=$?
  output=$(tr -d '\r' <"$work/$name.log")
}

expect_decoder() {
  local test=Absent run=prefix_run
  [ "$2" = found ] && test=Decodes
  [ "$1" = 64 ] && run=prefix_run64
  $run "decoder$1" "$root/build/win$1/tests/voxa_media_foundation_tests.exe" \
    --gtest_also_run_disabled_tests "--gtest_filter=MediaFoundationInstalled.DISABLED_$test"
  if [ "$status" -eq 0 ]; then
    pass "$1-bit program: the VOXA decoder is $2 (MediaFoundationInstalled.$test)"
  else
    fail "$1-bit program: the VOXA decoder is not $2 (MediaFoundationInstalled.$test, exit status $status):"
    printf '%s\n' "$output" | grep -E -A4 'Failure' | head -n 15 | sed 's/^/    /'
  fi
}

finish() {
  note "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
