#!/bin/sh
# 32-bit x86 (SSE2 arithmetic): builds the libraries, the programs and the
# tests with -m32 (GoogleTest built for i386 from Debian's sources), runs
# them under qemu-i386 where the kernel runs no 32-bit programs, and compares
# the sample build's bytes and 3,000 searches with the 64-bit build in
# build/release. Tests that start programs of their own as processes cannot
# run under the emulator and are left out, and so are those of files cut
# under a map: the emulator does not hand a map's faults over as the kernel
# does.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
sh scripts/ensure-packages.sh g++-multilib qemu-user libgtest-dev

gtest=build/gtest-m32
if [ ! -f "$gtest/install/lib/libgtest.a" ]; then
  cmake -S /usr/src/googletest -B "$gtest" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS=-m32 -DCMAKE_CXX_FLAGS=-m32 -DCMAKE_INSTALL_PREFIX="$root/$gtest/install" >/dev/null
  cmake --build "$gtest" >/dev/null
  cmake --install "$gtest" >/dev/null
fi
cmake --preset m32 >/dev/null
cmake --build --preset m32
ctest --preset m32 -E '^(Program|Tool|ToolGolden|ToolOutputs|ToolZones|ToolSvg|BuildMemory|Threads|FileFaults)\.|^Nearest\.(SurvivesTheFileShrinkingUnderIt|AgreesWithBruteForce.*|DrivesAgreeWithBruteForce|WithinAgreesWithBruteForce|CamerasAtTheEdgeOfTheRadiusInEveryDirection)$'

sh scripts/compare-answers.sh m32 build/m32 qemu-i386 -L /
