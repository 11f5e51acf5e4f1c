// Synthetic camera lists for benchmarks.
#ifndef BENCH_LIST_GEN_H
#define BENCH_LIST_GEN_H

#include <cstddef>
#include <string>
#include <string_view>

namespace bench {

enum class Order : unsigned char {
    kRandom,     // positions spread over the inhabited latitudes, in no order
    kSorted,     // the same cameras in ascending code order
    kReverse,    // the same cameras in descending code order
    kManyEqual,  // cameras drawn from 1,000 positions, so codes repeat a lot
};

// Parses "random", "sorted", "reverse" or "many-equal"; false if unknown.
bool parse_order(std::string_view name, Order& order);
const char* order_name(Order order);

// Writes `count` camera lines in `order` to `path`; false on a write error.
bool write_list(const std::string& path, Order order, std::size_t count, unsigned seed);

// The default working folder `name` of a benchmark: beside the program (in
// the build folder), so that a run never leaves files in the source tree.
std::string work_dir(const char* argv0, const char* name);

}  // namespace bench

#endif  // BENCH_LIST_GEN_H
