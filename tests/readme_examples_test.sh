#!/bin/bash
# Runs the README's examples of the video verbs as a user would type them, in
# an empty folder: every line of the indented block after the "examples"
# marker that starts with "voxa" must exit with status 0.
#
#   readme_examples_test.sh README VOXA WORK_DIR
set -uo pipefail

readme=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
tool_dir=$(cd "$(dirname "$2")" && pwd)
work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
export PATH="$tool_dir:$PATH"
# ffplay shows the pictures without a screen.
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy

mapfile -t examples < <(sed -n '/<!-- examples:/,/^[^ <]/p' "$readme" | sed -n 's/^    \(voxa .*\)$/\1/p')
[ "${#examples[@]}" -gt 0 ] || { echo "readme-examples: none found in $readme"; exit 1; }
failed=0
for line in "${examples[@]}"; do
  if bash -c "$line" >example.log 2>&1 </dev/null; then
    echo "ok: $line"
  else
    echo "FAILED ($?): $line"
    sed 's/^/  /' example.log | head -n 5
    failed=$((failed + 1))
  fi
done
echo "readme-examples: $((${#examples[@]} - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
