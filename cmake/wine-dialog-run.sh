#!/bin/bash
# Runs a Windows program that shows dialogs: on a fresh Xvfb screen, through
# wine-run.sh (same arguments). Used as the emulator of the dialog tests.
#
#   wine-dialog-run.sh [--gtest] DEFAULT_PREFIX PROGRAM [ARGS...]
#
# Give it a prefix of its own: the Wine server is ended after each run (it
# would stay bound to a screen that no longer exists), which would also end
# whatever else runs in that prefix.
set -u

here=$(cd "$(dirname "$0")" && pwd)
prefix_arg=$1
[ "$prefix_arg" = "--gtest" ] && prefix_arg=${2:-}
export WINEPREFIX="${WINEPREFIX:-$prefix_arg}"

if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "wine-dialog-run: xvfb-run is not installed (see scripts/install-deps.sh)" >&2
  exit 125
fi

xvfb-run -a -s "-screen 0 800x600x24" "$here/wine-run.sh" "$@"
status=$?
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
exit "$status"
