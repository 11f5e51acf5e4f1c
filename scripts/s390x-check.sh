#!/bin/sh
# s390x (64-bit, big-endian): cross-builds the libraries, the programs and the
# tests that need no GoogleTest with Debian's cross compiler, runs them under
# qemu-s390x, and compares the sample build's bytes, the program's output and
# 3,000 searches with the x86-64 build in build/release.
set -eu
cd "$(dirname "$0")/.."
sh scripts/ensure-packages.sh g++-s390x-linux-gnu qemu-user
cmake --preset s390x >/dev/null
cmake --build --preset s390x
ctest --preset s390x
sh scripts/compare-answers.sh s390x build/s390x qemu-s390x -L /usr/s390x-linux-gnu
