#!/bin/bash
# libvoxa as a program outside the build sees it: installed under a prefix
# of its own with `cmake --install`, the C test program (tests/api_test.c)
# built against the installed header and pkg-config file, with the shared
# library and with the static one, the shared library's exported symbols,
# and the README's example as its reader would build it.
#
#   api_install_test.sh BUILD_DIR WORK_DIR README
set -uo pipefail

build=$1
work=$2
readme=$3
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "api-install-test: FAILED: $*"; exit 1; }
rm -rf "$work" && mkdir -p "$work" || fail "cannot make $work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "cmake --install: $(tail -n 3 "$work/install.log")"
pc=$(find "$prefix" -name voxa.pc | head -n 1)
[ -n "$pc" ] || fail "no voxa.pc installed"
[ -x "$prefix/bin/voxa" ] || fail "the voxa tool was not installed"
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir voxa) || fail "pkg-config does not know voxa"

# Plain C99, with every warning, against the installed header only.
cc -std=c99 -Wall -Wextra -Werror -pedantic "$here/api_test.c" $(pkg-config --cflags --libs voxa) \
  -o "$work/api_test_shared" || fail "building against the shared library"
cc -std=c99 -Wall -Wextra -Werror -pedantic "$here/api_test.c" $(pkg-config --cflags voxa) \
  "$libdir/libvoxa.a" $(pkg-config --static --libs-only-l voxa | sed 's/-lvoxa//') \
  -o "$work/api_test_static" || fail "building against the static library"
LD_LIBRARY_PATH=$libdir "$work/api_test_shared" || fail "the test program on the shared library"
"$work/api_test_static" || fail "the test program on the static library"
readelf -d "$work/api_test_shared" | grep -q 'NEEDED.*libvoxa.so.1' || fail "the program does not need libvoxa.so.1"

# Only the API's functions leave the shared library.
others=$(nm -D --defined-only "$libdir/libvoxa.so.1" | awk '$2 != "A" { sub(/@.*/, "", $3); print $3 }' | grep -v '^voxa_')
[ -z "$others" ] || fail "libvoxa.so.1 exports more than the API: $(echo $others | head -c 300)"
# The README's example, built as the README says.
sed -n '/<!-- library example -->/,/^```$/p' "$readme" | sed '1,2d;$d' >"$work/example.c"
cc -std=c99 -Wall -Wextra -Werror "$work/example.c" $(pkg-config --cflags --libs voxa) -o "$work/example" ||
  fail "building the README's example"
example=$(LD_LIBRARY_PATH=$libdir "$work/example") || fail "the README's example exited with $?: $example"
[[ "$example" == *", alpha 255" ]] || fail "the README's example printed '$example'"

echo "api-install-test: passed ($(nm -D --defined-only "$libdir/libvoxa.so.1" | grep -c ' T voxa_') functions exported)"
