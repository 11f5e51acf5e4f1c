// gen_list ORDER COUNT FILE: writes a synthetic camera list.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/list_gen.h"

int main(int argc, char* argv[]) {
    bench::Order order{};
    if (argc != 4 || !bench::parse_order(argv[1], order)) {
        std::fprintf(stderr, "usage: gen_list random|sorted|reverse|many-equal COUNT FILE\n");
        return 2;
    }
    const auto count = static_cast<std::size_t>(std::strtoull(argv[2], nullptr, 10));
    if (!bench::write_list(argv[3], order, count, 1)) {
        std::fprintf(stderr, "gen_list: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
