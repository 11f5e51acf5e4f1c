#!/bin/sh
# Takes the installed package, the source tree as a subfolder and the
# pkg-config file each from a clean consumer project, builds the consumer and
# runs it. Needs a built tree: run.sh BUILD_DIR WORK_DIR.
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$2"
build=$(cd "$1" && pwd)
work=$(cd "$2" && pwd)
rm -rf "$work" && mkdir -p "$work/run"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
test ! -e "$work/prefix/include/edog/e_dog_internal.h"  # public headers only

echo "-- find_package(edog)"
cmake -S "$src/tests/consumer" -B "$work/find" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/find" >/dev/null
(cd "$work/run" && "$work/find/consumer" >/dev/null && echo "ok")

echo "-- find_package(edog) from a C-only project, linked by the C compiler"
cmake -S "$src/tests/consumer/c_only" -B "$work/c_only" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/c_only" >/dev/null
(cd "$work/run" && "$work/c_only/firmware" | tail -n 1)

echo "-- add_subdirectory"
cmake -S "$src/tests/consumer" -B "$work/sub" -G Ninja -DEDOG_SOURCE_DIR="$src" >/dev/null
cmake --build "$work/sub" >/dev/null
test ! -e "$work/sub/edog/tests"  # no tests of ours configured
(cd "$work/run" && "$work/sub/consumer" >/dev/null && echo "ok")

echo "-- pkg-config"
PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig:$work/prefix/lib/$(gcc -print-multiarch)/pkgconfig" \
  sh -c 'cc -std=c11 -Wall -Wextra -Wpedantic -Wstrict-prototypes -Wold-style-definition -Werror "$1/tests/consumer/main.c" $(pkg-config --cflags --libs edog) -o "$2/pc-consumer"' \
  sh "$src" "$work"
(cd "$work/run" && "$work/pc-consumer" | tail -n 1)
