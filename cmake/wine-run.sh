#!/bin/bash
# Runs a Windows program under Wine; used as CMAKE_CROSSCOMPILING_EMULATOR.
#
#   wine-run.sh [--gtest] DEFAULT_PREFIX PROGRAM [ARGS...]
#
# DEFAULT_PREFIX is the Wine prefix to use unless WINEPREFIX is set (the
# toolchain files pass <build dir>/wine-prefix). The prefix is created once,
# under a lock, so parallel test runs can share it.
#
# --gtest: PROGRAM is a GoogleTest program. A run of one test
# (--gtest_filter=...) passes only if the program exits with 0 AND printed its
# own success line for exactly one test: a Wine process that dies silently can
# exit with 0.
set -u

gtest=0
if [ "${1:-}" = "--gtest" ]; then
  gtest=1
  shift
fi
if [ $# -lt 2 ]; then
  echo "usage: $0 [--gtest] DEFAULT_PREFIX PROGRAM [ARGS...]" >&2
  exit 2
fi
default_prefix=$1
shift

export WINEPREFIX="${WINEPREFIX:-$default_prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Keep the server (and the background services) alive between test runs.
persist="${VOXA_WINE_PERSIST:-10}"

# Wine runs with the kernel's address-space randomisation off. Debian's
# 64-bit loader (wine64) sits at a fixed address, 0x7d000000, and this
# kernel starts its brk heap anywhere up to 1 GB above it; now and then the
# heap covers 0x7ffe0000, where Wine must map the shared user data, and the
# program never starts ("failed to map the shared user data: c0000018",
# then "ShellExecuteEx failed", exit 1): a hello-world program, nothing of
# ours, 3 times in 6,000 runs, six at a time; none in 6,000 without the
# randomisation.
norandom=(setarch "$(uname -m)" -R)

die() {
  echo "wine-run: $*" >&2
  exit 125
}

command -v wine >/dev/null 2>&1 || die "wine is not installed (see scripts/install-deps.sh)"
mkdir -p "$WINEPREFIX" || die "cannot create $WINEPREFIX"

# Create the prefix once. Commands started inside the lock must not inherit
# fd 9, or a long-lived Wine process would hold the lock.
{
  flock 9 || die "cannot lock $WINEPREFIX"
  if [ ! -e "$WINEPREFIX/.voxa-prefix-ready" ]; then
    echo "wine-run: creating Wine prefix $WINEPREFIX" >&2
    boot_log="$WINEPREFIX/.voxa-wineboot.log"
    if ! "${norandom[@]}" wineboot -i </dev/null >"$boot_log" 2>&1 9>&-; then
      # A prefix takes over a gigabyte; a full disk is the usual reason.
      tail -n 20 "$boot_log" >&2
      df -h "$WINEPREFIX" >&2
      die "wineboot -i failed for $WINEPREFIX"
    fi
    # Windows drawn by Wine itself, not by a window manager: no stalls under Xvfb.
    "${norandom[@]}" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      </dev/null >/dev/null 2>&1 9>&- || die "cannot write the Wine registry in $WINEPREFIX"
    wineserver -w 9>&-
    touch "$WINEPREFIX/.voxa-prefix-ready"
  fi

  # A Wine server started without a display (or with another one) breaks
  # dialogs later on: end it when the display changes.
  display_file="$WINEPREFIX/.voxa-server-display"
  if [ -e "$display_file" ] && [ "$(cat "$display_file")" != "${DISPLAY:-}" ]; then
    wineserver -k 9>&- 2>/dev/null
    wineserver -w 9>&- 2>/dev/null
  fi

  # Start the server and Wine's background services detached from our output.
  # Started by the program itself they would inherit its stdout/stderr and
  # keep the caller's pipe open (ctest would wait for its timeout).
  # wineserver exits with 0 only when it started a new server.
  if wineserver "-p$persist" </dev/null >/dev/null 2>&1 9>&-; then
    printf '%s' "${DISPLAY:-}" >"$display_file"
    "${norandom[@]}" wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
  fi
} 9>>"$WINEPREFIX/.voxa-prefix-lock"

run_one_test=0
if [ "$gtest" = 1 ]; then
  for arg in "$@"; do
    case "$arg" in
      --gtest_filter=*) run_one_test=1 ;;
      --gtest_list_tests) run_one_test=0; break ;;
    esac
  done
fi

if [ "$run_one_test" = 0 ]; then
  exec "${norandom[@]}" wine "$@"
fi

log=$(mktemp "${TMPDIR:-/tmp}/voxa-wine-run.XXXXXX") || die "mktemp failed"
trap 'rm -f "$log"' EXIT
# Output goes to a file, not a pipe: nothing that outlives the program can
# keep the caller waiting.
passed_line='^\[  (PASSED  \] 1 test\.|SKIPPED \] 1 test)'
"${norandom[@]}" wine "$@" >"$log" 2>&1
status=$?
cat "$log"
if [ "$status" -ne 0 ]; then
  echo "wine-run: test program exited with status $status" >&2
  exit "$status"
fi
if ! grep -Eq "$passed_line" "$log"; then
  echo "wine-run: exit status 0 but no success line for exactly one test" >&2
  exit 1
fi
exit 0
