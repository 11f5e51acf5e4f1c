// The coordinate tree on arbitrary sequences of adds, finds and deletes. The
// tree writes its refusals to standard error: run with -close_fd_mask=2.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "tree/tree.h"

namespace {

int counted = 0;
void count(Item /*item*/) {
    ++counted;
}

}  // namespace

// Input: records of one operation byte and two doubles (latitude, longitude).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Tree tree{};
    InitializeTree(&tree);
    while (size >= 1 + 2 * sizeof(double)) {
        const auto op = fuzz::take<std::uint8_t>(data, size);
        Item item{};
        item.lati = fuzz::take<double>(data, size);
        item.lngi = fuzz::take<double>(data, size);
        switch (op % 3) {
        case 0:
            if (AddItem(&item, &tree)) {
                fuzz::require(InTree(&item, &tree), "an added item is found");
            }
            break;
        case 1:
            (void)InTree(&item, &tree);
            break;
        default:
            (void)DeleteItem(&item, &tree);
            break;
        }
    }
    counted = 0;
    Traverse(&tree, count);
    fuzz::require(counted == TreeItemCount(&tree), "size equals the nodes reachable");
    DeleteAll(&tree);
    return 0;
}
