#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/builder/list_build.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"

namespace {

// A list of nodes in a vector: nodes[0] is the head; Idex records the
// original position so that stability can be checked.
struct List {
    std::vector<GPSNode> nodes;

    explicit List(const std::vector<std::string>& codes) : nodes(codes.size() + 1) {
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            nodes[i].data = E_DOG_DATA{};
            nodes[i].link = (i + 1 < nodes.size()) ? &nodes[i + 1] : nullptr;
        }
        for (std::size_t i = 0; i < codes.size(); ++i) {
            nodes[i + 1].data.Idex = static_cast<INT32>(i);
            std::snprintf(nodes[i + 1].data.encode_str, sizeof nodes[i + 1].data.encode_str, "%s",
                          codes[i].c_str());
        }
    }

    // (code, original position) in list order after the head.
    [[nodiscard]] std::vector<std::pair<std::string, int>> walk() const {
        std::vector<std::pair<std::string, int>> out;
        for (const GPSNode* n = nodes[0].link; n != nullptr; n = n->link) {
            out.emplace_back(n->data.encode_str, n->data.Idex);
            if (out.size() > nodes.size()) {
                break;  // a cycle
            }
        }
        return out;
    }
};

// What a stable ascending sort of `codes` gives.
std::vector<std::pair<std::string, int>> expected(const std::vector<std::string>& codes) {
    std::vector<std::pair<std::string, int>> want;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        want.emplace_back(codes[i], static_cast<int>(i));
    }
    std::stable_sort(want.begin(), want.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return want;
}

std::vector<std::string> random_codes(std::size_t n, int distinct, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pick(0, distinct - 1);
    std::vector<std::string> codes;
    for (std::size_t i = 0; i < n; ++i) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "w%09d", pick(rng));
        codes.emplace_back(buf);
    }
    return codes;
}

// Both sorts: by an array of keys, and in place where no memory is had.
using Sort = void (*)(GPSNode*, GPSNode*);
constexpr Sort kSorts[] = {e_dog_quick_sort, e_dog::sort_nodes_in_place};

void expect_sorted_stably(const std::vector<std::string>& codes) {
    for (const Sort sort : kSorts) {
        List list(codes);
        sort(&list.nodes[0], nullptr);
        EXPECT_EQ(list.walk(), expected(codes));
    }
}

TEST(QuickSort, EmptyAndSingleLists) {
    expect_sorted_stably({});
    expect_sorted_stably({"wx4g0dtf9e"});
}

TEST(QuickSort, EqualCodesKeepTheirListOrder) {
    expect_sorted_stably({"wx4g0dtf9e", "7zzzzzzzzz", "wx4g0dtf9e"});
    expect_sorted_stably(std::vector<std::string>(50, "s000000000"));
}

TEST(QuickSort, RandomListsMatchAStableSort) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        expect_sorted_stably(random_codes(seed * 37, 1 + static_cast<int>(seed) * 5, seed));
    }
    expect_sorted_stably(random_codes(20000, 1000000, 99));
}

TEST(QuickSort, SortedReverseAndAllEqualLargeLists) {
    // These orders make plain first-node quick sort quadratic and as deep as
    // the list; they must still finish, sorted and stable.
    std::vector<std::string> sorted = random_codes(200000, 1 << 30, 5);
    std::sort(sorted.begin(), sorted.end());
    expect_sorted_stably(sorted);
    std::vector<std::string> reverse(sorted.rbegin(), sorted.rend());
    expect_sorted_stably(reverse);
    expect_sorted_stably(std::vector<std::string>(200000, "u4pruydqqv"));
    expect_sorted_stably(random_codes(200000, 3, 8));
}

TEST(QuickSort, AnyBytesOrderAsCompareCodes) {
    // Bytes above 0x7f, NULs with bytes behind them, codes without a NUL.
    const unsigned char bytes[] = {0, 1, 'a', 'b', 0x7f, 0x80, 0xff};
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(bytes) - 1);
    for (const std::size_t n : {2U, 17U, 500U, 5000U}) {
        std::vector<E_DOG_DATA> data(n);
        for (std::size_t i = 0; i < n; ++i) {
            data[i] = E_DOG_DATA{};
            data[i].Idex = static_cast<INT32>(i);
            for (char& c : data[i].encode_str) {
                c = static_cast<char>(bytes[pick(rng) % (i % 3 == 0 ? 3 : std::size(bytes))]);
            }
        }
        std::vector<INT32> want(n);
        for (std::size_t i = 0; i < n; ++i) {
            want[i] = static_cast<INT32>(i);
        }
        std::stable_sort(want.begin(), want.end(), [&](INT32 a, INT32 b) {
            return e_dog::compare_codes(data[static_cast<std::size_t>(a)].encode_str,
                                        data[static_cast<std::size_t>(b)].encode_str) < 0;
        });
        for (const Sort sort : kSorts) {
            std::vector<GPSNode> nodes(n + 1);
            for (std::size_t i = 0; i <= n; ++i) {
                nodes[i].data = i == 0 ? E_DOG_DATA{} : data[i - 1];
                nodes[i].link = i < n ? &nodes[i + 1] : nullptr;
            }
            sort(&nodes[0], nullptr);
            std::vector<INT32> got;
            for (const GPSNode* p = nodes[0].link; p != nullptr && got.size() <= n; p = p->link) {
                got.push_back(p->data.Idex);
            }
            EXPECT_EQ(got, want) << n;
        }
    }
}

TEST(QuickSort, SortsOnlyTheRangeBetweenHeadAndTail) {
    const std::vector<std::string> codes = {"9", "8", "7", "6", "5", "4", "3", "2", "1"};
    List list(codes);
    GPSNode* head = &list.nodes[2];  // "8"
    GPSNode* tail = &list.nodes[7];  // "3"
    e_dog_quick_sort(head, tail);
    const std::vector<std::pair<std::string, int>> want = {
        {"9", 0}, {"8", 1}, {"4", 5}, {"5", 4}, {"6", 3}, {"7", 2}, {"3", 6}, {"2", 7}, {"1", 8}};
    EXPECT_EQ(list.walk(), want);

    // An empty range between neighbours changes nothing.
    List same(codes);
    e_dog_quick_sort(&same.nodes[3], &same.nodes[4]);
    e_dog_quick_sort(&same.nodes[3], &same.nodes[5]);
    EXPECT_EQ(same.walk(), List(codes).walk());
}

}  // namespace
