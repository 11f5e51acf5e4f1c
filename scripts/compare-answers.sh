#!/bin/sh
# compare-answers.sh NAME BUILD_DIR EMULATOR...: runs the program edog on the
# sample list and tests/answers_main.cpp's 5,000 searches (3,000 at random,
# 2,000 along drives) from BUILD_DIR under EMULATOR, and the same from build/release natively. The data files, the
# program's output and the answers must be identical.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
name=$1
build=$2
shift 2
work=build/compare-$name

rm -rf "$work" && mkdir -p "$work/target" "$work/native"
cp data/speedcam22.txt "$work/target/" && cp data/speedcam22.txt "$work/native/"
(cd "$work/target" && "$@" "$root/$build/app/edog" </dev/null >stdout.txt)
(cd "$work/native" && "$root/build/release/app/edog" </dev/null >stdout.txt)
(cd "$work/target" && "$@" "$root/$build/tests/edog_answers" >answers.txt)
(cd "$work/native" && "$root/build/release/tests/edog_answers" >answers.txt)
for f in DATA_T.BIN stdout.txt answers.txt; do
  cmp "$work/target/$f" "$work/native/$f"
done
echo "$name: same data file, same program output, same answers to $(wc -l <"$work/native/answers.txt") searches"
