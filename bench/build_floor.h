// A one-pass build written only for comparison: for a list of plain lines
// (camera number, two decimal positions, four integers) it writes the same
// DATA_T.BIN and prints the same standard output as the module's build run,
// with nothing but what that output needs: the list read whole, numbers read
// with from_chars and written with to_chars, codes sorted as 12-byte keys,
// the file written with one write and fsync. Its time is the floor the
// module's build is measured against.
#ifndef BENCH_BUILD_FLOOR_H
#define BENCH_BUILD_FLOOR_H

namespace bench {

// Builds from speedcam22.txt in the working folder; 0 on success, 1 when a
// line is not plain or a file fails.
int floor_build();

}  // namespace bench

#endif  // BENCH_BUILD_FLOOR_H
