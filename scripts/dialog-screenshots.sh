#!/bin/bash
# Takes the pictures of the two dialogs shown in the README (docs/*.png). The
# dialog tests of a Windows build run on an Xvfb screen; with VOXA_SCREENSHOT
# set, a test holds its first dialog and writes the dialog's rectangle into
# that file, the picture is cut from the screen, and removing the file lets
# the test go on.
#
#   scripts/dialog-screenshots.sh [win32|win64]     (default: win32; builds it)
set -euo pipefail
cd "$(dirname "$0")/.."

preset=${1:-win32}
build=build/$preset
export WINEPREFIX=$PWD/$build/wine-prefix-dialogs

if [ "${2:-}" != "--on-screen" ]; then
  command -v import >/dev/null || { echo "dialog-screenshots: needs imagemagick (scripts/install-deps.sh)" >&2; exit 1; }
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target voxa_dialog_tests
  status=0
  xvfb-run -a -s "-screen 0 800x600x24" "$0" "$preset" --on-screen || status=$?
  wineserver -k 2>/dev/null || true
  exit "$status"
fi

# shot TEST PICTURE
shot() {
  local marker pid
  marker=$(mktemp -u "${TMPDIR:-/tmp}/voxa-dialog-shot.XXXXXX")
  VOXA_SCREENSHOT="Z:${marker//\//\\}" cmake/wine-run.sh --gtest "$WINEPREFIX" \
    "$build/tests/voxa_dialog_tests.exe" --gtest_filter="$1" >"$marker.log" 2>&1 &
  pid=$!
  for _ in $(seq 300); do
    [ -s "$marker" ] && break
    sleep 0.1
  done
  if [ ! -s "$marker" ]; then
    cat "$marker.log" >&2
    echo "dialog-screenshots: $1 showed no dialog" >&2
    kill "$pid" 2>/dev/null
    exit 1
  fi
  import -window root -crop "$(cat "$marker")" +repage "$2"
  rm -f "$marker"
  if ! wait "$pid"; then
    cat "$marker.log" >&2
    echo "dialog-screenshots: $1 failed" >&2
    exit 1
  fi
  rm -f "$marker.log"
  echo "dialog-screenshots: $2"
}

shot DialogTest.ShowsFlagAndNamesUpToTheFirstEmptySlotSorted docs/configure-dialog.png
shot DialogTest.AboutBoxShowsTheDescriptionAndTheBuild docs/about-box.png
